// The single view of the window: it owns the renderer and the tabs, draws on the
// display link's tick when something changed, paces the frame rate, and turns the
// window system's events into terminal input and tab operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/tab_layout.hpp"
#include "config/config.hpp"
#include "core/error.hpp"
#include "core/numeric.hpp"
#include "platform/gpu.hpp"
#include "platform/ui.hpp"
#include "pty/pty.hpp"
#include "render/renderer.hpp"
#include "tabs/manager.hpp"

namespace kestrum_app {

using kestrum::core::Instant;

// Pseudo-terminal parameters for a new tab from the configuration.
kestrum_pty::PtyConfig pty_config(const kestrum_config::Config& config);

struct LatencyProbe {
    struct Pending {
        std::uint64_t output_mark;
        Instant pressed_at;
    };
    std::optional<Pending> pending;
    std::vector<float> samples;  // milliseconds, the last 500
    std::size_t since_report = 0;
    bool enabled = false;
};

// The statistics line of the typing-latency probe.
std::string latency_report(const std::vector<float>& samples);

// The cursor opacity `seconds` into the blink cycle.
float blink_curve(double seconds);

struct GridSize {
    std::uint16_t cols;
    std::uint16_t rows;
};

// Columns and terminal rows for a drawable; nothing when less than one cell fits.
std::optional<GridSize> grid_size(float drawable_width, float drawable_height, float pad_x,
                                  float pad_y, float cell_width, float cell_height);

class TerminalView final : public kestrum::platform::ViewHandler {
  public:
    // Loads the configuration, builds the layer and renderer on `device`, and starts
    // the first tab (in `initial_dir` when given).
    static kestrum::core::Result<std::unique_ptr<TerminalView>> create(
        kestrum::platform::Application& app, std::shared_ptr<kestrum::platform::Device> device,
        kestrum::platform::Extent frame, std::optional<std::filesystem::path> initial_dir);
    ~TerminalView() override;

    // Placed in a window: events arrive, the key state and backing scale are read there.
    void attach(kestrum::platform::Window* window);

    // ---- the window system's messages ----
    void on_display_link() override;
    void key_down(const kestrum::platform::KeyEvent& event) override;
    void mouse_down(const kestrum::platform::MouseEvent& event) override;
    void mouse_up(const kestrum::platform::MouseEvent& event) override;
    void mouse_dragged(const kestrum::platform::MouseEvent& event) override;
    void right_mouse_down(const kestrum::platform::MouseEvent& event) override;
    void right_mouse_up(const kestrum::platform::MouseEvent& event) override;
    void right_mouse_dragged(const kestrum::platform::MouseEvent& event) override;
    void other_mouse_down(const kestrum::platform::MouseEvent& event) override;
    void other_mouse_up(const kestrum::platform::MouseEvent& event) override;
    void other_mouse_dragged(const kestrum::platform::MouseEvent& event) override;
    void mouse_moved(const kestrum::platform::MouseEvent& event) override;
    void mouse_exited(const kestrum::platform::MouseEvent& event) override;
    void scroll_wheel(const kestrum::platform::ScrollEvent& event) override;
    kestrum::platform::DragOperation dragging_entered(
        const kestrum::platform::DragInfo& info) override;
    kestrum::platform::DragOperation dragging_updated(
        const kestrum::platform::DragInfo& info) override;
    bool perform_drag_operation(const kestrum::platform::DragInfo& info) override;
    void set_frame_size(kestrum::platform::Extent size) override;
    void view_will_start_live_resize() override;
    void view_did_end_live_resize() override;
    void backing_changed() override;
    void perform_action(kestrum::platform::Action action) override;

    // ---- lifecycle and pacing ----
    void note_activity();
    void mark_active_dirty();
    void update_drawable_size();
    void reconfigure_grid();
    void render();

    // ---- tabs and search ----
    void set_hover(BarHit hit);
    void select_tab(std::size_t index);
    void select_next_tab();
    void select_prev_tab();
    void new_tab();
    void close_tab(std::size_t index);
    void open_dir(const std::filesystem::path& path);
    void begin_rename(std::size_t index);
    void menu_open_folder();
    void menu_find();
    void apply_search();
    void search_step(bool forward);
    void end_search();

    // ---- selection and prompt editing ----
    void select_all();
    bool erase_selection();
    void wipe_input();
    void copy_selection();
    void paste_from_clipboard();
    void clear_scrollback();

    kestrum::platform::Layer& layer() { return *layer_; }
    kestrum_tabs::TabManager& tab_manager() { return *tabs; }

    // ---- ViewIvars ----
    kestrum_config::Config config;
    LatencyProbe latency;
    std::shared_ptr<std::atomic<bool>> user_present;
    std::unique_ptr<kestrum_render::Renderer> renderer;
    std::unique_ptr<kestrum_tabs::TabManager> tabs;
    double scale = 2.0;
    std::unique_ptr<kestrum::platform::DisplayLink> display_link;
    Instant blink_epoch;
    Instant glide_start;
    std::optional<std::size_t> renaming;
    std::string rename_buffer;
    std::string search_query;
    std::optional<Instant> search_edited_at;
    std::optional<std::size_t> context_tab;
    BarHit hover;
    BarHit hover_previous;
    Instant hover_changed_at;
    Instant rate_sampled_at;
    std::size_t rate_sample_tab = 0;
    std::uint64_t rate_sample_bytes = 0;
    Instant last_activity;
    std::optional<Instant> last_scroll_at;
    float blink_alpha = 1.0f;
    std::uint16_t cursor_cell_col = 0;
    std::uint16_t cursor_cell_row = 0;
    float glide_from_col = 0;
    float hover_alpha = 0;
    float tab_scroll = 0;
    float tab_scroll_target = 0;
    float max_fps = 60;
    float current_fps = 60;
    bool window_key = true;
    bool cursor_blinking = false;
    bool glide_settled = true;
    bool search_open = false;
    bool selecting = false;
    std::uint8_t reported_buttons = 0;
    bool live_resize = false;

  private:
    TerminalView(kestrum::platform::Application& app);

    kestrum_tabs::Session* active();
    float cell_width() const { return renderer->cell_width(); }
    float cell_height() const { return renderer->cell_height(); }
    void request_rate(float fps);
    void governor(Instant now);
    void restart_blink();
    void cancel_rename();
    void switched_tabs();
    void switch_tab(const std::function<void()>& change);
    void set_search_open(bool open);
    std::vector<std::string> titles() const;
    TabLayout layout() const;
    BarHit bar_event(kestrum::platform::Point location) const;
    void open_tab(kestrum_pty::PtyConfig pty, std::string_view failure_log);
    void write_input(std::string_view bytes);
    struct Cell {
        bool inside;
        std::uint16_t col;
        std::uint16_t row;
    };
    Cell event_cell(kestrum::platform::Point location, bool clamp) const;
    std::optional<std::pair<Cell, kestrum::vt::Side>> selection_cell(
        kestrum::platform::Point location) const;
    void handle_mouse_button(const kestrum::platform::MouseEvent& event, bool pressed, bool motion);
    bool reveal_path_at(const kestrum::platform::MouseEvent& event);

    kestrum::platform::Application& app_;
    kestrum::platform::Window* window_ = nullptr;
    std::shared_ptr<kestrum::platform::Device> device_;
    std::unique_ptr<kestrum::platform::Layer> layer_;
    kestrum::platform::Extent bounds_;
};

}  // namespace kestrum_app
