// The render snapshot: viewport cells with resolved colours, highlighting and cursor.
#include <algorithm>

#include "term/terminal.hpp"

namespace kestrum_term {

namespace {

// A match contains a point, or for a wide cell the point of its right half.
bool covers(const kestrum::vt::Match& m, kestrum::vt::Point p) {
    return m.start <= p && p <= m.end;
}

MatchState match_state(const Search& search, kestrum::vt::Point p, bool wide) {
    kestrum::vt::Point right{p.line, p.col + 1};
    auto hit = [&](const kestrum::vt::Match& m) {
        return covers(m, p) || (wide && covers(m, right));
    };
    if (search.focused && hit(*search.focused)) return MatchState::Focused;
    // The first match whose end is not before the point; visible is sorted by start
    // and matches do not overlap, so ends are sorted too.
    const auto& v = search.visible;
    auto it = std::lower_bound(
        v.begin(), v.end(), p,
        [](const kestrum::vt::Match& m, kestrum::vt::Point q) { return m.end < q; });
    if (it != v.end() && hit(*it)) return MatchState::Match;
    // A wide cell whose left half lies before the match may still touch it.
    if (wide) {
        auto it2 = std::lower_bound(
            v.begin(), v.end(), right,
            [](const kestrum::vt::Match& m, kestrum::vt::Point q) { return m.end < q; });
        if (it2 != v.end() && hit(*it2)) return MatchState::Match;
    }
    return MatchState::None;
}

}  // namespace

Rgb Terminal::resolve(kestrum::vt::Color color) const {
    if (color.kind == kestrum::vt::Color::Kind::rgb) return color.rgb();
    std::uint16_t index = color.index();
    const auto& overrides = term_.color_overrides();
    if (index < overrides.size() && overrides[index]) return *overrides[index];
    return palette_.color_at_index(index);
}

std::optional<FrameCell> Terminal::resolve_cell(
    const kestrum::vt::Cell& cell, std::uint32_t col, std::int32_t line, std::uint16_t viewport_row,
    const std::optional<kestrum::vt::SelectionRange>& selection) const {
    if (cell.is_spacer() || col >= term_.cols()) return std::nullopt;
    FrameCell out;
    out.fg = resolve(cell.fg());
    out.bg = resolve(cell.bg());
    if (cell.has(kestrum::vt::flag::inverse)) std::swap(out.fg, out.bg);
    if (cell.has(kestrum::vt::flag::dim)) out.fg = dim(out.fg);
    const bool hidden = cell.has(kestrum::vt::flag::hidden);
    out.c = hidden ? U' ' : cell.ch;
    if (!hidden) {
        // Rows without combining marks answer from a null side table at once.
        auto zw = term_.zerowidth({line, col});
        out.zerowidth.assign(zw.begin(), zw.end());
    }
    out.col = static_cast<std::uint16_t>(col);
    out.row = viewport_row;
    out.wide = cell.has(kestrum::vt::flag::wide);
    const kestrum::vt::Point p{line, col};
    if (selection)
        out.selected = selection->contains(p) || (out.wide && selection->contains({line, col + 1}));
    if (search_) out.search = match_state(*search_, p, out.wide);
    out.bold = cell.has(kestrum::vt::flag::bold);
    out.italic = cell.has(kestrum::vt::flag::italic);
    out.strikeout = cell.has(kestrum::vt::flag::strikeout);
    out.underline = cell.underline() != kestrum::vt::Underline::none;
    return out;
}

Frame Terminal::frame() const {
    Frame f;
    f.cols = term_.cols();
    f.rows = term_.rows();
    const auto offset = static_cast<std::int32_t>(term_.display_offset());
    const auto selection = term_.selection_range();
    f.cells.reserve(static_cast<std::size_t>(f.cols) * f.rows);
    for (std::uint16_t row = 0; row < f.rows; ++row) {
        const std::int32_t line = row - offset;
        const kestrum::vt::Row& cells = term_.line(line);
        for (std::uint32_t col = 0; col < f.cols; ++col) {
            if (auto cell = resolve_cell(cells[col], col, line, row, selection))
                f.cells.push_back(std::move(*cell));
        }
    }
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
    const std::int32_t line = -offset - 1;
    const auto selection = term_.selection_range();
    const kestrum::vt::Row& cells = term_.line(line);
    out.reserve(term_.cols());
    for (std::uint32_t col = 0; col < term_.cols(); ++col) {
        if (auto cell = resolve_cell(cells[col], col, line, 0, selection))
            out.push_back(std::move(*cell));
    }
    return out;
}

}  // namespace kestrum_term
