// The tab bar's geometry across the top two cell rows, and its hit test.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "render/geometry.hpp"

namespace kestrum_app {

using kestrum_render::Rect;

struct TabLayout {
    std::vector<Rect> pills;
    Rect new_tab_rect;
    float pill_y = 0;
    float pill_height = 0;
    float dot_inset = 0;
    float dot_size = 0;
    float dot_gap = 0;
    float pill_radius = 0;
    float pill_gap = 0;
    float clip_left = 0;
    float bar_height = 0;
    float scroll_max = 0;
};

// Titles longer than this many characters take this many cells.
inline constexpr std::size_t kMaxTitleCells = 22;

// Device pixels throughout; `scale` only places the strip's left inset.
TabLayout tab_layout(const std::vector<std::string>& titles, float drawable_width, float cell_width,
                     float cell_height, double scale);

struct BarHit {
    enum class Kind { None, Background, NewTabButton, Tab };
    Kind kind = Kind::None;
    std::size_t index = 0;  // with Tab
    friend bool operator==(const BarHit&, const BarHit&) = default;
    static BarHit none() { return {}; }
    static BarHit background() { return {Kind::Background, 0}; }
    static BarHit new_tab_button() { return {Kind::NewTabButton, 0}; }
    static BarHit tab(std::size_t i) { return {Kind::Tab, i}; }
};

// What a point of the view (points, bottom-left origin, in a view `view_height`
// points tall) hits in a bar laid out as `layout`, scrolled by `tab_scroll` pixels.
BarHit bar_hit(const TabLayout& layout, double x, double y, double view_height, double scale,
               float cell_height, float drawable_width, float tab_scroll);

// Number of characters (Unicode scalar values) of a UTF-8 text.
std::size_t char_count(std::string_view text);

}  // namespace kestrum_app
