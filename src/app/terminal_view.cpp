// The view's construction, geometry, display-link tick and frame-rate governor.
#include "app/terminal_view.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/notify.hpp"
#include "core/log.hpp"

namespace kestrum_app {

namespace {

using namespace std::chrono_literals;
using kestrum::core::Clock;
using kestrum::core::since;
namespace platform = kestrum::platform;

constexpr std::string_view kTarget = "kestrum_app::terminal_view";

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

float clamped_opacity(float opacity) {
    return std::clamp(opacity, 0.2f, 1.0f);
}

}  // namespace

kestrum_pty::PtyConfig pty_config(const kestrum_config::Config& config) {
    kestrum_pty::PtyConfig c;
    c.shell = config.shell;
    c.term = "xterm-256color";
    c.size = {24, 80, 0, 0};
    return c;
}

float blink_curve(double t) {
    if (t < 0) t = 0;
    double phase = std::fmod(t, 1.0);
    auto smooth = [](double x) { return x * x * (3 - 2 * x); };
    if (phase < 0.36) return 1.0f;
    if (phase < 0.5)
        return static_cast<float>(1 - smooth(std::clamp((phase - 0.36) / 0.14, 0.0, 1.0)));
    if (phase < 0.86) return 0.0f;
    return static_cast<float>(smooth(std::clamp((phase - 0.86) / 0.14, 0.0, 1.0)));
}

std::string latency_report(const std::vector<float>& samples) {
    std::vector<float> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    if (n == 0) return {};
    auto at = [&](double q) {
        auto i = static_cast<std::size_t>(std::round(static_cast<double>(n - 1) * q));
        return sorted[std::min(i, n - 1)];
    };
    double sum = 0;
    for (float s : sorted)
        sum += s;
    return fmt::format(
        "typing latency (keypress\u2192present, ms): n={} p50={:.1f} p99={:.1f} max={:.1f} "
        "mean={:.1f}",
        n, at(0.5), at(0.99), sorted.back(), sum / static_cast<double>(n));
}

std::optional<GridSize> grid_size(float width, float height, float pad_x, float pad_y, float cw,
                                  float ch) {
    float avail_w = width - 2 * pad_x;
    float avail_h = height - 2 * pad_y;
    if (!(cw > 0) || !(ch > 0) || avail_w < cw || avail_h < ch) return std::nullopt;
    auto clamp_count = [](float v) {
        return static_cast<std::uint16_t>(std::clamp(std::floor(v), 1.0f, 65535.0f));
    };
    std::uint16_t cols = clamp_count(avail_w / cw);
    std::uint16_t total = clamp_count(avail_h / ch);
    std::uint16_t rows = total > 3 ? static_cast<std::uint16_t>(total - 2) : 1;
    return GridSize{cols, rows};
}

TerminalView::TerminalView(platform::Application& app) : app_(app) {}

TerminalView::~TerminalView() {
    display_link.reset();
    if (layer_) layer_->set_present_callback(nullptr);
    // The renderer and the layer free GL objects: their context must be current, and
    // at shutdown the window system has already let go of it.
    if (device_) device_->make_current();
    renderer.reset();
    layer_.reset();
}

kestrum::core::Result<std::unique_ptr<TerminalView>> TerminalView::create(
    platform::Application& app, std::shared_ptr<platform::Device> device, platform::Extent frame,
    std::optional<std::filesystem::path> initial_dir) {
    std::unique_ptr<TerminalView> v(new TerminalView(app));
    v->config = kestrum_config::Config::load();

    if (!device) return kestrum::core::fail("no Metal-capable GPU found on this system");
    if (device->is_low_power() && !device->is_removable())
        KLOG_DEBUG(kTarget, "rendering on integrated GPU: {}", device->name());
    v->device_ = device;

    if (auto screen = app.main_screen()) {
        v->scale = screen->backing_scale_factor;
        v->max_fps = std::max(static_cast<float>(screen->maximum_frames_per_second), 60.0f);
    } else {
        v->scale = 2.0;
        v->max_fps = 60.0f;
    }
    v->current_fps = v->max_fps;

    device->make_current();
    v->layer_ = std::make_unique<platform::Layer>(device, platform::PixelFormat::BGRA8Unorm);
    const auto& c = v->config;
    auto renderer =
        kestrum_render::Renderer::create(device, platform::PixelFormat::BGRA8Unorm, c.font.family,
                                         static_cast<float>(c.font.size * v->scale));
    if (!renderer) return kestrum::core::fail(renderer.error().display());
    v->renderer = std::make_unique<kestrum_render::Renderer>(std::move(*renderer));
    v->renderer->set_padding(static_cast<float>(c.padding.x * v->scale),
                             static_cast<float>(c.padding.y * v->scale));
    float opacity = clamped_opacity(c.window.opacity);
    if (opacity < 1.0f) v->renderer->set_background_alpha(opacity);
    v->renderer->set_ligatures(c.font.ligatures);

    v->user_present = std::make_shared<std::atomic<bool>>(true);
    auto bell = make_bell_callback(app.notifications(), v->user_present);

    auto grid =
        grid_size(static_cast<float>(frame.width * v->scale),
                  static_cast<float>(frame.height * v->scale),
                  static_cast<float>(c.padding.x * v->scale),
                  static_cast<float>(c.padding.y * v->scale), v->cell_width(), v->cell_height())
            .value_or(GridSize{1, 1});
    kestrum_pty::PtyConfig pty = pty_config(c);
    if (initial_dir) pty.cwd = *initial_dir;
    kestrum_tabs::SessionOptions options{c.scrollback_lines, c.cursor.blink,
                                         static_cast<std::uint8_t>(c.cursor.style)};
    auto manager = kestrum_tabs::TabManager::create(grid.cols, grid.rows, options, std::move(pty),
                                                    bell, v->cell_width(), v->cell_height());
    if (!manager) return std::unexpected(manager.error());
    v->tabs = std::move(*manager);

    v->latency.enabled = std::getenv("KESTRUM_LATENCY") != nullptr;
    Instant now = Clock::now();
    v->blink_epoch = v->glide_start = v->hover_changed_at = v->rate_sampled_at = v->last_activity =
        now;
    v->bounds_ = frame;
    v->update_drawable_size();
    return v;
}

void TerminalView::attach(platform::Window* window) {
    window_ = window;
    if (window_) {
        bounds_ = window_->content_size();
        update_drawable_size();
    }
}

kestrum_tabs::Session* TerminalView::active() {
    return tabs ? tabs->active_session() : nullptr;
}

void TerminalView::mark_active_dirty() {
    if (auto* s = active()) s->dirty->store(true);
}

void TerminalView::update_drawable_size() {
    layer_->set_drawable_size(
        {static_cast<std::uint32_t>(std::max(0.0, std::round(bounds_.width * scale))),
         static_cast<std::uint32_t>(std::max(0.0, std::round(bounds_.height * scale)))});
    mark_active_dirty();
}

void TerminalView::reconfigure_grid() {
    auto drawable = layer_->drawable_size();
    auto grid =
        grid_size(static_cast<float>(drawable.width), static_cast<float>(drawable.height),
                  static_cast<float>(config.padding.x * scale),
                  static_cast<float>(config.padding.y * scale), cell_width(), cell_height());
    if (!grid || !tabs) return;
    selecting = false;
    if (auto* s = active()) {
        std::lock_guard lock(s->terminal->mutex);
        s->terminal->terminal->term().selection.reset();
    }
    if (live_resize) {
        last_activity = Clock::now();
        if (auto* s = active())
            s->resize_local(grid->cols, grid->rows, cell_width(), cell_height());
        return;
    }
    for (auto& s : tabs->sessions) {
        s->resize_local(grid->cols, grid->rows, cell_width(), cell_height());
        s->flush_winsize();
    }
}

void TerminalView::set_frame_size(platform::Extent size) {
    bounds_ = size;
    update_drawable_size();
    reconfigure_grid();
    if (live_resize) render();
}

void TerminalView::view_will_start_live_resize() {
    live_resize = true;
    layer_->set_presents_with_transaction(true);
}

void TerminalView::view_did_end_live_resize() {
    live_resize = false;
    layer_->set_presents_with_transaction(false);
    if (auto* s = active()) s->flush_winsize();
    reconfigure_grid();
    mark_active_dirty();
}

void TerminalView::backing_changed() {
    if (window_) {
        double new_scale = window_->backing_scale_factor();
        if (new_scale > 0 && std::abs(new_scale - scale) >= 0.01) {
            device_->make_current();
            auto rebuilt = renderer->rebuild_font(config.font.family,
                                                  static_cast<float>(config.font.size * new_scale));
            if (rebuilt) {
                renderer->set_padding(static_cast<float>(config.padding.x * new_scale),
                                      static_cast<float>(config.padding.y * new_scale));
                scale = new_scale;
            } else {
                KLOG_ERROR(kTarget, "font rebuild at backing scale {} failed: {}", new_scale,
                           rebuilt.error().display());
            }
        }
    }
    update_drawable_size();
    reconfigure_grid();
}

void TerminalView::request_rate(float fps) {
    if (display_link)
        display_link->set_preferred_frame_rate_range({std::min(fps, 30.0f), fps, fps});
    current_fps = fps;
}

void TerminalView::note_activity() {
    last_activity = Clock::now();
    if (current_fps < max_fps) request_rate(max_fps);
}

void TerminalView::restart_blink() {
    blink_epoch = Clock::now();
    if (std::abs(blink_alpha - 1.0f) > 0.01f) {
        blink_alpha = 1.0f;
        mark_active_dirty();
    }
}

void TerminalView::on_display_link() {
    Instant now = Clock::now();
    // 1. key window
    bool key = window_ && window_->is_key_window();
    if (key != window_key) {
        window_key = key;
        if (key) {
            restart_blink();
        } else {
            set_hover(BarHit::none());
        }
        mark_active_dirty();
    }
    // 2. cursor blink
    float target = key && cursor_blinking ? blink_curve(seconds(since(now, blink_epoch))) : 1.0f;
    if (std::abs(target - blink_alpha) > 0.01f) {
        blink_alpha = target;
        mark_active_dirty();
    }
    // 3. cursor glide
    if (since(now, glide_start) < 60ms) {
        mark_active_dirty();
    } else if (!glide_settled) {
        glide_settled = true;
        mark_active_dirty();
    }
    // 4. scrollbar fade
    if (last_scroll_at && since(now, *last_scroll_at) <= 1380ms) mark_active_dirty();
    // 5. hover fade
    if (since(now, hover_changed_at) < 150ms) {
        mark_active_dirty();
    } else if (hover.kind == BarHit::Kind::None && hover_previous.kind != BarHit::Kind::None) {
        hover_previous = BarHit::none();
        mark_active_dirty();
    }
    // 6. tab strip easing
    if (std::abs(tab_scroll_target - tab_scroll) > 0.5f) {
        tab_scroll += (tab_scroll_target - tab_scroll) * 0.25f;
        mark_active_dirty();
    } else if (tab_scroll != tab_scroll_target) {
        tab_scroll = tab_scroll_target;
        mark_active_dirty();
    }
    // 7. search debounce
    if (search_edited_at && since(now, *search_edited_at) >= 40ms) apply_search();
    // 8. stale synchronized update
    auto* s = active();
    if (s && s->sync_pending->load()) s->flush_stale_sync();
    // 9. draw
    bool dirty = s && s->dirty->exchange(false);
    bool changed = tabs && tabs->tabs_changed->exchange(false);
    if ((dirty || changed) && !live_resize && s) render();
    // 10. frame rate
    governor(now);
}

void TerminalView::governor(Instant now) {
    auto dt = since(now, rate_sampled_at);
    if (dt < 200ms || !tabs || tabs->sessions.empty()) return;
    std::uint64_t count = active()->bytes_read->load(std::memory_order_relaxed);
    if (tabs->active != rate_sample_tab) {
        rate_sample_tab = tabs->active;
        rate_sample_bytes = count;
        rate_sampled_at = now;
        return;
    }
    std::uint64_t delta = count > rate_sample_bytes ? count - rate_sample_bytes : 0;
    rate_sampled_at = now;
    rate_sample_bytes = count;
    if (delta > 0) last_activity = now;
    double rate = static_cast<double>(delta) / std::max(seconds(dt), 0.001);
    bool idle = now > last_activity && now - last_activity > 2s;
    float target = idle ? std::min(max_fps, 60.0f) : max_fps;
    if (rate > 2'000'000.0) target = 30.0f;
    if (std::abs(target - current_fps) > 0.5f) request_rate(target);
}

}  // namespace kestrum_app
