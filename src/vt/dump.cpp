#include "vt/dump.hpp"

#include <fmt/format.h>

#include "vt/utf8.hpp"

namespace kestrum::vt {

namespace {

std::string line_text(const Terminal& term, std::int32_t l) {
    const Row& row = term.line(l);
    std::string s;
    for (std::uint16_t x = 0; x < term.cols(); ++x) {
        const Cell& c = row[x];
        if (c.is_spacer()) {
            if (c.has(flag::leading_spacer)) s.push_back(' ');
            continue;
        }
        append_utf8(s, c.ch);
        for (char32_t z : row.zerowidth(x))
            append_utf8(s, z);
    }
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string color_name(Color c, std::uint16_t default_index) {
    switch (c.kind) {
        case Color::Kind::named:
            if (c.index() == default_index) return "default";
            return fmt::format("named:{}", c.index());
        case Color::Kind::indexed:
            return fmt::format("idx:{}", c.index());
        case Color::Kind::rgb:
            return fmt::format("#{:02x}{:02x}{:02x}", c.a, c.b, c.c);
    }
    return "?";
}

}  // namespace

std::string screen_text(const Terminal& term) {
    std::string out;
    for (std::int32_t l = 0; l < term.rows(); ++l) {
        if (l) out.push_back('\n');
        out += line_text(term, l);
    }
    return out;
}

std::string all_text(const Terminal& term) {
    std::string out;
    for (std::int32_t l = term.top_line(); l <= term.bottom_line(); ++l) {
        if (l != term.top_line()) out.push_back('\n');
        out += line_text(term, l);
    }
    return out;
}

std::string attribute_dump(const Terminal& term) {
    static constexpr const char* underline_names[] = {"",      "single", "double",
                                                      "curly", "dotted", "dashed"};
    std::string out;
    for (std::int32_t l = 0; l < term.rows(); ++l) {
        const Row& row = term.line(l);
        for (std::uint16_t x = 0; x < term.cols(); ++x) {
            const Cell& c = row[x];
            if (c.is_default_blank() || c.has(flag::wide_spacer)) continue;
            std::string ch;
            append_utf8(ch, c.ch);
            out += fmt::format(
                "{}:{} U+{:04X} \"{}\" fg={} bg={}", l, x, static_cast<std::uint32_t>(c.ch), ch,
                color_name(c.fg(), named::foreground), color_name(c.bg(), named::background));
            if (c.has(flag::bold)) out += " bold";
            if (c.has(flag::dim)) out += " dim";
            if (c.has(flag::italic)) out += " italic";
            if (c.underline() != Underline::none)
                out +=
                    fmt::format(" underline={}", underline_names[static_cast<int>(c.underline())]);
            if (c.has(flag::blink)) out += " blink";
            if (c.has(flag::inverse)) out += " inverse";
            if (c.has(flag::hidden)) out += " hidden";
            if (c.has(flag::strikeout)) out += " strike";
            if (c.has(flag::wide)) out += " wide";
            if (c.has(flag::leading_spacer)) out += " leading-spacer";
            auto zw = row.zerowidth(x);
            for (std::size_t i = 0; i < zw.size(); ++i) {
                out += fmt::format("{}U+{:04X}", i == 0 ? " zw=" : ",",
                                   static_cast<std::uint32_t>(zw[i]));
            }
            out.push_back('\n');
        }
        if (row.wrapped) out += fmt::format("wrapped {}\n", l);
    }
    return out;
}

}  // namespace kestrum::vt
