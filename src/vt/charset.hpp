// The DEC special graphics character set (line drawing), selected with ESC ( 0.
#pragma once

namespace kestrum::vt {

inline char32_t dec_graphics(char32_t c) {
    static constexpr char32_t table[] = {
        U'\u25c6', U'\u2592', U'\u2409', U'\u240c', U'\u240d', U'\u240a', U'\u00b0', U'\u00b1',
        U'\u2424', U'\u240b', U'\u2518', U'\u2510', U'\u250c', U'\u2514', U'\u253c', U'\u23ba',
        U'\u23bb', U'\u2500', U'\u23bc', U'\u23bd', U'\u251c', U'\u2524', U'\u2534', U'\u252c',
        U'\u2502', U'\u2264', U'\u2265', U'\u03c0', U'\u2260', U'\u00a3', U'\u00b7',
    };
    // 0x5f (underscore) becomes a blank; 0x60..0x7e map through the table.
    if (c == 0x5f) return U' ';
    if (c >= 0x60 && c <= 0x7e) return table[c - 0x60];
    return c;
}

}  // namespace kestrum::vt
