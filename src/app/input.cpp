#include "app/input.hpp"

#include <fmt/format.h>

#include "platform/ui.hpp"
#include "vt/utf8.hpp"

namespace kestrum_app::input {

namespace {

using namespace kestrum::platform;

char32_t first_code_point(std::string_view s) {
    // Key texts are a few bytes: decoding them whole costs nothing.
    auto cps = kestrum::vt::decode_utf8(s);
    return cps.empty() ? 0 : cps.front();
}

bool function_key(char32_t c) {
    return c >= 0xF700 && c <= 0xF8FF;
}

// Function keys: how each is built.
struct SpecialKey {
    char32_t code;
    enum class Kind { cursor, ss3, tilde } kind;
    char letter;
    int number;
};

constexpr SpecialKey kSpecialKeys[] = {
    {kUpArrowFunctionKey, SpecialKey::Kind::cursor, 'A', 0},
    {kDownArrowFunctionKey, SpecialKey::Kind::cursor, 'B', 0},
    {kRightArrowFunctionKey, SpecialKey::Kind::cursor, 'C', 0},
    {kLeftArrowFunctionKey, SpecialKey::Kind::cursor, 'D', 0},
    {kHomeFunctionKey, SpecialKey::Kind::cursor, 'H', 0},
    {kEndFunctionKey, SpecialKey::Kind::cursor, 'F', 0},
    {kF1FunctionKey + 0, SpecialKey::Kind::ss3, 'P', 0},
    {kF1FunctionKey + 1, SpecialKey::Kind::ss3, 'Q', 0},
    {kF1FunctionKey + 2, SpecialKey::Kind::ss3, 'R', 0},
    {kF1FunctionKey + 3, SpecialKey::Kind::ss3, 'S', 0},
    {kInsertFunctionKey, SpecialKey::Kind::tilde, 0, 2},
    {kDeleteFunctionKey, SpecialKey::Kind::tilde, 0, 3},
    {kPageUpFunctionKey, SpecialKey::Kind::tilde, 0, 5},
    {kPageDownFunctionKey, SpecialKey::Kind::tilde, 0, 6},
    {kF1FunctionKey + 4, SpecialKey::Kind::tilde, 0, 15},
    {kF1FunctionKey + 5, SpecialKey::Kind::tilde, 0, 17},
    {kF1FunctionKey + 6, SpecialKey::Kind::tilde, 0, 18},
    {kF1FunctionKey + 7, SpecialKey::Kind::tilde, 0, 19},
    {kF1FunctionKey + 8, SpecialKey::Kind::tilde, 0, 20},
    {kF1FunctionKey + 9, SpecialKey::Kind::tilde, 0, 21},
    {kF1FunctionKey + 10, SpecialKey::Kind::tilde, 0, 23},
    {kF1FunctionKey + 11, SpecialKey::Kind::tilde, 0, 24},
};

constexpr std::string_view kBracketStart = "\x1b[200~";
constexpr std::string_view kBracketEnd = "\x1b[201~";

bool erase_all(std::string& s, std::string_view marker) {
    bool removed = false;
    for (size_t at = s.find(marker); at != std::string::npos; at = s.find(marker, at)) {
        s.erase(at, marker.size());
        removed = true;
    }
    return removed;
}

}  // namespace

int modifier_param(std::uint64_t flags) {
    return 1 + ((flags & kShiftKeyMask) ? 1 : 0) + ((flags & kOptionKeyMask) ? 2 : 0) +
           ((flags & kControlKeyMask) ? 4 : 0);
}

std::string cursor_sequence(char letter, bool has_modifiers, int m, bool app_cursor) {
    if (has_modifiers) return fmt::format("\x1b[1;{}{}", m, letter);
    return std::string(app_cursor ? "\x1bO" : "\x1b[") + letter;
}

std::string ss3_sequence(char letter, bool has_modifiers, int m) {
    if (has_modifiers) return fmt::format("\x1b[1;{}{}", m, letter);
    return fmt::format("\x1bO{}", letter);
}

std::string tilde_sequence(int n, bool has_modifiers, int m) {
    if (has_modifiers) return fmt::format("\x1b[{};{}~", n, m);
    return fmt::format("\x1b[{}~", n);
}

std::string key_bytes(std::string_view characters, std::uint16_t key_code, std::uint64_t flags,
                      bool app_cursor) {
    const bool shift = flags & kShiftKeyMask;
    const bool control = flags & kControlKeyMask;
    if (shift && !control && key_code == kKeyCodeTab) return "\x1b[Z";
    if (characters.empty()) return {};
    const char32_t c = first_code_point(characters);
    if (!function_key(c)) {
        if (control && characters.size() == 1) {
            switch (characters[0]) {
                case ' ':
                case '2':
                case '@':
                    return std::string(1, '\0');
                case '3':
                    return "\x1b";
                case '4':
                    return "\x1c";
                case '5':
                    return "\x1d";
                case '6':
                    return "\x1e";
                case '/':
                case '7':
                    return "\x1f";
                case '8':
                case '?':
                    return "\x7f";
                default:
                    break;
            }
        }
        return std::string(characters);
    }
    const int m = modifier_param(flags);
    const bool has_modifiers = m > 1;
    for (const auto& key : kSpecialKeys) {
        if (key.code != c) continue;
        switch (key.kind) {
            case SpecialKey::Kind::cursor:
                return cursor_sequence(key.letter, has_modifiers, m, app_cursor);
            case SpecialKey::Kind::ss3:
                return ss3_sequence(key.letter, has_modifiers, m);
            case SpecialKey::Kind::tilde:
                return tilde_sequence(key.number, has_modifiers, m);
        }
    }
    return {};  // F13 and above, Begin, Print Screen and the rest
}

std::optional<std::string> meta_bytes(std::string_view text) {
    if (text.empty() || function_key(first_code_point(text))) return std::nullopt;
    return "\x1b" + std::string(text);
}

std::string_view shift_enter_bytes(std::uint8_t choice) {
    static constexpr std::string_view kTable[] = {"\x1b\r", "\n", "\x1b[13;2u", "\r"};
    return kTable[choice < std::size(kTable) ? choice : 0];
}

std::optional<std::string> encode_mouse(int level, bool sgr, std::uint8_t code, std::uint16_t col,
                                        std::uint16_t row, bool pressed) {
    if (level == 0) return std::nullopt;
    if (sgr) {
        unsigned x = std::min<unsigned>(col + 1u, 65535u);
        unsigned y = std::min<unsigned>(row + 1u, 65535u);
        return fmt::format("\x1b[<{};{};{}{}", code, x, y, pressed ? 'M' : 'm');
    }
    std::string out = "\x1b[M";
    std::uint8_t c = pressed ? code : static_cast<std::uint8_t>(code | 3);
    out += static_cast<char>(32 + c);
    out += static_cast<char>(col >= 222 ? 255 : 33 + col);
    out += static_cast<char>(row >= 222 ? 255 : 33 + row);
    return out;
}

std::string paste_bytes(std::string_view text, bool bracketed) {
    std::string s;
    s.reserve(text.size() + 12);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            s += '\r';
            ++i;
        } else if (text[i] == '\n') {
            s += '\r';
        } else {
            s += text[i];
        }
    }
    // Markers inside the text could end the bracket early; removing one can
    // assemble another, so repeat until a pass removes nothing.
    if (s.size() >= kBracketEnd.size()) {
        bool again = true;
        while (again) {
            bool end = erase_all(s, kBracketEnd);
            bool start = erase_all(s, kBracketStart);
            again = end || start;
        }
    }
    if (!bracketed) return s;
    return std::string(kBracketStart) + s + std::string(kBracketEnd);
}

}  // namespace kestrum_app::input
