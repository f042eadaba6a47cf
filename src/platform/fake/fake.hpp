// An in-memory window system for tests: it records what the program asks of it and
// lets a test play the user (key window, visibility, screens, pasteboard, alerts).
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.hpp"

namespace kestrum::platform::fake {

class FakeDisplayLink final : public DisplayLink {
  public:
    bool is_paused() const override { return paused; }
    void set_paused(bool value) override { paused = value; }
    void set_preferred_frame_rate_range(FrameRateRange range) override { ranges.push_back(range); }

    bool paused = false;
    std::vector<FrameRateRange> ranges;  // every request, in order
};

class FakeApplication;

class FakeWindow final : public Window {
  public:
    FakeWindow(FakeApplication& app, Extent content) : size(content), app_(&app) {}
    ~FakeWindow() override;

    void set_title(const std::string& value) override { title = value; }
    void set_translucent(bool with_blur) override {
        translucent = true;
        blur = with_blur;
    }
    void set_content_view(ViewHandler* view, Layer* view_layer) override {
        handler = view;
        layer = view_layer;
    }
    Extent content_size() const override { return size; }
    double backing_scale_factor() const override { return scale; }
    bool is_key_window() const override { return key; }
    bool occlusion_visible() const override { return visible; }
    void center() override { centered = true; }
    void make_key_and_order_front() override {
        key = true;
        visible = true;
        ++fronted;
    }
    void close() override { closed = true; }
    std::unique_ptr<DisplayLink> create_display_link() override;
    void pop_up_context_menu(const Menu& menu, Point location) override {
        context_menus.push_back({menu, location});
    }

    // Ticks the display link once, as a refresh would (nothing while paused).
    void tick();

    Extent size;
    std::string title;
    double scale = 2.0;
    bool key = false;
    bool visible = false;
    bool translucent = false;
    bool blur = false;
    bool centered = false;
    bool closed = false;
    int fronted = 0;
    ViewHandler* handler = nullptr;
    Layer* layer = nullptr;
    FakeDisplayLink* link = nullptr;  // owned by whoever took create_display_link()
    std::vector<std::pair<Menu, Point>> context_menus;

  private:
    FakeApplication* app_;
};

class FakePasteboard final : public Pasteboard {
  public:
    std::optional<std::string> string() override { return text; }
    void set_string(const std::string& value) override { text = value; }
    std::optional<std::vector<std::uint8_t>> png_data() override { return png; }
    std::optional<std::vector<std::uint8_t>> tiff_data() override { return tiff; }
    std::vector<std::filesystem::path> file_paths() override { return files; }
    // The fake "converts" by prefixing a marker, or fails when told to.
    std::optional<std::vector<std::uint8_t>> image_as_png(
        const std::vector<std::uint8_t>& image) override {
        if (!convert_images) return std::nullopt;
        std::vector<std::uint8_t> out{'P', 'N', 'G', ':'};
        out.insert(out.end(), image.begin(), image.end());
        return out;
    }
    bool convert_images = true;

    std::optional<std::string> text;
    std::optional<std::vector<std::uint8_t>> png;
    std::optional<std::vector<std::uint8_t>> tiff;
    std::vector<std::filesystem::path> files;
};

class FakeNotifications final : public Notifications {
  public:
    bool available() const override { return is_available; }
    void request_authorization(
        std::function<void(bool, std::optional<std::string>)> done) override {
        ++authorization_requests;
        done(grant, std::nullopt);
    }
    void add(const NotificationRequest& request,
             std::function<void(std::optional<std::string>)> done) override {
        posted.push_back(request);
        if (done) done(post_error);
    }

    bool is_available = true;
    bool grant = true;
    std::optional<std::string> post_error;
    int authorization_requests = 0;
    std::vector<NotificationRequest> posted;
};

class FakeApplication : public Application {
  public:
    void set_main_menu(std::vector<Menu> value) override { menus = std::move(value); }
    // Launches, then returns at once: a test drives the rest by hand.
    int run(ApplicationDelegate& value) override {
        delegate = &value;
        value.did_finish_launching();
        return exit_status;
    }
    void terminate() override { terminated = true; }
    bool is_active() const override { return active; }
    void activate() override {
        active = true;
        ++activations;
    }
    std::unique_ptr<Window> create_window(Extent content_size) override {
        auto w = std::make_unique<FakeWindow>(*this, content_size);
        windows.push_back(w.get());
        return w;
    }
    void run_alert(const Alert& alert) override { alerts.push_back(alert); }
    std::optional<std::filesystem::path> choose_folder() override {
        if (chosen_folders.empty()) return std::nullopt;
        auto f = chosen_folders.front();
        chosen_folders.pop_front();
        return f;
    }
    Pasteboard& pasteboard() override { return board; }
    Notifications& notifications() override { return notes; }
    std::optional<Screen> main_screen() const override { return screen; }
    void reveal_in_file_manager(const std::filesystem::path& path) override {
        revealed.push_back(path);
    }
    void beep() override { ++beeps; }

    std::vector<Menu> menus;
    ApplicationDelegate* delegate = nullptr;
    int exit_status = 0;
    bool terminated = false;
    bool active = false;
    int activations = 0;
    std::vector<FakeWindow*> windows;  // alive ones; a window removes itself when dropped
    std::vector<Alert> alerts;
    std::deque<std::optional<std::filesystem::path>> chosen_folders;
    FakePasteboard board;
    FakeNotifications notes;
    std::optional<Screen> screen = Screen{2.0, 120.0};
    std::vector<std::filesystem::path> revealed;
    int beeps = 0;
};

}  // namespace kestrum::platform::fake
