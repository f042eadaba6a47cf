#include "app/app_delegate.hpp"

#include <algorithm>

#include "app/app.hpp"
#include "app/notify.hpp"
#include "app/paste.hpp"
#include "core/log.hpp"

namespace kestrum_app {

namespace {

constexpr std::string_view kTarget = "kestrum_app::app_delegate";
constexpr kestrum::platform::Extent kWindowSize{900, 600};

bool readable_directory(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_directory(p, ec);
}

}  // namespace

std::vector<std::filesystem::path> folders_for(const std::vector<std::filesystem::path>& paths) {
    std::vector<std::filesystem::path> out;
    for (const auto& p : paths) {
        if (readable_directory(p)) {
            out.push_back(p);
        } else if (p.has_parent_path() && p.parent_path() != p) {
            out.push_back(p.parent_path());
        }
    }
    return out;
}

AppDelegate::AppDelegate(
    kestrum::platform::Application& app,
    std::function<kestrum::core::Result<std::shared_ptr<kestrum::platform::Device>>()> make_device)
    : app_(app), make_device_(std::move(make_device)) {}

AppDelegate::~AppDelegate() {
    // The view's display link belongs to the window: drop the view first.
    view_.reset();
    window_.reset();
}

void AppDelegate::did_finish_launching() {
    window_ = app_.create_window(kWindowSize);
    window_->set_title("Kestrum");

    std::vector<std::filesystem::path> dirs = std::exchange(pending_dirs, {});
    std::vector<std::filesystem::path> usable;
    for (const auto& d : dirs) {
        if (readable_directory(d)) {
            usable.push_back(d);
        } else {
            KLOG_WARN(kTarget,
                      "ignoring Open-With folder that is no longer a readable directory: {}",
                      d.string());
        }
    }
    std::optional<std::filesystem::path> first;
    if (!usable.empty()) {
        first = usable.front();
        usable.erase(usable.begin());
    }

    auto device = make_device_();
    std::shared_ptr<kestrum::platform::Device> gpu = device ? *device : nullptr;
    if (!device) KLOG_ERROR(kTarget, "no GPU device: {}", device.error().chained());
    auto view = TerminalView::create(app_, gpu, kWindowSize, first);
    if (!view && !first) fatal_startup_failure(app_, view.error());
    if (!view) {
        KLOG_ERROR(kTarget,
                   "failed to start terminal session in the requested folder {} ({}); retrying in "
                   "the default directory",
                   first->string(), view.error().chained());
        view = TerminalView::create(app_, gpu, kWindowSize, std::nullopt);
        if (!view) fatal_startup_failure(app_, view.error());
    }
    view_ = std::move(*view);

    float opacity = std::clamp(view_->config.window.opacity, 0.2f, 1.0f);
    if (opacity < 1.0f) window_->set_translucent(view_->config.window.blur);
    window_->set_content_view(view_.get(), &view_->layer());
    view_->attach(window_.get());
    window_->center();
    window_->make_key_and_order_front();

    view_->display_link = window_->create_display_link();
    float max_fps = view_->max_fps;
    view_->display_link->set_preferred_frame_rate_range(
        {std::min(max_fps, 30.0f), max_fps, max_fps});
    sync_render_pause();
    app_.activate();
    sync_user_present();
    for (const auto& d : usable)
        view_->open_dir(d);
    request_notification_permission(app_.notifications());
}

void AppDelegate::open_paths(const std::vector<std::filesystem::path>& paths) {
    auto dirs = folders_for(paths);
    if (!dirs.empty()) {
        open_dirs(dirs);
    } else if (!paths.empty()) {
        KLOG_WARN(kTarget, "Open-With delivered {} URL(s) but none resolved to a folder",
                  paths.size());
    }
}

void AppDelegate::open_folder_service(const std::vector<std::filesystem::path>& paths) {
    open_dirs(folders_for(paths));
}

void AppDelegate::open_dirs(const std::vector<std::filesystem::path>& dirs) {
    if (dirs.empty()) return;
    if (!view_) {
        pending_dirs.insert(pending_dirs.end(), dirs.begin(), dirs.end());
        return;
    }
    for (const auto& d : dirs)
        view_->open_dir(d);
    if (window_) {
        app_.activate();
        window_->make_key_and_order_front();
    }
}

void AppDelegate::sync_render_pause() {
    bool visible = window_ && window_->occlusion_visible();
    if (!view_ || !view_->display_link) return;
    if (view_->display_link->is_paused() == !visible) return;
    view_->display_link->set_paused(!visible);
    if (visible) {
        view_->blink_epoch = kestrum::core::Clock::now();
        if (std::abs(view_->blink_alpha - 1.0f) > 0.01f) view_->blink_alpha = 1.0f;
        view_->mark_active_dirty();
    }
}

void AppDelegate::sync_user_present() {
    bool present = app_.is_active() && window_ && window_->occlusion_visible();
    if (view_) view_->user_present->store(present);
}

void AppDelegate::will_terminate() {
    remove_paste_dir();
    // Sessions tear down (hang-up to their children) before the process goes.
    view_.reset();
}

void AppDelegate::did_become_active() {
    sync_user_present();
}
void AppDelegate::did_resign_active() {
    sync_user_present();
}

void AppDelegate::window_did_change_occlusion_state() {
    sync_render_pause();
    sync_user_present();
}

}  // namespace kestrum_app
