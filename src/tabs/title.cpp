#include "tabs/title.hpp"

#include "vt/utf8.hpp"

namespace kestrum_tabs {

namespace {

bool removed(char32_t c) {
    return c <= 0x1F || (c >= 0x7F && c <= 0x9F) || c == 0x200B || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x061C ||
           c == 0xFEFF;
}

}  // namespace

std::optional<std::string> sanitize_title(std::string_view text) {
    std::string out;
    size_t kept = 0;
    // Invalid UTF-8 decodes to U+FFFD, which is kept.
    for (char32_t c : kestrum::vt::decode_utf8(text)) {
        if (kept == kMaxTitleChars) break;
        if (removed(c)) continue;
        kestrum::vt::append_utf8(out, c);
        ++kept;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

}  // namespace kestrum_tabs
