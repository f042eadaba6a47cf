// The render snapshot of a terminal: the viewport's cells with resolved colours and
// attributes, the cursor and the background colours. A plain owned copy, compared
// field by field by the renderer to skip unchanged frames.
#pragma once

#include <cstdint>
#include <vector>

#include "core/rgb.hpp"

namespace kestrum_term {

enum class MatchState : std::uint8_t {
    None = 0,
    Match = 1,    // inside a visible search match
    Focused = 2,  // inside the focused match
};

struct FrameCell {
    // Combining and zero-width characters attached to the cell; empty when there are
    // none or the cell is hidden.
    std::vector<char32_t> zerowidth;
    char32_t c = U' ';  // a space when the cell is hidden
    std::uint16_t col = 0;
    std::uint16_t row = 0;  // viewport row, 0 at the top of the view
    bool bold = false;
    bool italic = false;
    bool underline = false;  // any underline style
    bool strikeout = false;
    bool wide = false;  // occupies this column and the next
    bool selected = false;
    MatchState search = MatchState::None;
    kestrum::core::Rgb fg;
    kestrum::core::Rgb bg;

    friend bool operator==(const FrameCell&, const FrameCell&) = default;
};

// Cursor shape values; any value above HollowBlock is drawn as a hollow block.
namespace cursor_shape {
inline constexpr std::uint8_t Block = 0;
inline constexpr std::uint8_t Underline = 1;
inline constexpr std::uint8_t Beam = 2;
inline constexpr std::uint8_t HollowBlock = 3;
inline constexpr std::uint8_t Hidden = 4;
}  // namespace cursor_shape

struct Cursor {
    float opacity = 1.0f;  // the view replaces it with its blink phase
    float x = 0.0f;        // column as drawn; the view animates it between cells
    std::uint16_t col = 0;
    std::uint16_t row = 0;  // viewport row
    kestrum::core::Rgb color;
    std::uint8_t shape = cursor_shape::Block;
    bool visible = false;  // when false every other field is zero (opacity stays 1)
    bool blinking = false;

    friend bool operator==(const Cursor&, const Cursor&) = default;
};

struct Frame {
    std::vector<FrameCell> cells;  // row by row from the top-left; spacer cells left out
    Cursor cursor;
    std::uint16_t cols = 0;
    std::uint16_t rows = 0;
    kestrum::core::Rgb background;  // default background
    kestrum::core::Rgb selection_bg;
    kestrum::core::Rgb match_bg;
    kestrum::core::Rgb focused_match_bg;

    friend bool operator==(const Frame&, const Frame&) = default;
};

}  // namespace kestrum_term
