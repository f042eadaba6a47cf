// The render snapshot: viewport cells with resolved colours, highlighting and cursor.
#include <algorithm>
#include <array>

#include "term/terminal.hpp"

namespace kestrum_term {

namespace {

using kestrum::vt::Match;
using kestrum::vt::Point;

// A match contains a point, or for a wide cell the point of its right half.
[[gnu::always_inline]] inline bool covers(const Match& m, Point p) {
    return m.start <= p && p <= m.end;
}

[[gnu::always_inline]] inline bool hit(const Match& m, Point p, Point right, bool wide) {
    return covers(m, p) || (wide && covers(m, right));
}

// Looks up search highlighting for points visited in reading order, from `from` on.
// `visible` is sorted by start and its matches do not overlap, so ends are sorted
// too: the first match whose end is not before a point is found by a binary search
// once, then only moves forward as the points do.
class MatchCursor {
  public:
    MatchCursor(const Search& search, Point from) : search_(search) {
        const auto& v = search.visible;
        next_ = static_cast<std::size_t>(
            std::lower_bound(v.begin(), v.end(), from,
                             [](const Match& m, Point q) { return m.end < q; }) -
            v.begin());
    }

    [[gnu::always_inline]] MatchState state(Point p, bool wide) {
        const Point right{p.line, p.col + 1};
        if (search_.focused && hit(*search_.focused, p, right, wide)) return MatchState::Focused;
        const auto& v = search_.visible;
        while (next_ < v.size() && v[next_].end < p)
            ++next_;
        if (next_ < v.size() && hit(v[next_], p, right, wide)) return MatchState::Match;
        // A wide cell whose left half lies before the match may still touch it.
        if (wide) {
            std::size_t k = next_;
            while (k < v.size() && v[k].end < right)
                ++k;
            if (k < v.size() && hit(v[k], p, right, wide)) return MatchState::Match;
        }
        return MatchState::None;
    }

  private:
    const Search& search_;
    std::size_t next_ = 0;  // first match whose end is not before the last point asked
};

// The colour index space with the overrides applied, built once per snapshot so
// that a cell's colour is one load.
struct ColorTable {
    ColorTable(const kestrum::vt::Terminal& term, const Palette& palette) : palette(palette) {
        const auto& overrides = term.color_overrides();
        for (std::size_t i = 0; i < colors.size(); ++i)
            colors[i] =
                i < overrides.size() && overrides[i] ? *overrides[i] : palette.color_at_index(i);
    }

    Rgb operator()(kestrum::vt::Color c) const {
        if (c.kind == kestrum::vt::Color::Kind::rgb) return c.rgb();
        const std::uint16_t index = c.index();
        return index < colors.size() ? colors[index] : palette.color_at_index(index);
    }

