// Operating system commands: titles, colour overrides and queries, clipboard.
#include <fmt/format.h>

#include <charconv>
#include <vector>

#include "core/log.hpp"
#include "vt/color_spec.hpp"
#include "vt/terminal.hpp"
#include "vt/utf8.hpp"

namespace kestrum::vt {

namespace {
constexpr const char* log_target = "kestrum_vt::osc";

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<unsigned> parse_hex(std::string_view s) {
    if (s.empty() || s.size() > 4) return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        int d = hex_digit(c);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<unsigned>(d);
    }
    return v;
}

std::optional<std::uint16_t> parse_number(std::string_view s) {
    std::uint16_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

constexpr char base64_chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::optional<std::string> base64_decode(std::string_view in) {
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (char c : in) {
        if (c == '=') break;
        const char* pos = std::char_traits<char>::find(base64_chars, 64, c);
        if (!pos) return std::nullopt;
        acc = (acc << 6) | static_cast<unsigned>(pos - base64_chars);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xff));
        }
    }
    return out;
}

std::string base64_encode(std::string_view in) {
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (unsigned char c : in) {
        acc = (acc << 8) | c;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out.push_back(base64_chars[(acc >> bits) & 63]);
        }
    }
    if (bits > 0) out.push_back(base64_chars[(acc << (6 - bits)) & 63]);
    while (out.size() % 4)
        out.push_back('=');
    return out;
}

}  // namespace

std::optional<core::Rgb> parse_color_spec(std::string_view spec) {
    auto scale = [](std::string_view s) -> std::optional<std::uint8_t> {
        auto v = parse_hex(s);
        if (!v) return std::nullopt;
        unsigned max = (1u << (4 * s.size())) - 1;
        return static_cast<std::uint8_t>(*v * 255 / max);
    };
    if (spec.starts_with("rgb:")) {
        spec.remove_prefix(4);
        auto s1 = spec.find('/');
        if (s1 == std::string_view::npos) return std::nullopt;
        auto s2 = spec.find('/', s1 + 1);
        if (s2 == std::string_view::npos) return std::nullopt;
        auto r = scale(spec.substr(0, s1));
        auto g = scale(spec.substr(s1 + 1, s2 - s1 - 1));
        auto b = scale(spec.substr(s2 + 1));
        if (!r || !g || !b) return std::nullopt;
        return core::Rgb{*r, *g, *b};
    }
    if (spec.starts_with('#')) {
        spec.remove_prefix(1);
        if (spec.empty() || spec.size() % 3 != 0 || spec.size() > 12) return std::nullopt;
        const std::size_t n = spec.size() / 3;
        // "#rgb" forms give the high bits of each component.
        auto high = [&](std::string_view s) -> std::optional<std::uint8_t> {
            auto v = parse_hex(s);
            if (!v) return std::nullopt;
            return static_cast<std::uint8_t>((*v << 4) >> (4 * (n - 1)));
        };
        auto r = high(spec.substr(0, n));
        auto g = high(spec.substr(n, n));
        auto b = high(spec.substr(2 * n, n));
        if (!r || !g || !b) return std::nullopt;
        return core::Rgb{*r, *g, *b};
    }
    return std::nullopt;
}

std::string ColorFormatter::operator()(core::Rgb c) const {
    std::string index = osc4_index >= 0 ? fmt::format("{};", osc4_index) : std::string();
    return fmt::format("\x1b]{};{}rgb:{:02x}{:02x}/{:02x}{:02x}/{:02x}{:02x}{}", osc, index, c.r,
                       c.r, c.g, c.g, c.b, c.b, bel ? "\x07" : "\x1b\\");
}

std::string ClipboardFormatter::operator()(std::string_view text) const {
    return fmt::format("\x1b]52;{};{}{}", clipboard, base64_encode(text), bel ? "\x07" : "\x1b\\");
}

void Terminal::osc_discarded(std::size_t length) {
    KLOG_WARN(log_target, "discarded an OSC sequence of {} bytes (limit {})", length,
              osc_max_payload);
}

void Terminal::set_title(std::optional<std::string> title) {
    if (title) {
        send(event::Title{*title});
    } else {
        send(event::ResetTitle{});
    }
    title_ = std::move(title);
}

void Terminal::push_title() {
    if (title_stack_.size() == max_title_stack) title_stack_.erase(title_stack_.begin());
    title_stack_.push_back(title_);
}

void Terminal::pop_title() {
    if (title_stack_.empty()) return;
    std::optional<std::string> title = std::move(title_stack_.back());
    title_stack_.pop_back();
    set_title(std::move(title));
}

