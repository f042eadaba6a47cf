#include "app/tab_layout.hpp"

#include <algorithm>

#include "tabs/tabbar.hpp"

namespace kestrum_app {

std::size_t char_count(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

TabLayout tab_layout(const std::vector<std::string>& titles, float drawable_width, float cw,
                     float ch, double scale) {
    TabLayout l;
    l.bar_height = 2.0f * ch;
    l.pill_height = std::max(0.62f * l.bar_height, 1.0f);
    l.pill_y = (l.bar_height - l.pill_height) * 0.5f;
    l.dot_inset = l.pill_height * 0.4f;
    l.dot_size = l.pill_height * 0.24f;
    l.dot_gap = l.pill_height * 0.26f;
    l.pill_radius = l.pill_height * 0.34f;
    l.pill_gap = l.pill_height * 0.16f;
    l.clip_left = static_cast<float>(80.0 * scale);

    std::vector<float> widths;
    widths.reserve(titles.size());
    for (const auto& t : titles)
        widths.push_back(cw * static_cast<float>(std::min(char_count(t), kMaxTitleCells)));
    kestrum_tabs::PillMetrics m{l.pill_y,  l.pill_height, l.dot_inset, l.dot_size,
                                l.dot_gap, l.pill_radius, l.pill_gap};
    for (const auto& p : kestrum_tabs::content_pills(widths, m, l.clip_left))
        l.pills.push_back({p.x, p.y, p.width, p.height});

    float end = l.pills.empty() ? std::max(l.clip_left, 0.0f)
                                : l.pills.back().x + l.pills.back().width + l.pill_gap;
    float button_width = std::max(cw, 0.0f) + 1.5f * l.dot_inset;
    l.new_tab_rect = {end, l.pill_y, button_width, l.pill_height};
    l.scroll_max =
        std::max(end + button_width + std::min(2.0f * cw, l.clip_left) - drawable_width, 0.0f);
    return l;
}

BarHit bar_hit(const TabLayout& l, double x, double y, double view_height, double scale, float ch,
               float drawable_width, float tab_scroll) {
    double from_top = view_height - y;
    if (x < 0 || from_top < 0 || scale <= 0 || ch <= 0 || from_top >= 2.0 * ch / scale)
        return BarHit::none();
    float px = static_cast<float>(x * scale);
    if (l.scroll_max > 0 && px < l.clip_left && l.clip_left < drawable_width)
        return BarHit::background();
    float sx = px + std::clamp(tab_scroll, 0.0f, l.scroll_max);
    for (std::size_t i = 0; i < l.pills.size(); ++i) {
        float next = i + 1 < l.pills.size() ? l.pills[i + 1].x : l.pills[i].x + l.pills[i].width;
        if (l.pills[i].x <= sx && sx < next) return BarHit::tab(i);
    }
    if (l.new_tab_rect.x <= sx && sx < l.new_tab_rect.x + l.new_tab_rect.width)
        return BarHit::new_tab_button();
    return BarHit::background();
}

}  // namespace kestrum_app