    const Palette& palette;
    std::array<Rgb, kestrum::vt::named::count> colors;
};

// Fills one drawable cell whose colours are already resolved. Inlined into the
// per-line loop: as a call, passing its arguments cost as much as the work.
[[gnu::always_inline]] inline void fill_cell(
    FrameCell& out, const kestrum::vt::Row& cells, const kestrum::vt::Cell& cell, Rgb fg, Rgb bg,
    std::uint32_t col, std::int32_t line, std::uint16_t row,
    const std::optional<kestrum::vt::SelectionRange>& selection, MatchCursor* matches) {
    if (cell.has(kestrum::vt::flag::inverse)) std::swap(fg, bg);
    if (cell.has(kestrum::vt::flag::dim)) fg = dim(fg);
    out.fg = fg;
    out.bg = bg;
    const bool hidden = cell.has(kestrum::vt::flag::hidden);
    out.c = hidden ? U' ' : cell.ch;
    // Rows without combining marks have no side table: the test is one pointer.
    if (!hidden && cells.has_zerowidth()) {
        auto zw = cells.zerowidth(static_cast<std::uint16_t>(col));
        out.zerowidth.assign(zw.begin(), zw.end());
    }
    out.col = static_cast<std::uint16_t>(col);
    out.row = row;
    const bool wide = cell.has(kestrum::vt::flag::wide);
    out.wide = wide;
    const Point p{line, col};
    if (selection)
        out.selected = selection->contains(p) || (wide && selection->contains({line, col + 1}));
    if (matches) out.search = matches->state(p, wide);
    out.bold = cell.has(kestrum::vt::flag::bold);
    out.italic = cell.has(kestrum::vt::flag::italic);
    out.strikeout = cell.has(kestrum::vt::flag::strikeout);
    out.underline = cell.underline() != kestrum::vt::Underline::none;
}

// Appends the drawable cells of one grid line, shown at viewport row `row`.
void append_line(std::vector<FrameCell>& out, const kestrum::vt::Terminal& term,
                 const ColorTable& colors, std::int32_t line, std::uint16_t row,
                 const std::optional<kestrum::vt::SelectionRange>& selection,
                 MatchCursor* matches) {
    const kestrum::vt::Row& cells = term.line(line);
    const std::uint32_t cols = term.cols();
    for (std::uint32_t col = 0; col < cols; ++col) {
        const kestrum::vt::Cell& cell = cells[col];
        if (cell.is_spacer()) continue;
        fill_cell(out.emplace_back(), cells, cell, colors(cell.fg()), colors(cell.bg()), col, line, row,
                  selection, matches);
    }
}

}  // namespace

Rgb Terminal::resolve(kestrum::vt::Color color) const {
    if (color.kind == kestrum::vt::Color::Kind::rgb) return color.rgb();
    std::uint16_t index = color.index();
    const auto& overrides = term_.color_overrides();
    if (index < overrides.size() && overrides[index]) return *overrides[index];
    return palette_.color_at_index(index);
}

// One cell on its own; `frame` and `overscan_top_row` resolve whole lines at once.
std::optional<FrameCell> Terminal::resolve_cell(
    const kestrum::vt::Cell& cell, std::uint32_t col, std::int32_t line, std::uint16_t viewport_row,
    const std::optional<kestrum::vt::SelectionRange>& selection) const {
    if (cell.is_spacer() || col >= term_.cols()) return std::nullopt;
    std::optional<MatchCursor> matches;
    if (search_) matches.emplace(*search_, kestrum::vt::Point{line, col});
    FrameCell out;
    fill_cell(out, term_.line(line), cell, resolve(cell.fg()), resolve(cell.bg()), col, line,
              viewport_row, selection, matches ? &*matches : nullptr);
    return out;
}

Frame Terminal::frame() const {
    Frame f;
    f.cols = term_.cols();
    f.rows = term_.rows();
    const auto offset = static_cast<std::int32_t>(term_.display_offset());
    const ColorTable colors(term_, palette_);
    const auto selection = term_.selection_range();
    std::optional<MatchCursor> matches;
    if (search_) matches.emplace(*search_, kestrum::vt::Point{-offset, 0});
    f.cells.reserve(static_cast<std::size_t>(f.cols) * f.rows);
    for (std::uint16_t row = 0; row < f.rows; ++row)
        append_line(f.cells, term_, colors, row - offset, row, selection,
                    matches ? &*matches : nullptr);

    kestrum::vt::RenderableCursor cursor = term_.renderable_cursor();
    const std::int32_t cursor_row = cursor.point.line + offset;
    if (cursor.shape != kestrum::vt::CursorShape::hidden && cursor_row >= 0 &&
        cursor_row < f.rows) {
        f.cursor.visible = true;
        f.cursor.col = static_cast<std::uint16_t>(cursor.point.col);
        f.cursor.row = static_cast<std::uint16_t>(cursor_row);
        f.cursor.x = static_cast<float>(cursor.point.col);
        f.cursor.color = palette_.colors[entry::cursor];
        f.cursor.shape = static_cast<std::uint8_t>(cursor.shape);
        f.cursor.blinking = term_.cursor_style().blinking;
    }
    f.background = palette_.colors[entry::background];
    f.selection_bg = palette_.colors[entry::selection_bg];
    f.match_bg = palette_.colors[entry::match_bg];
    f.focused_match_bg = palette_.colors[entry::focused_match_bg];
    return f;
}

std::vector<FrameCell> Terminal::overscan_top_row() const {
    std::vector<FrameCell> out;
    const auto offset = static_cast<std::int32_t>(term_.display_offset());
    if (static_cast<std::size_t>(offset) >= term_.history_size()) return out;
    const ColorTable colors(term_, palette_);
    std::optional<MatchCursor> matches;
    if (search_) matches.emplace(*search_, kestrum::vt::Point{-offset - 1, 0});
    out.reserve(term_.cols());
    append_line(out, term_, colors, -offset - 1, 0, term_.selection_range(),
                matches ? &*matches : nullptr);
    return out;
}

}  // namespace kestrum_term