void Terminal::set_color(std::uint16_t index, std::optional<core::Rgb> rgb) {
    if (index < colors_.size()) colors_[index] = rgb;
}

void Terminal::osc_dispatch(std::span<const std::uint8_t> payload, bool bel) {
    std::string_view text(reinterpret_cast<const char*>(payload.data()), payload.size());
    std::vector<std::string_view> args;
    for (std::size_t start = 0;;) {
        std::size_t semi = text.find(';', start);
        args.push_back(text.substr(start, semi - start));
        if (semi == std::string_view::npos) break;
        start = semi + 1;
    }
    auto number = parse_number(args[0]);
    if (!number) {
        KLOG_DEBUG(log_target, "malformed OSC ({} bytes)", payload.size());
        return;
    }
    std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
    switch (*number) {
        case 0:
        case 2: {
            // The title is everything after the first ';', semicolons included.
            std::size_t semi = text.find(';');
            std::string title = semi == std::string_view::npos
                                    ? std::string()
                                    : sanitize_utf8(text.substr(semi + 1));
            // An empty title asks for the default one back.
            if (title.empty()) return set_title(std::nullopt);
            return set_title(std::move(title));
        }
        case 1:  // icon name: nothing shows it
            return;
        case 4:
        case 10:
        case 11:
        case 12:
            return osc_colors(*number, rest, bel);
        case 104:
        case 110:
        case 111:
        case 112:
            return osc_reset_colors(*number, rest);
        case 52:
            return osc_clipboard(rest, bel);
        case 7:  // working directory and prompt marks are read by the owner
        case 8:  // hyperlinks are not shown
        case 133:
            return;
        default:
            KLOG_DEBUG(log_target, "unhandled OSC {}", *number);
    }
}

void Terminal::osc_colors(std::uint16_t osc, std::span<const std::string_view> args, bool bel) {
    auto apply = [&](std::uint16_t index, std::string_view spec, ColorFormatter format) {
        if (spec == "?") {
            send(event::ColorRequest{index, format});
        } else if (auto rgb = parse_color_spec(spec)) {
            set_color(index, *rgb);
        } else {
            KLOG_DEBUG(log_target, "bad colour string for OSC {}", osc);
        }
    };
    if (osc == 4) {
        // Pairs of index and colour string.
        for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
            auto index = parse_number(args[i]);
            if (!index || *index > 255) {
                KLOG_DEBUG(log_target, "bad palette index in OSC 4");
                return;
            }
            apply(*index, args[i + 1], ColorFormatter{4, *index, bel});
        }
        return;
    }
    // OSC 10 may carry the foreground, background and cursor in turn; 11 starts
    // at the background, 12 at the cursor.
    for (std::size_t i = 0; i < args.size() && osc + i <= 12; ++i) {
        const auto which = static_cast<std::uint16_t>(osc + i);
        apply(static_cast<std::uint16_t>(named::foreground + (which - 10)), args[i],
              ColorFormatter{which, -1, bel});
    }
}

void Terminal::osc_reset_colors(std::uint16_t osc, std::span<const std::string_view> args) {
    if (osc != 104) {
        set_color(static_cast<std::uint16_t>(named::foreground + (osc - 110)), std::nullopt);
        return;
    }
    bool any = false;
    for (std::string_view a : args) {
        if (a.empty()) continue;
        any = true;
        auto index = parse_number(a);
        if (index && *index <= 255) set_color(*index, std::nullopt);
    }
    if (!any) {
        for (std::size_t i = 0; i < 256; ++i)
            colors_[i].reset();
    }
}

void Terminal::osc_clipboard(std::span<const std::string_view> args, bool bel) {
    if (args.size() < 2) return;
    char clipboard = 'c';
    for (char c : args[0]) {
        if (c == 'c' || c == 'p' || c == 's') {
            clipboard = c;
            break;
        }
    }
    if (args[1] == "?") {
        if (config_.clipboard == ClipboardPolicy::read_write) {
            send(event::ClipboardLoad{clipboard, ClipboardFormatter{clipboard, bel}});
        }
        return;
    }
    if (config_.clipboard == ClipboardPolicy::disabled) return;
    auto decoded = base64_decode(args[1]);
    if (!decoded) {
        KLOG_DEBUG(log_target, "OSC 52 with invalid base64");
        return;
    }
    send(event::ClipboardStore{clipboard, sanitize_utf8(*decoded)});
}

}  // namespace kestrum::vt
