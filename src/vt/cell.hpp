// One grid cell (16 bytes) and its colour; rare extras live outside the cell.
#pragma once

#include <cstdint>

#include "core/rgb.hpp"

namespace kestrum::vt {

// Named colour indices above the 256-colour table; they resolve through the
// colour-override table first, then through the owner's palette.
namespace named {
inline constexpr std::uint16_t foreground = 256;
inline constexpr std::uint16_t background = 257;
inline constexpr std::uint16_t cursor = 258;
inline constexpr std::uint16_t dim_black = 259;  // 259-266: dim black .. dim white
inline constexpr std::uint16_t bright_foreground = 267;
inline constexpr std::uint16_t dim_foreground = 268;
inline constexpr std::uint16_t count = 269;
}  // namespace named

// A cell colour: a named colour (0-15 from SGR 30-37/90-97, or 256-268), an
// entry of the 256-colour table (SGR 38;5) or a direct RGB value.
struct Color {
    enum class Kind : std::uint8_t { named, indexed, rgb };
    Kind kind = Kind::named;
    std::uint8_t a = 0, b = 0, c = 0;

    static constexpr Color make_named(std::uint16_t index) {
        return {Kind::named, static_cast<std::uint8_t>(index & 0xff),
                static_cast<std::uint8_t>(index >> 8), 0};
    }
    static constexpr Color make_indexed(std::uint8_t index) { return {Kind::indexed, index, 0, 0}; }
    static constexpr Color make_rgb(core::Rgb rgb) { return {Kind::rgb, rgb.r, rgb.g, rgb.b}; }

    // The named or 256-colour index; meaningless for RGB colours.
    constexpr std::uint16_t index() const {
        return static_cast<std::uint16_t>(a | (kind == Kind::named ? b << 8 : 0));
    }
    constexpr core::Rgb rgb() const { return {a, b, c}; }
    friend constexpr bool operator==(Color, Color) = default;
};

enum class Underline : std::uint8_t { none, single, double_, curly, dotted, dashed };

// Cell attribute bits.
namespace flag {
inline constexpr std::uint16_t bold = 1 << 0;
inline constexpr std::uint16_t dim = 1 << 1;
inline constexpr std::uint16_t italic = 1 << 2;
inline constexpr int underline_shift = 3;  // three bits holding an Underline
inline constexpr std::uint16_t underline_mask = 7 << underline_shift;
inline constexpr std::uint16_t blink = 1 << 6;
inline constexpr std::uint16_t inverse = 1 << 7;
inline constexpr std::uint16_t hidden = 1 << 8;
inline constexpr std::uint16_t strikeout = 1 << 9;
// The character takes this column and the next; the next holds a wide_spacer.
inline constexpr std::uint16_t wide = 1 << 10;
inline constexpr std::uint16_t wide_spacer = 1 << 11;
// Last column left empty because a wide character did not fit and wrapped.
inline constexpr std::uint16_t leading_spacer = 1 << 12;
// Zero-width characters are attached in the row's side table.
inline constexpr std::uint16_t zerowidth = 1 << 13;
// Attributes a print copies from the cursor template (SGR state).
inline constexpr std::uint16_t sgr_mask =
    bold | dim | italic | underline_mask | blink | inverse | hidden | strikeout;
}  // namespace flag

struct Cell {
    char32_t ch = U' ';
    Color fg = Color::make_named(named::foreground);
    Color bg = Color::make_named(named::background);
    std::uint16_t flags = 0;
    std::uint16_t reserved = 0;

    Underline underline() const {
        return static_cast<Underline>((flags & flag::underline_mask) >> flag::underline_shift);
    }
    void set_underline(Underline u) {
        flags = static_cast<std::uint16_t>((flags & ~flag::underline_mask) |
                                           (static_cast<unsigned>(u) << flag::underline_shift));
    }
    bool has(std::uint16_t f) const { return (flags & f) != 0; }
    bool is_spacer() const { return (flags & (flag::wide_spacer | flag::leading_spacer)) != 0; }
    // A blank that any erase could have produced: space, default colours, no attributes.
    bool is_default_blank() const {
        return ch == U' ' && flags == 0 && fg == Color::make_named(named::foreground) &&
               bg == Color::make_named(named::background);
    }
    friend bool operator==(const Cell&, const Cell&) = default;
};

static_assert(sizeof(Cell) == 16, "history memory is budgeted at 16 bytes per cell");

}  // namespace kestrum::vt
