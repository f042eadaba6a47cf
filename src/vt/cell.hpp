// One grid cell (12 bytes) and its colour; rare extras live outside the cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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
// Bits 10-11 hold what the cell is to a wide character, one of these values.
inline constexpr int width_shift = 10;
inline constexpr std::uint16_t width_mask = 3 << width_shift;
// The character takes this column and the next; the next holds a wide_spacer.
inline constexpr std::uint16_t wide = 1 << width_shift;
inline constexpr std::uint16_t wide_spacer = 2 << width_shift;
// Last column left empty because a wide character did not fit and wrapped.
inline constexpr std::uint16_t leading_spacer = 3 << width_shift;
// Bits 12-13 and 14-15 hold the kinds of the foreground and background colours.
inline constexpr int fg_kind_shift = 12;
inline constexpr int bg_kind_shift = 14;
inline constexpr std::uint16_t color_kind_mask = 0xf000;
// Attributes a print copies from the cursor template (SGR state).
inline constexpr std::uint16_t sgr_mask =
    bold | dim | italic | underline_mask | blink | inverse | hidden | strikeout;
}  // namespace flag

// Twelve bytes: the character, the payload bytes of both colours, and one word
// of attribute bits, width kind and colour kinds. Zero-width characters live
// in the row's side table.
struct Cell {
    char32_t ch = U' ';
    std::uint8_t fg_bytes[3] = {named::foreground & 0xff, named::foreground >> 8, 0};
    std::uint8_t bg_bytes[3] = {named::background & 0xff, named::background >> 8, 0};
    std::uint16_t flags = 0;  // both colour kinds 0: named

    Color fg() const { return color(fg_bytes, flag::fg_kind_shift); }
    Color bg() const { return color(bg_bytes, flag::bg_kind_shift); }
    void set_fg(Color c) { set_color(fg_bytes, flag::fg_kind_shift, c); }
    void set_bg(Color c) { set_color(bg_bytes, flag::bg_kind_shift, c); }

    Underline underline() const {
        return static_cast<Underline>((flags & flag::underline_mask) >> flag::underline_shift);
    }
    void set_underline(Underline u) {
        flags = static_cast<std::uint16_t>((flags & ~flag::underline_mask) |
                                           (static_cast<unsigned>(u) << flag::underline_shift));
    }
    // For attribute bits: any of them set. For a width value (wide, wide_spacer,
    // leading_spacer): the cell is exactly that.
    bool has(std::uint16_t f) const {
        if (f & flag::width_mask) return (flags & flag::width_mask) == f;
        return (flags & f) != 0;
    }
    std::uint16_t width_kind() const { return flags & flag::width_mask; }
    void set_width_kind(std::uint16_t w) {
        flags = static_cast<std::uint16_t>((flags & ~flag::width_mask) | w);
    }
    bool is_spacer() const {
        const auto w = width_kind();
        return w == flag::wide_spacer || w == flag::leading_spacer;
    }
    // A blank that any erase could have produced: space, default colours, no attributes.
    bool is_default_blank() const {
        return ch == U' ' && flags == 0 && fg_bytes[0] == (named::foreground & 0xff) &&
               fg_bytes[1] == (named::foreground >> 8) && fg_bytes[2] == 0 &&
               bg_bytes[0] == (named::background & 0xff) &&
               bg_bytes[1] == (named::background >> 8) && bg_bytes[2] == 0;
    }
    friend bool operator==(const Cell&, const Cell&) = default;

  private:
    Color color(const std::uint8_t* bytes, int shift) const {
        return {static_cast<Color::Kind>((flags >> shift) & 3), bytes[0], bytes[1], bytes[2]};
    }
    void set_color(std::uint8_t* bytes, int shift, Color c) {
        bytes[0] = c.a;
        bytes[1] = c.b;
        bytes[2] = c.c;
        flags = static_cast<std::uint16_t>((flags & ~(3u << shift)) |
                                           (static_cast<unsigned>(c.kind) << shift));
    }
};

static_assert(sizeof(Cell) == 12, "history memory is budgeted at 12 bytes per cell");

// Fills n cells with c in two plain stores per cell. Copying the 12-byte struct
// instead makes GCC assemble it on the stack and stall reloading it.
inline void fill_cells(Cell* dst, std::size_t n, const Cell& c) {
    std::uint32_t head;
    std::uint64_t tail;
    std::memcpy(&head, &c, sizeof head);
    std::memcpy(&tail, reinterpret_cast<const unsigned char*>(&c) + sizeof head, sizeof tail);
    auto* p = reinterpret_cast<unsigned char*>(dst);
    for (std::size_t i = 0; i < n; ++i, p += sizeof(Cell)) {
        std::memcpy(p, &head, sizeof head);
        std::memcpy(p + sizeof head, &tail, sizeof tail);
    }
}

}  // namespace kestrum::vt
