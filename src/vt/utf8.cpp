#include "vt/utf8.hpp"

namespace kestrum::vt {

std::vector<char32_t> decode_utf8(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        int need = 0;
        char32_t cp = 0;
        unsigned lo = 0x80, hi = 0xbf;
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        } else if (b >= 0xc2 && b <= 0xdf) {
            need = 1;
            cp = b & 0x1f;
        } else if (b >= 0xe0 && b <= 0xef) {
            need = 2;
            cp = b & 0x0f;
            if (b == 0xe0) lo = 0xa0;
            if (b == 0xed) hi = 0x9f;
        } else if (b >= 0xf0 && b <= 0xf4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xf0) lo = 0x90;
            if (b == 0xf4) hi = 0x8f;
        } else {
            out.push_back(U'\uFFFD');
            ++i;
            continue;
        }
        ++i;
        bool ok = true;
        for (int k = 0; k < need; ++k) {
            if (i >= s.size()) {
                ok = false;
                break;
            }
            auto c = static_cast<unsigned char>(s[i]);
            if (c < lo || c > hi) {
                ok = false;
                break;
            }
            lo = 0x80;
            hi = 0xbf;
            cp = (cp << 6) | (c & 0x3f);
            ++i;
        }
        out.push_back(ok ? cp : U'\uFFFD');
    }
    return out;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xc0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    }
}

std::string sanitize_utf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : decode_utf8(s))
        append_utf8(out, c);
    return out;
}

}  // namespace kestrum::vt
