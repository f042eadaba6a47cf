// One frame: snapshot the active terminal, place the cursor, the tab bar band and
// the smooth-scroll row, compose the overlays, and draw when something changed.
#include <algorithm>
#include <cmath>

#include "app/terminal_view.hpp"
#include "core/log.hpp"

namespace kestrum_app {

namespace {

using namespace std::chrono_literals;
using kestrum::core::Clock;
using kestrum::core::Rgb;
using kestrum::core::since;
namespace render = kestrum_render;

constexpr auto kGlide = 60ms;
constexpr int kLongestGlide = 14;
constexpr std::size_t kLatencyWindow = 500;
constexpr std::size_t kLatencyReportEvery = 50;

double secs(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

void TerminalView::render() {
    auto* session = active();
    if (!session) return;
    const float cw = cell_width();
    const float ch = cell_height();
    const Instant now = Clock::now();

    // 1-2. Smooth-scroll offset and the snapshot.
    const float s =
        std::round(ch * static_cast<float>(std::clamp(session->scroll_fraction, 0.0, 1.0)));
    std::vector<kestrum_term::FrameCell> overscan;
    kestrum_term::Frame frame;
    std::size_t history = 0;
    std::size_t offset = 0;
    bool focused_match = false;
    {
        std::lock_guard lock(session->terminal->mutex);
        auto& t = *session->terminal->terminal;
        if (s > 0) overscan = t.overscan_top_row();
        frame = t.frame();
        history = t.term().history_size();
        offset = t.term().display_offset();
        focused_match = t.search() && t.search()->focused;
    }

    // 3. Titles, with the rename buffer in place of the renamed tab's.
    std::vector<std::string> shown = titles();
    if (renaming && *renaming < shown.size()) shown[*renaming] = rename_buffer + "\u258F";

    // 4. Cursor appearance.
    auto& cursor = frame.cursor;
    float opacity = 1.0f;
    if (window_key) {
        cursor_blinking = cursor.visible && cursor.blinking;
        if (cursor_blinking) opacity = blink_alpha;
    } else {
        cursor_blinking = false;
        if (cursor.visible) cursor.shape = kestrum_term::cursor_shape::HollowBlock;
    }

    // 5. Glide along the row.
    if (cursor.col != cursor_cell_col || cursor.row != cursor_cell_row) {
        int moved = std::abs(static_cast<int>(cursor.col) - static_cast<int>(cursor_cell_col));
        if (cursor.row == cursor_cell_row && cursor.visible && moved <= kLongestGlide) {
            glide_from_col = static_cast<float>(cursor_cell_col);
            glide_start = now;
            glide_settled = false;
        } else {
            glide_from_col = static_cast<float>(cursor.col);
            glide_start = now - kGlide;
        }
        cursor_cell_col = cursor.col;
        cursor_cell_row = cursor.row;
    }
    double elapsed = secs(since(now, glide_start));
    float x = static_cast<float>(cursor.col);
    if (elapsed < secs(kGlide)) {
        double t = std::min(elapsed / secs(kGlide), 1.0);
        double u = 1 - t;
        x = glide_from_col +
            static_cast<float>(1 - u * u * u) * (static_cast<float>(cursor.col) - glide_from_col);
    }
    if (cursor.visible) {
        cursor.x = x;
        cursor.opacity = opacity;
    }

    // 6. The tab bar band.
    const std::uint16_t screen_rows = frame.rows;
    for (auto& cell : frame.cells)
        cell.row = static_cast<std::uint16_t>(cell.row + 2);
    if (cursor.visible) cursor.row = static_cast<std::uint16_t>(cursor.row + 2);
    frame.rows = static_cast<std::uint16_t>(frame.rows + 2);

    // 7-8. Drawable and the smooth-scroll row.
    auto drawable_size = layer_->drawable_size();
    const float width = static_cast<float>(drawable_size.width);
    const float height = static_cast<float>(drawable_size.height);
    render::RenderOptions options;
    float scroll_offset = 0;
    if (s > 0 && !overscan.empty()) {
        for (auto& cell : overscan) {
            cell.row = 1;
            frame.cells.push_back(std::move(cell));
        }
        options.scroll_clip =
            render::ScrollClip{{0, 2 * ch + static_cast<float>(config.padding.y * scale), width,
                                ch * static_cast<float>(screen_rows)},
                               s};
        scroll_offset = s;
    }

    // 9. Tab bar.
    TabLayout l = tab_layout(shown, width, cw, ch, scale);
    tab_scroll = std::clamp(tab_scroll, 0.0f, l.scroll_max);
    tab_scroll_target = std::clamp(tab_scroll_target, 0.0f, l.scroll_max);
    render::TabBar bar;
    for (std::size_t i = 0; i < l.pills.size() && i < shown.size(); ++i) {
        render::Rect r = l.pills[i];
        r.x -= tab_scroll;
        bar.tabs.push_back({shown[i], r, i == tabs->active});
    }
    bar.bar_rect = {0, 0, std::max(width, 0.0f), l.bar_height};
    render::Rect plus = l.new_tab_rect;
    plus.x -= tab_scroll;
    bar.new_tab_button = plus;
    bar.pill_radius = l.pill_radius;
    bar.dot_inset = l.dot_inset;
    bar.dot_size = l.dot_size;
    bar.dot_gap = l.dot_gap;
    bar.clip_left = l.scroll_max > 0 ? l.clip_left : 0;
    if (hover_previous.kind == BarHit::Kind::Tab) bar.hovered = hover_previous.index;
    bar.new_tab_hovered = hover_previous.kind == BarHit::Kind::NewTabButton;
    {
        double t = std::min(secs(since(now, hover_changed_at)) / 0.15, 1.0);
        float target = hover.kind != BarHit::Kind::None ? 1.0f : 0.0f;
        bar.hover_progress =
            hover_alpha + (target - hover_alpha) * static_cast<float>(t * t * (3 - 2 * t));
    }
    bar.active_fill = {0x2A, 0x27, 0x31};
    bar.active_text = {0xEF, 0xEE, 0xF1};
    bar.inactive_text = {0x87, 0x85, 0x8B};
    bar.active_dot = {0xE2, 0x34, 0x39};
    bar.inactive_dot = {0x5E, 0x5C, 0x64};
    bar.active_border = {0xCF, 0xCD, 0xD8};
    bar.hover_text = {0xC4, 0xC2, 0xC8};

    // 10. Search bar.
    std::optional<render::SearchBar> search_bar;
    if (search_open) {
        render::SearchBar sb;
        sb.text = "Find: " + search_query;
        float w = std::clamp(width - 2 * cw, 8 * cw, 34 * cw);
        sb.rect = {std::max(width - w - cw, 0.0f), 2 * ch + 0.5f * cw, w, 1.8f * ch};
        sb.radius = 0.4f * ch;
        sb.background = {0x1C, 0x1C, 0x20};
        sb.caret_color = {0xE2, 0x34, 0x39};
        sb.text_color =
            !search_query.empty() && !focused_match ? Rgb{0xD5, 0x4E, 0x53} : Rgb{0xEF, 0xEE, 0xF1};
        search_bar = sb;
    }

    // 11. Scrollbar.
    std::optional<render::Scrollbar> scrollbar;
    if (history > 0 && last_scroll_at) {
        double e = secs(since(now, *last_scroll_at));
        float alpha =
            e <= 0.9 ? 1.0f : std::clamp(1.0f - static_cast<float>((e - 0.9) / 0.4), 0.0f, 1.0f);
        if (alpha >= 0.04f) {
            float rows_f = static_cast<float>(screen_rows);
            float track = std::max(ch * rows_f, 1.0f);
            float ratio = std::min(rows_f / (static_cast<float>(history) + rows_f), 1.0f);
            float thumb = std::min(std::max(ratio * track, std::min(1.5f * ch, track)), track);
            float position =
                std::min(static_cast<float>(offset) / static_cast<float>(history), 1.0f);
            float w = std::max(static_cast<float>(3.5 * scale), 3.0f);
            float margin = std::max(static_cast<float>(2.5 * scale), 2.0f);
            render::Scrollbar sbar;
            sbar.rect = {std::max(width - margin - w, 0.0f),
                         2 * ch + static_cast<float>(config.padding.y * scale) +
                             (1 - position) * std::max(track - thumb, 0.0f),
                         w, thumb};
            sbar.radius = w * 0.5f;
            sbar.alpha = alpha;
            sbar.color = {0xB4, 0xB4, 0xBC};
            scrollbar = sbar;
        }
    }

    // 12. Nothing changed: nothing to draw.
    render::Overlays overlays{&bar, search_bar ? &*search_bar : nullptr,
                              scrollbar ? &*scrollbar : nullptr};
    render::Viewport viewport{width, height};
    if (renderer->is_unchanged(frame, overlays, viewport, scroll_offset)) return;

    // 13-15. Draw and present (the window system may have made its own context current).
    device_->make_current();
    auto drawable = layer_->next_drawable();
    if (!drawable) {
        mark_active_dirty();
        return;
    }
    options.present_with_transaction = live_resize;
    renderer->render(frame, overlays, drawable->texture(), drawable, viewport, options);
    bool redraw = renderer->take_needs_redraw();

    // 16. Typing latency.
    if (latency.enabled && latency.pending &&
        session->bytes_read->load(std::memory_order_relaxed) > latency.pending->output_mark) {
        float ms =
            static_cast<float>(secs(since(Clock::now(), latency.pending->pressed_at)) * 1000.0);
        latency.pending.reset();
        if (ms <= 1000.0f) {
            latency.samples.push_back(ms);
            if (latency.samples.size() > kLatencyWindow)
                latency.samples.erase(
                    latency.samples.begin(),
                    latency.samples.end() - static_cast<std::ptrdiff_t>(kLatencyWindow));
            if (++latency.since_report == kLatencyReportEvery) {
                latency.since_report = 0;
                KLOG_INFO("kestrum_app::latency", "{}", latency_report(latency.samples));
            }
        }
    }
    // 17.
    if (redraw) mark_active_dirty();
}

}  // namespace kestrum_app
