// What the application and the terminal view need of the window system, in the
// desktop toolkit's classic terms: points with a bottom-left origin, modifier bits,
// function-key code points, a display link, menus, alerts, pasteboard and the rest.
// The GTK implementation (platform/gtk) converts at the edge; platform/fake is an
// in-memory double for tests. The layer translates, it does not decide.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrum::platform {

class Layer;  // platform/gpu.hpp: what the view draws into

// ---- geometry (points; y grows upwards from the bottom-left corner) ----

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A size in points (the GPU layer's `Size` is in pixels).
struct Extent {
    double width = 0;
    double height = 0;
    friend bool operator==(const Extent&, const Extent&) = default;
};

struct Rect {
    Point origin;
    Extent size;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// ---- input events ----

// Modifier bits as carried in `modifier_flags`.
inline constexpr std::uint64_t kShiftKeyMask = 0x20000;
inline constexpr std::uint64_t kControlKeyMask = 0x40000;
inline constexpr std::uint64_t kOptionKeyMask = 0x80000;
inline constexpr std::uint64_t kCommandKeyMask = 0x100000;

// Special keys arrive as these code points in `characters`.
inline constexpr char32_t kUpArrowFunctionKey = 0xF700;
inline constexpr char32_t kDownArrowFunctionKey = 0xF701;
inline constexpr char32_t kLeftArrowFunctionKey = 0xF702;
inline constexpr char32_t kRightArrowFunctionKey = 0xF703;
inline constexpr char32_t kF1FunctionKey = 0xF704;  // F1..F35 are consecutive
inline constexpr char32_t kInsertFunctionKey = 0xF727;
inline constexpr char32_t kDeleteFunctionKey = 0xF728;  // forward delete
inline constexpr char32_t kHomeFunctionKey = 0xF729;
inline constexpr char32_t kEndFunctionKey = 0xF72B;
inline constexpr char32_t kPageUpFunctionKey = 0xF72C;
inline constexpr char32_t kPageDownFunctionKey = 0xF72D;

// Hardware key codes the input rules look at.
inline constexpr std::uint16_t kKeyCodeTab = 48;
inline constexpr std::uint16_t kKeyCodeKeypadEnter = 76;

struct KeyEvent {
    std::string characters;                     // UTF-8, modifiers applied; empty for dead keys
    std::string characters_ignoring_modifiers;  // UTF-8
    std::uint16_t key_code = 0;
    std::uint64_t modifier_flags = 0;
    bool is_repeat = false;
};

struct MouseEvent {
    Point location;  // in the view, points, bottom-left origin
    std::uint64_t modifier_flags = 0;
    std::int64_t click_count = 1;
    std::int64_t button_number = 0;  // 0 left, 1 right, 2 middle
};

struct ScrollEvent {
    Point location;
    std::uint64_t modifier_flags = 0;
    double scrolling_delta_x = 0;
    double scrolling_delta_y = 0;  // positive towards older output
    bool has_precise_scrolling_deltas = false;
};

// What a drag carries, as far as the view cares.
struct DragInfo {
    Point location;
    std::vector<std::filesystem::path> file_paths;
    std::optional<std::string> string;
};

enum class DragOperation { none, copy };

// ---- menus ----

// Menu and context-menu commands; the menu bar's and the context menus' items
// dispatch these to the view (terminate goes to the application).
enum class Action {
    terminate,
    select_all_text,
    find_in_terminal,
    find_next,
    find_previous,
    new_tab,
    close_tab,
    open_folder_for_tab,
    select_next_tab,
    select_previous_tab,
    ctx_new_tab,
    ctx_rename_tab,
    ctx_close_tab,
    ctx_close_other_tabs,
    ctx_copy,
    ctx_cut,
    ctx_paste,
};

struct MenuItem {
    std::string title;  // empty with `separator`
    std::optional<Action> action;
    std::string key;  // one character; empty for none
    std::uint64_t modifiers = 0;
    bool enabled = true;
    bool separator = false;

    static MenuItem item(std::string title, Action action, std::string key,
                         std::uint64_t modifiers) {
        return MenuItem{std::move(title), action, std::move(key), modifiers, true, false};
    }
    static MenuItem separator_item() { return MenuItem{{}, std::nullopt, {}, 0, true, true}; }
};

struct Menu {
    std::string title;  // empty for the application menu
    std::vector<MenuItem> items;
};

// ---- alerts ----

enum class AlertStyle { warning = 0, informational = 1, critical = 2 };

struct Alert {
    AlertStyle style = AlertStyle::warning;
    std::string message;
    std::string informative;
};

// ---- display link ----

struct FrameRateRange {
    float minimum = 0;
    float maximum = 0;
    float preferred = 0;
    friend bool operator==(const FrameRateRange&, const FrameRateRange&) = default;
};

class DisplayLink {
  public:
    virtual ~DisplayLink() = default;
    virtual bool is_paused() const = 0;
    virtual void set_paused(bool paused) = 0;
    virtual void set_preferred_frame_rate_range(FrameRateRange range) = 0;
};

// ---- the view's side: what the window system tells it ----

class ViewHandler {
  public:
    virtual ~ViewHandler() = default;
    virtual void on_display_link() = 0;
    virtual void key_down(const KeyEvent& event) = 0;
    virtual void mouse_down(const MouseEvent& event) = 0;
    virtual void mouse_up(const MouseEvent& event) = 0;
    virtual void mouse_dragged(const MouseEvent& event) = 0;
    virtual void right_mouse_down(const MouseEvent& event) = 0;
    virtual void right_mouse_up(const MouseEvent& event) = 0;
    virtual void right_mouse_dragged(const MouseEvent& event) = 0;
    virtual void other_mouse_down(const MouseEvent& event) = 0;
    virtual void other_mouse_up(const MouseEvent& event) = 0;
    virtual void other_mouse_dragged(const MouseEvent& event) = 0;
    virtual void mouse_moved(const MouseEvent& event) = 0;
    virtual void mouse_exited(const MouseEvent& event) = 0;
    virtual void scroll_wheel(const ScrollEvent& event) = 0;
    virtual DragOperation dragging_entered(const DragInfo& info) = 0;
    virtual DragOperation dragging_updated(const DragInfo& info) = 0;
    virtual bool perform_drag_operation(const DragInfo& info) = 0;
    // The view's size changed (points).
    virtual void set_frame_size(Extent size) = 0;
    virtual void view_will_start_live_resize() = 0;
    virtual void view_did_end_live_resize() = 0;
    virtual void backing_changed() = 0;
    virtual void perform_action(Action action) = 0;
};

// ---- the window ----

class Window {
  public:
    virtual ~Window() = default;
    virtual void set_title(const std::string& title) = 0;
    // Clear background (for a translucent view), with blur behind where offered.
    virtual void set_translucent(bool blur) = 0;
    // Hosts the view: events go to `handler`, `layer` is what it draws into.
    virtual void set_content_view(ViewHandler* handler, Layer* layer) = 0;
    virtual Extent content_size() const = 0;  // points
    virtual double backing_scale_factor() const = 0;
    virtual bool is_key_window() const = 0;
    // Mapped, not minimised.
    virtual bool occlusion_visible() const = 0;
    virtual void center() = 0;
    virtual void make_key_and_order_front() = 0;
    virtual void close() = 0;
    // Ticks `on_display_link` of the content view once per refresh while unpaused.
    virtual std::unique_ptr<DisplayLink> create_display_link() = 0;
    // A context menu at a point of the view; the chosen item's action is performed.
    virtual void pop_up_context_menu(const Menu& menu, Point location) = 0;
};

// ---- pasteboard, notifications, screens ----

class Pasteboard {
  public:
    virtual ~Pasteboard() = default;
    virtual std::optional<std::string> string() = 0;
    virtual void set_string(const std::string& text) = 0;
    // Encoded image bytes, when the pasteboard holds that type.
    virtual std::optional<std::vector<std::uint8_t>> png_data() = 0;
    virtual std::optional<std::vector<std::uint8_t>> tiff_data() = 0;
    virtual std::vector<std::filesystem::path> file_paths() = 0;
    // Re-encodes image bytes of any supported format (TIFF among them) as PNG.
    virtual std::optional<std::vector<std::uint8_t>> image_as_png(
        const std::vector<std::uint8_t>& image) = 0;
};

struct NotificationRequest {
    std::string identifier;
    std::string title;
    std::string body;
};

class Notifications {
  public:
    virtual ~Notifications() = default;
    virtual bool available() const = 0;
    // The callback may run on any thread: (granted, error text if any).
    virtual void request_authorization(
        std::function<void(bool, std::optional<std::string>)> done) = 0;
    // Callable from any thread; `done` gets the error text when posting failed.
    virtual void add(const NotificationRequest& request,
                     std::function<void(std::optional<std::string>)> done) = 0;
};

struct Screen {
    double backing_scale_factor = 1.0;
    double maximum_frames_per_second = 60.0;
};

// ---- the application ----

class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    virtual void did_finish_launching() = 0;
    // Paths handed over by the desktop (Open With, a folder dropped on the launcher).
    virtual void open_paths(const std::vector<std::filesystem::path>& paths) = 0;
    // The `open-folder` action.
    virtual void open_folder_service(const std::vector<std::filesystem::path>& paths) = 0;
    virtual void will_terminate() = 0;
    virtual void did_become_active() = 0;
    virtual void did_resign_active() = 0;
    virtual void window_did_change_occlusion_state() = 0;
};

class Application {
  public:
    virtual ~Application() = default;
    virtual void set_main_menu(std::vector<Menu> menus) = 0;
    // Runs until the last window closes or `terminate`; returns the exit status.
    virtual int run(ApplicationDelegate& delegate) = 0;
    virtual void terminate() = 0;
    virtual bool is_active() const = 0;
    virtual void activate() = 0;
    virtual std::unique_ptr<Window> create_window(Extent content_size) = 0;
    // Modal: returns when dismissed.
    virtual void run_alert(const Alert& alert) = 0;
    // Modal folder chooser; nothing when cancelled.
    virtual std::optional<std::filesystem::path> choose_folder() = 0;
    virtual Pasteboard& pasteboard() = 0;
    virtual Notifications& notifications() = 0;
    virtual std::optional<Screen> main_screen() const = 0;
    // Shows a file selected in the file manager.
    virtual void reveal_in_file_manager(const std::filesystem::path& path) = 0;
    virtual void beep() = 0;
};

}  // namespace kestrum::platform
