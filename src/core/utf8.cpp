#include "core/utf8.hpp"

namespace kestrum::core {

namespace {

// Length of the valid sequence at s[i], or 0 when it is invalid.
size_t valid_sequence_at(std::string_view s, size_t i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return 1;
    size_t len;
    char32_t cp;
    if ((b & 0xE0) == 0xC0) {
        len = 2, cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

bool is_valid_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        size_t n = valid_sequence_at(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string to_valid_utf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t n = valid_sequence_at(s, i);
        if (n > 0) {
            out.append(s.substr(i, n));
            i += n;
            continue;
        }
        out += "\xEF\xBF\xBD";
        // A lead byte takes the continuation bytes that belonged to it along;
        // a stray continuation byte is replaced on its own.
        bool lead = (static_cast<unsigned char>(s[i]) & 0xC0) == 0xC0;
        ++i;
        while (lead && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            ++i;
    }
    return out;
}

}  // namespace kestrum::core
