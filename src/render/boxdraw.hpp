// Line-drawing and block characters drawn as rectangles, so lines join seamlessly
// from cell to cell whatever the font's own drawing of them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "render/geometry.hpp"

namespace kestrum_render {

// The rectangles of one character, relative to its cell's top-left corner; empty for
// a character the font draws.
struct Segments {
    std::array<Rect, 4> rects{};
    std::uint8_t count = 0;

    bool empty() const { return count == 0; }
    const Rect* begin() const { return rects.data(); }
    const Rect* end() const { return rects.data() + count; }
    std::span<const Rect> view() const { return {rects.data(), count}; }
};

// Handles the light and heavy straight lines, corners, tees and crosses (22
// characters) and the block elements U+2580..U+2590, U+2594 and U+2595. Reads only
// the cell size and line thickness; shapes stay within one column even for wide cells.
Segments segments(char32_t c, const CellMetrics& metrics);

// True for every character segments() draws, and for a few it leaves to the font:
// a cheap first test for callers that look at every cell.
constexpr bool maybe_box_drawn(char32_t c) {
    return c >= U'\u2500' && c <= U'\u2595';
}

}  // namespace kestrum_render
