// Resolving selections against the grid, and text extraction from grid ranges.
#include "vt/selection.hpp"

#include <algorithm>

#include "vt/terminal.hpp"
#include "vt/utf8.hpp"

namespace kestrum::vt {

namespace {

Point clamp_point(const Terminal& term, Point p) {
    if (p.line < term.top_line()) return {term.top_line(), 0};
    if (p.line > term.bottom_line()) return {term.bottom_line(), term.cols() - 1u};
    p.col = std::min<std::uint32_t>(p.col, term.cols() - 1u);
    return p;
}

// The cell before/after p in reading order, crossing only wrapped line ends.
bool step_left(const Terminal& term, Point& p) {
    if (p.col > 0) {
        --p.col;
        return true;
    }
    if (p.line > term.top_line() && term.line(p.line - 1).wrapped) {
        --p.line;
        p.col = term.cols() - 1u;
        return true;
    }
    return false;
}

bool step_right(const Terminal& term, Point& p) {
    if (p.col + 1 < term.cols()) {
        ++p.col;
        return true;
    }
    if (p.line < term.bottom_line() && term.line(p.line).wrapped) {
        ++p.line;
        p.col = 0;
        return true;
    }
    return false;
}

bool separator_at(const Terminal& term, Point p) {
    const Cell& c = term.cell(p);
    if (c.has(flag::leading_spacer)) return false;  // a wrapped wide character follows
    if (c.has(flag::wide_spacer)) return false;
    return term.is_word_separator(c.ch);
}

Point word_start(const Terminal& term, Point p) {
    if (term.cell(p).has(flag::wide_spacer) && p.col > 0) --p.col;
    if (separator_at(term, p)) return p;
    Point q = p;
    while (step_left(term, q) && !separator_at(term, q))
        p = q;
    return p;
}

Point word_end(const Terminal& term, Point p) {
    if (term.cell(p).has(flag::wide_spacer) && p.col > 0) --p.col;
    if (separator_at(term, p)) return p;
    Point q = p;
    while (step_right(term, q) && !separator_at(term, q))
        p = q;
    if (term.cell(p).has(flag::wide)) ++p.col;
    return p;
}

}  // namespace

bool Selection::rotate(std::int32_t delta, std::int32_t top, std::int32_t bottom) {
    start_.point.line -= delta;
    end_.point.line -= delta;
    Anchor* lo = start_.point <= end_.point ? &start_ : &end_;
    Anchor* hi = lo == &start_ ? &end_ : &start_;
    if (hi->point.line < top || lo->point.line > bottom) return false;
    if (lo->point.line < top) {
        lo->point = Point{top, 0};
        lo->side = Side::left;
    }
    if (hi->point.line > bottom) hi->point.line = bottom;
    return true;
}

std::optional<SelectionRange> Selection::to_range(const Terminal& term) const {
    Anchor a = start_;
    Anchor b = end_;
    a.point = clamp_point(term, a.point);
    b.point = clamp_point(term, b.point);
    if (b.point < a.point || (b.point == a.point && a.side == Side::right && b.side == Side::left))
        std::swap(a, b);
    const std::uint32_t last_col = term.cols() - 1u;
    switch (kind_) {
        case SelectionKind::simple: {
            if (a.point == b.point && a.side == b.side) return std::nullopt;
            Point s = a.point, e = b.point;
            if (a.side == Side::right && s != e) {
                if (s.col < last_col) {
                    ++s.col;
                } else if (s.line < term.bottom_line()) {
                    s = {s.line + 1, 0};
                }
            }
            if (b.side == Side::left && s != e) {
                if (e.col > 0) {
                    --e.col;
                } else if (e.line > term.top_line()) {
                    e = {e.line - 1, last_col};
                }
            }
            if (e < s) return std::nullopt;
            if (term.cell(s).has(flag::wide_spacer) && s.col > 0) --s.col;
            if (term.cell(e).has(flag::wide) && e.col < last_col) ++e.col;
            return SelectionRange{s, e, false};
        }
        case SelectionKind::block: {
            Point s{a.point.line, std::min(a.point.col, b.point.col)};
            Point e{b.point.line, std::max(a.point.col, b.point.col)};
            return SelectionRange{s, e, true};
        }
        case SelectionKind::word:
            return SelectionRange{word_start(term, a.point), word_end(term, b.point), false};
        case SelectionKind::line:
            return SelectionRange{{term.logical_line_start(a.point.line), 0},
                                  {term.logical_line_end(b.point.line), last_col},
                                  false};
    }
    return std::nullopt;
}

std::optional<SelectionRange> Terminal::selection_range() const {
    if (!selection) return std::nullopt;
    return selection->to_range(*this);
}

std::optional<std::string> Terminal::selection_text() const {
    auto range = selection_range();
    if (!range) return std::nullopt;
    return text(range->start, range->end, range->block);
}

std::string Terminal::text(Point start, Point end, bool block) const {
    start = clamp_point(*this, start);
    end = clamp_point(*this, end);
    std::string out;
    if (end < start) return out;
    for (std::int32_t l = start.line; l <= end.line; ++l) {
        const Row& row = line(l);
        const std::uint32_t from = (block || l == start.line) ? start.col : 0;
        const std::uint32_t to = (block || l == end.line) ? end.col : cols() - 1u;
        const std::size_t seg_start = out.size();
        for (std::uint32_t x = from; x <= to && x < cols(); ++x) {
            const Cell& c = row[x];
            if (c.is_spacer()) continue;
            append_utf8(out, c.ch);
            for (char32_t z : row.zerowidth(static_cast<std::uint16_t>(x)))
                append_utf8(out, z);
        }
        const bool joined = !block && row.wrapped && l != end.line && to == cols() - 1u;
        if (!joined) {
            std::size_t n = out.size();
            while (n > seg_start && out[n - 1] == ' ')
                --n;
            out.resize(n);
            if (l != end.line) out.push_back('\n');
        }
    }
    return out;
}

}  // namespace kestrum::vt
