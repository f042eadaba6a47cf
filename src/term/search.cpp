// Scrollback search: the focused match, stepping, and the visible matches.
#include <algorithm>

#include <utf8proc.h>

#include "term/terminal.hpp"

namespace kestrum_term {

namespace {

// Case-sensitive as soon as the query holds an uppercase letter.
bool has_uppercase(std::string_view query) {
    const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(query.data());
    utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(query.size());
    while (left > 0) {
        utf8proc_int32_t c;
        utf8proc_ssize_t n = utf8proc_iterate(p, left, &c);
        if (n <= 0) {
            ++p;
            --left;
            continue;
        }
        if ((c >= 'A' && c <= 'Z') || utf8proc_category(c) == UTF8PROC_CATEGORY_LU) return true;
        p += n;
        left -= n;
    }
    return false;
}

}  // namespace

void Terminal::show_line(std::int32_t line) {
    term_.scroll_to_line(line);
}

bool Terminal::search_set(std::string_view query) {
    search_.reset();
    if (query.empty()) return false;
    auto regex = kestrum::vt::RegexSearch::compile(query, has_uppercase(query));
    if (!regex) return false;
    search_ = Search{std::move(*regex), std::string(query), {}, std::nullopt};
    auto found = find_match(term_.cols() - 1u, term_.rows() - 1, false);
    if (found) {
        search_->focused = found;
        show_line(found->start.line);
    }
    refresh_search_visible();
    return true;
}

bool Terminal::search_advance(bool forward) {
    if (!search_) return false;
    const std::int32_t top = term_.top_line();
    const std::int32_t bottom = term_.bottom_line();
    const std::uint32_t last_col = term_.cols() - 1u;
    kestrum::vt::Point origin;
    if (!search_->focused) {
        origin = forward ? kestrum::vt::Point{top, 0} : kestrum::vt::Point{bottom, last_col};
    } else if (forward) {
        kestrum::vt::Point end = search_->focused->end;
        origin = end.col >= last_col ? kestrum::vt::Point{end.line + 1, 0}
                                     : kestrum::vt::Point{end.line, end.col + 1};
        if (origin.line > bottom) origin = {bottom, last_col};
    } else {
        kestrum::vt::Point start = search_->focused->start;
        origin = start.col == 0 ? kestrum::vt::Point{start.line - 1, last_col}
                                : kestrum::vt::Point{start.line, start.col - 1};
        if (origin.line < top) origin = {top, 0};
    }
    origin.line = std::clamp(origin.line, top, bottom);
    origin.col = std::min(origin.col, last_col);
    auto found = find_match(origin.col, origin.line, forward);
    if (found) {
        search_->focused = found;
        show_line(found->start.line);
    }
    refresh_search_visible();
    return found.has_value();
}

std::optional<kestrum::vt::Match> Terminal::find_match(std::uint32_t col, std::int32_t line,
                                                       bool forward) const {
    if (!search_) return std::nullopt;
    const std::int32_t top = term_.top_line();
    const std::int32_t bottom = term_.bottom_line();
    const std::uint32_t last_col = term_.cols() - 1u;
    if (forward) {
        kestrum::vt::Point origin =
            kestrum::vt::adjust_wide(term_, {line, col}, kestrum::vt::Direction::forward);
        kestrum::vt::Point start{term_.logical_line_start(origin.line), 0};
        kestrum::vt::Point end = start.line == top ? kestrum::vt::Point{bottom, last_col}
                                                   : kestrum::vt::Point{start.line - 1, last_col};
        kestrum::vt::MatchIter it(term_, search_->regex, start, end,
                                  kestrum::vt::Direction::forward);
        auto first = it.next();
        auto qualifies = [&](const kestrum::vt::Match& m) {
            return m.start.line < start.line || m.start.line > origin.line ||
                   (m.start.line == origin.line && m.start.col >= origin.col);
        };
        for (auto m = first; m; m = it.next())
            if (qualifies(*m)) return m;
        return first;
    }
    kestrum::vt::Point origin =
        kestrum::vt::adjust_wide(term_, {line, col}, kestrum::vt::Direction::backward);
    kestrum::vt::Point start{term_.logical_line_end(origin.line), last_col};
    kestrum::vt::Point end =
        start.line == bottom ? kestrum::vt::Point{top, 0} : kestrum::vt::Point{start.line + 1, 0};
    kestrum::vt::MatchIter it(term_, search_->regex, start, end, kestrum::vt::Direction::backward);
    auto first = it.next();
    auto qualifies = [&](const kestrum::vt::Match& m) {
        return m.end.line > start.line || m.end.line < origin.line ||
               (m.end.line == origin.line && m.end.col <= origin.col);
    };
    for (auto m = first; m; m = it.next())
        if (qualifies(*m)) return m;
    return first;
}

void Terminal::refresh_search_visible() {
    if (!search_) return;
    const auto offset = static_cast<std::int32_t>(term_.display_offset());
    kestrum::vt::Point start{-offset, 0};
    kestrum::vt::Point end{term_.rows() - 1 - offset, term_.cols() - 1u};
    // Refilled in place: this runs after every fed chunk, and the old list's
    // storage fits the new one.
    std::vector<kestrum::vt::Match>& visible = search_->visible;
    visible.clear();
    kestrum::vt::MatchIter it(term_, search_->regex, start, end, kestrum::vt::Direction::forward);
    while (visible.size() < kMaxVisibleMatches) {
        auto m = it.next();
        if (!m) break;
        visible.push_back(*m);
    }
    // A forward walk yields them in order already; sorting is the safety net.
    auto by_start = [](const kestrum::vt::Match& a, const kestrum::vt::Match& b) {
        return a.start < b.start;
    };
    if (!std::is_sorted(visible.begin(), visible.end(), by_start))
        std::sort(visible.begin(), visible.end(), by_start);
}

}  // namespace kestrum_term
