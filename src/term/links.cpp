// URLs and path-like tokens in the text of one row around a clicked cell.
#include <algorithm>

#include "term/terminal.hpp"
#include "vt/utf8.hpp"

namespace kestrum_term {

namespace {

struct Entry {
    std::uint32_t col;
    char32_t c;
};

bool ascii_letter(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool ascii_digit(char32_t c) {
    return c >= '0' && c <= '9';
}

bool scheme_char(char32_t c) {
    return ascii_letter(c) || ascii_digit(c) || c == '+' || c == '-' || c == '.';
}

bool url_char(char32_t c) {
    static constexpr std::u32string_view kExtra = U"-._~:/?#[]@!$&'()*+,;=%";
    return ascii_letter(c) || ascii_digit(c) || kExtra.find(c) != std::u32string_view::npos;
}

bool trailing_punctuation(char32_t c) {
    static constexpr std::u32string_view kPunct = U"!\"',.:;>?";
    return kPunct.find(c) != std::u32string_view::npos;
}

char32_t opener_of(char32_t closer) {
    switch (closer) {
        case U')':
            return U'(';
        case U']':
            return U'[';
        case U'}':
            return U'{';
        default:
            return 0;
    }
}

bool path_stop(char32_t c) {
    if (c <= 0x20 || (c >= 0x7f && c <= 0x9f)) return true;
    switch (c) {
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
        case U'"':
        case U'\'':
        case U'`':
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

bool leading_opener(char32_t c) {
    return c == U'"' || c == U'\'' || c == U'(' || c == U'<' || c == U'[' || c == U'{';
}

// The row's characters, one entry per drawn character (spacers left out).
std::vector<Entry> row_text(const kestrum::vt::Terminal& term, std::int32_t line) {
    std::vector<Entry> out;
    const kestrum::vt::Row& row = term.line(line);
    out.reserve(term.cols());
    for (std::uint32_t col = 0; col < term.cols(); ++col) {
        const kestrum::vt::Cell& cell = row[col];
        if (cell.is_spacer()) continue;
        out.push_back({col, cell.ch});
    }
    return out;
}

std::optional<size_t> entry_at(const std::vector<Entry>& text, std::uint32_t col) {
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i].col == col) return i;
    return std::nullopt;
}

// Drops trailing punctuation and unbalanced closers from [s, e); stops at any
// other character and never before `floor`.
size_t trim_end(const std::vector<Entry>& text, size_t s, size_t e, size_t floor) {
    while (e > floor) {
        char32_t c = text[e - 1].c;
        if (trailing_punctuation(c)) {
            --e;
            continue;
        }
        char32_t opener = opener_of(c);
        if (opener == 0) break;
        size_t closers = 0, openers = 0;
        for (size_t i = s; i < e; ++i) {
            if (text[i].c == c) ++closers;
            if (text[i].c == opener) ++openers;
        }
        if (closers <= openers) break;
        --e;
    }
    return e;
}

}  // namespace

bool Terminal::select_url_at(std::uint16_t col, std::uint16_t viewport_row) {
    if (viewport_row >= term_.rows()) return false;
    const std::int32_t line =
        static_cast<std::int32_t>(viewport_row) - static_cast<std::int32_t>(term_.display_offset());
    std::uint32_t clicked = std::min<std::uint32_t>(col, term_.cols() - 1u);
    std::vector<Entry> text = row_text(term_, line);
    auto v = entry_at(text, clicked);
    if (!v || text.size() < 3) return false;

    size_t from = 0;
    while (from + 3 <= text.size()) {
        size_t k = from;
        while (k + 3 <= text.size() &&
               !(text[k].c == U':' && text[k + 1].c == U'/' && text[k + 2].c == U'/'))
            ++k;
        if (k + 3 > text.size()) break;
        size_t s = k;
        while (s > 0 && scheme_char(text[s - 1].c))
            --s;
        while (s < k && !ascii_letter(text[s].c))
            ++s;
        if (s == k) {
            from = k + 1;
            continue;
        }
        size_t e = k + 3;
        while (e < text.size() && url_char(text[e].c))
            ++e;
        e = trim_end(text, s, e, k + 3);
        if (s <= *v && *v < e) {
            term_.selection = kestrum::vt::Selection(
                kestrum::vt::SelectionKind::simple,
                kestrum::vt::Selection::Anchor{{line, text[s].col}, kestrum::vt::Side::left},
                kestrum::vt::Selection::Anchor{{line, text[e - 1].col}, kestrum::vt::Side::right});
            return true;
        }
        from = e;
    }
    return false;
}

std::optional<std::string> Terminal::path_token_at(std::uint16_t col,
                                                   std::uint16_t viewport_row) const {
    if (viewport_row >= term_.rows()) return std::nullopt;
    const std::int32_t line =
        static_cast<std::int32_t>(viewport_row) - static_cast<std::int32_t>(term_.display_offset());
    std::uint32_t clicked = std::min<std::uint32_t>(col, term_.cols() - 1u);
    std::vector<Entry> text = row_text(term_, line);
    auto v = entry_at(text, clicked);
    if (!v || path_stop(text[*v].c)) return std::nullopt;

    size_t s = *v, e = *v + 1;
    while (s > 0 && !path_stop(text[s - 1].c))
        --s;
    while (e < text.size() && !path_stop(text[e].c))
        ++e;
    while (s < e && leading_opener(text[s].c))
        ++s;
    e = trim_end(text, s, e, s);

    std::u32string token;
    for (size_t i = s; i < e; ++i)
        token += text[i].c;
    // "name:12" and "name:12:7" give the bare name.
    auto all_digits = [](std::u32string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), ascii_digit);
    };
    size_t last = token.rfind(U':');
    if (last != std::u32string::npos && all_digits(std::u32string_view(token).substr(last + 1))) {
        size_t cut = last;
        if (last > 0) {
            size_t prev = token.rfind(U':', last - 1);
            if (prev != std::u32string::npos &&
                all_digits(std::u32string_view(token).substr(prev + 1, last - prev - 1)))
                cut = prev;
        }
        token.resize(cut);
    }
    if (token.empty()) return std::nullopt;
    std::string out;
    for (char32_t c : token)
        kestrum::vt::append_utf8(out, c);
    return out;
}

}  // namespace kestrum_term
