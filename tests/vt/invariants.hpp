// Structural invariants of a terminal that no input may break; shared by the
// random-input test and the fuzz target. Returns the first violation found.
#pragma once

#include <fmt/format.h>

#include <string>

#include "vt/terminal.hpp"

namespace kestrum::vt::testing {

inline std::string check_invariants(const Terminal& term) {
    const auto cursor = term.renderable_cursor();
    if (cursor.point.line < 0 || cursor.point.line >= term.rows() ||
        cursor.point.col >= term.cols())
        return fmt::format("cursor {}:{} outside {}x{}", cursor.point.line, cursor.point.col,
                           term.cols(), term.rows());
    if (term.history_size() > term.scrollback_limit())
        return fmt::format("history {} over its limit {}", term.history_size(),
                           term.scrollback_limit());
    if (term.display_offset() > term.history_size())
        return fmt::format("display offset {} beyond history {}", term.display_offset(),
                           term.history_size());
    for (std::int32_t l = term.top_line(); l <= term.bottom_line(); ++l) {
        const Row& row = term.line(l);
        for (std::uint32_t x = 0; x < term.cols(); ++x) {
            const Cell& c = row[x];
            if (c.has(flag::wide) && (x + 1 >= term.cols() || !row[x + 1].has(flag::wide_spacer)))
                return fmt::format("wide character at {}:{} without its spacer", l, x);
            if (c.has(flag::wide_spacer) && (x == 0 || !row[x - 1].has(flag::wide)))
                return fmt::format("spacer at {}:{} without its wide character", l, x);
            if (x >= row.used() && !c.is_default_blank())
                return fmt::format("cell at {}:{} past the row's used part is not blank", l, x);
            if (row.zerowidth(static_cast<std::uint16_t>(x)).size() > max_zerowidth_per_cell)
                return fmt::format("too many zero-width characters at {}:{}", l, x);
        }
    }
    if (auto range = term.selection_range()) {
        if (range->end < range->start) return "selection range ends before it starts";
    }
    return {};
}

}  // namespace kestrum::vt::testing
