// SGR: character attributes and colours of the cursor template.
#include <optional>

#include "vt/terminal.hpp"

namespace kestrum::vt {

namespace {

// Reads an extended colour (38, 48, 58) starting at values[i]. The colon form
// keeps everything in sub-parameters (38:2:r:g:b or 38:2:cs:r:g:b, 38:5:n);
// the semicolon form takes the following parameters. `next` is set to the
// first parameter after the colour.
std::optional<Color> extended_color(const Params& p, int i, int& next) {
    int end = i + 1;
    while (end < p.count && p.is_sub(end))
        ++end;
    if (end > i + 1) {
        next = end;
        const int n = end - i - 1;
        const int kind = p.values[i + 1];
        if (kind == 5 && n >= 2) {
            if (p.values[i + 2] > 255) return std::nullopt;
            return Color::make_indexed(static_cast<std::uint8_t>(p.values[i + 2]));
        }
        if (kind == 2 && n >= 4) {
            const int first = n >= 5 ? i + 3 : i + 2;  // skip the colour-space id
            const auto r = p.values[first], g = p.values[first + 1], b = p.values[first + 2];
            if (r > 255 || g > 255 || b > 255) return std::nullopt;
            return Color::make_rgb({static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                    static_cast<std::uint8_t>(b)});
        }
        return std::nullopt;
    }
    const int kind = p.at(i + 1);
    if (kind == 5 && i + 2 < p.count) {
        next = i + 3;
        if (p.values[i + 2] > 255) return std::nullopt;
        return Color::make_indexed(static_cast<std::uint8_t>(p.values[i + 2]));
    }
    if (kind == 2 && i + 4 < p.count) {
        next = i + 5;
        const auto r = p.values[i + 2], g = p.values[i + 3], b = p.values[i + 4];
        if (r > 255 || g > 255 || b > 255) return std::nullopt;
        return Color::make_rgb({static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                static_cast<std::uint8_t>(b)});
    }
    // Malformed: nothing after it can be trusted.
    next = p.count;
    return std::nullopt;
}

}  // namespace

void Terminal::set_attributes(const Params& p) {
    Cell& t = cur_.tmpl;
    if (p.count == 0) {
        t = Cell{};
        return;
    }
    int i = 0;
    while (i < p.count) {
        const int v = p.values[i];
        int next = i + 1;
        while (next < p.count && p.is_sub(next))
            ++next;  // sub-parameters we do not read
        switch (v) {
            case 0:
                t = Cell{};
                break;
            case 1:
                t.flags |= flag::bold;
                break;
            case 2:
                t.flags |= flag::dim;
                break;
            case 3:
                t.flags |= flag::italic;
                break;
            case 4:
                if (p.is_sub(i + 1)) {
                    const int style = p.values[i + 1];
                    if (style <= 5) t.set_underline(static_cast<Underline>(style));
                } else {
                    t.set_underline(Underline::single);
                }
                break;
            case 5:
            case 6:
                t.flags |= flag::blink;
                break;
            case 7:
                t.flags |= flag::inverse;
                break;
            case 8:
                t.flags |= flag::hidden;
                break;
            case 9:
                t.flags |= flag::strikeout;
                break;
            case 21:
                t.set_underline(Underline::double_);
                break;
            case 22:
                t.flags &= ~(flag::bold | flag::dim);
                break;
            case 23:
                t.flags &= ~flag::italic;
                break;
            case 24:
                t.set_underline(Underline::none);
                break;
            case 25:
                t.flags &= ~flag::blink;
                break;
            case 27:
                t.flags &= ~flag::inverse;
                break;
            case 28:
                t.flags &= ~flag::hidden;
                break;
            case 29:
                t.flags &= ~flag::strikeout;
                break;
            case 38:
            case 48:
            case 58: {
                auto c = extended_color(p, i, next);
                if (c && v == 38) t.set_fg(*c);
                if (c && v == 48) t.set_bg(*c);
                // 58 (underline colour) is read so its parameters are skipped.
                break;
            }
            case 39:
                t.set_fg(Color::make_named(named::foreground));
                break;
            case 49:
                t.set_bg(Color::make_named(named::background));
                break;
            case 59:
                break;
            default:
                if (v >= 30 && v <= 37) {
                    t.set_fg(Color::make_named(static_cast<std::uint16_t>(v - 30)));
                } else if (v >= 40 && v <= 47) {
                    t.set_bg(Color::make_named(static_cast<std::uint16_t>(v - 40)));
                } else if (v >= 90 && v <= 97) {
                    t.set_fg(Color::make_named(static_cast<std::uint16_t>(v - 90 + 8)));
                } else if (v >= 100 && v <= 107) {
                    t.set_bg(Color::make_named(static_cast<std::uint16_t>(v - 100 + 8)));
                }
                break;
        }
        i = next;
    }
}

}  // namespace kestrum::vt
