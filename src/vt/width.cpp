// Character widths from utf8proc's tables.
#include "vt/width.hpp"

#include <utf8proc.h>

namespace kestrum::vt {

namespace {
const std::int8_t* make_bmp_widths() {
    static std::int8_t table[0x10000];
    for (char32_t c = 0; c < 0x10000; ++c)
        table[c] = static_cast<std::int8_t>(char_width_slow(c));
    return table;
}
}  // namespace

const std::int8_t* const bmp_widths = make_bmp_widths();

int char_width_slow(char32_t c) {
    if (c > 0x10ffff) return 1;
    auto cp = static_cast<utf8proc_int32_t>(c);
    int w = utf8proc_charwidth(cp);
    if (w >= 2) return 2;
    if (w == 1) return 1;
    // utf8proc gives 0 both to marks and to unassigned or private code points;
    // only the former attach to the previous cell.
    switch (utf8proc_category(cp)) {
        case UTF8PROC_CATEGORY_MN:
        case UTF8PROC_CATEGORY_ME:
        case UTF8PROC_CATEGORY_CF:
            return 0;
        case UTF8PROC_CATEGORY_MC:
            return 0;
        default:
            return 1;
    }
}

}  // namespace kestrum::vt
