#include "tabs/title.hpp"

#include "core/utf8.hpp"

namespace kestrum_tabs {

namespace {

bool removed(char32_t c) {
    return c <= 0x1F || (c >= 0x7F && c <= 0x9F) || c == 0x200B || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x061C ||
           c == 0xFEFF;
}

// Decodes one scalar value of valid UTF-8 at s[i]; returns its length.
size_t decode(std::string_view s, size_t i, char32_t& c) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    c = b & kLeadMask[len];
    for (size_t k = 1; k < len; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return len;
}

}  // namespace

std::optional<std::string> sanitize_title(std::string_view text) {
    std::string repaired;
    if (!kestrum::core::is_valid_utf8(text)) {
        repaired = kestrum::core::to_valid_utf8(text);
        text = repaired;
    }
    std::string out;
    size_t kept = 0;
    for (size_t i = 0; i < text.size() && kept < kMaxTitleChars;) {
        char32_t c;
        size_t len = decode(text, i, c);
        if (!removed(c)) {
            out.append(text.substr(i, len));
            ++kept;
        }
        i += len;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

}  // namespace kestrum_tabs
