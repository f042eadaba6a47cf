// Display width of a code point in cells: 0 (combining, zero-width), 1 or 2.
#pragma once

#include <cstdint>

namespace kestrum::vt {

int char_width_slow(char32_t c);

// Widths of the Basic Multilingual Plane, computed once.
extern const std::int8_t* const bmp_widths;

inline int char_width(char32_t c) {
    // Everything below U+0300 that reaches the screen is a plain narrow character.
    if (c < 0x300) return 1;
    if (c < 0x10000) return bmp_widths[c];
    return char_width_slow(c);
}

}  // namespace kestrum::vt
