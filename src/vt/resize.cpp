// Resizing: the primary screen and its history are reflowed to the new width,
// the alternate screen is cut or padded.
#include <algorithm>

#include "vt/terminal.hpp"
#include "vt/width.hpp"

namespace kestrum::vt {

namespace {

bool is_blank_row(const Row& row, int cols) {
    if (row.wrapped || row.has_zerowidth()) return false;
    for (int x = 0; x < cols; ++x) {
        if (!row[x].is_default_blank()) return false;
    }
    return true;
}

// Re-wraps every logical line of `old` (rows of width old_cols) to `cols`.
// The cursor (index into old, column) is carried to its new place.
// `screen_top` (the old screen's first line) is carried the same way.
std::vector<Row> rewrap(std::vector<Row>& old, int old_cols, int cols, std::size_t& cursor_line,
                        int& cursor_col, bool& pending_wrap, std::size_t& screen_top) {
    std::size_t new_screen_top = 0;
    std::vector<Row> out;
    out.reserve(old.size());
    Row row(static_cast<std::uint16_t>(cols), Cell{});
    int col = 0;
    std::size_t new_cursor_line = 0;
    int new_cursor_col = -1;

    auto emit = [&](const Row& src, int x) {
        Cell cell = src[x];
        // A wide character kept narrow on a one-column screen regains its width.
        int w = cell.has(flag::wide) || char_width(cell.ch) == 2 ? 2 : 1;
        if (w == 2 && cols < 2) {
            cell.set_width_kind(0);
            w = 1;
        } else if (w == 2) {
            cell.set_width_kind(flag::wide);
        }
        if (col + w > cols) {
            if (col < cols) {
                Cell lead;
                lead.set_width_kind(flag::leading_spacer);
                row[col] = lead;
            }
            row.wrapped = true;
            out.push_back(std::move(row));
            row = Row(static_cast<std::uint16_t>(cols), Cell{});
            col = 0;
        }
        row[col] = cell;
        row.copy_zerowidth(src, static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(col));
        if (w == 2) {
            Cell spacer = cell;
            spacer.ch = U' ';
            spacer.set_width_kind(flag::wide_spacer);
            row[col + 1] = spacer;
        }
        col += w;
    };
    auto place_cursor = [&] {
        new_cursor_line = out.size();
        new_cursor_col = col;
    };

    std::size_t i = 0;
    while (i < old.size()) {
        // One logical line: rows [i, j].
        std::size_t j = i;
        while (j + 1 < old.size() && old[j].wrapped)
            ++j;
        // Trailing default blanks of the logical line are not content.
        std::size_t last_row = j;
        int last_len = old_cols;
        while (true) {
            while (last_len > 0 && old[last_row][last_len - 1].is_default_blank() &&
                   old[last_row].zerowidth(static_cast<std::uint16_t>(last_len - 1)).empty())
                --last_len;
            if (last_len > 0 || last_row == i) break;
            --last_row;
            last_len = old_cols;
        }
        for (std::size_t r = i; r <= j; ++r) {
            const Row& src = old[r];
            const bool has_cursor = r == cursor_line;
            if (r == screen_top) new_screen_top = out.size();
            int limit = r < last_row ? old_cols : r == last_row ? last_len : 0;
            // Blanks between the text and the cursor belong to the line.
            if (has_cursor) limit = std::min(std::max(limit, cursor_col), old_cols);
            for (int x = 0; x < limit; ++x) {
                if (has_cursor && x == cursor_col) place_cursor();
                if (src[x].has(flag::wide_spacer) || src[x].has(flag::leading_spacer)) continue;
                emit(src, x);
            }
            if (has_cursor && cursor_col >= limit) place_cursor();
        }
        row.wrapped = false;
        out.push_back(std::move(row));
        row = Row(static_cast<std::uint16_t>(cols), Cell{});
        col = 0;
        i = j + 1;
    }
    // A cursor past the last column of its row waits to wrap.
    cursor_line = new_cursor_line;
    screen_top = new_screen_top;
    pending_wrap = new_cursor_col >= cols;
    cursor_col = std::clamp(new_cursor_col, 0, cols - 1);
    return out;
}

}  // namespace

void Terminal::resize(std::uint16_t cols, std::uint16_t rows) {
    cols = std::max<std::uint16_t>(cols, 1);
    rows = std::max<std::uint16_t>(rows, 1);
    if (cols == this->cols() && rows == this->rows()) return;
    selection.reset();
    const std::size_t offset = primary_.display_offset();
    resize_primary(cols, rows);
    primary_.set_display_offset(offset);
    resize_alt(cols, rows);
    top_ = 0;
    bottom_ = rows;
    std::vector<bool> tabs(cols, false);
    for (std::size_t x = 0; x < cols; ++x)
        tabs[x] = x < tabs_.size() ? tabs_[x] : x % 8 == 0;
    tabs_ = std::move(tabs);
    for (SavedCursor* s : {&saved_primary_, &saved_alt_}) {
        s->x = std::min<int>(s->x, cols - 1);
        s->y = std::min<int>(s->y, rows - 1);
    }
}

void Terminal::resize_primary(std::uint16_t cols, std::uint16_t rows) {
    const bool shown = grid_ == &primary_;
    int cx = shown ? cur_.x : saved_primary_.x;
    int cy = shown ? cur_.y : saved_primary_.y;
    bool pending = shown ? cur_.pending_wrap : saved_primary_.pending_wrap;
    const int old_cols = primary_.cols();
    const std::size_t history = primary_.history_size();
    std::vector<Row> lines = primary_.take_lines();
    std::size_t c = history + static_cast<std::size_t>(cy);
    std::size_t screen_top = history;
    if (cols != old_cols) {
        // A pending wrap means the cursor is logically past the last column.
        int col = pending ? cx + 1 : cx;
        lines = rewrap(lines, old_cols, cols, c, col, pending, screen_top);
        cx = col;
    } else {
        cx = std::min<int>(cx, cols - 1);
    }
    // Blank lines under the cursor are not content worth keeping.
    while (lines.size() > c + 1 && is_blank_row(lines.back(), cols))
        lines.pop_back();
    // The cursor keeps its row, or moves down by the lines that rewrapping added
    // above it, as far as the lines below it allow. Lines that re-joined make
    // room that history lines fill again, so a round trip restores the screen.
    const std::size_t after = lines.size() - 1 - c;
    std::size_t r =
        std::max<std::size_t>(static_cast<std::size_t>(cy), c >= screen_top ? c - screen_top : 0);
    r = std::min(r, c);
    r = std::min(r, after >= rows ? 0 : rows - 1u - after);
    const std::size_t top = c - r;
    if (lines.size() > top + rows) lines.resize(top + rows);
    while (lines.size() < top + rows)
        lines.emplace_back(cols, Cell{});
    primary_.set_lines(std::move(lines), cols, rows);
    cy = static_cast<int>(r);
    if (shown) {
        cur_.x = cx;
        cur_.y = cy;
        cur_.pending_wrap = pending;
    } else {
        saved_primary_.x = cx;
        saved_primary_.y = cy;
        saved_primary_.pending_wrap = pending;
    }
}

void Terminal::resize_alt(std::uint16_t cols, std::uint16_t rows) {
    const bool shown = grid_ == &alt_;
    const int old_cols = alt_.cols();
    std::vector<Row> lines = alt_.take_lines();
    int cy = shown ? cur_.y : 0;
    // Keep the cursor's line: lines above it give way first.
    const int drop = std::max(0, cy - (rows - 1));
    lines.erase(lines.begin(), lines.begin() + drop);
    if (static_cast<int>(lines.size()) > rows) lines.resize(rows);
    if (cols != old_cols) {
        for (Row& old : lines) {
            Row row(cols, Cell{});
            const int n = std::min<int>(cols, old_cols);
            std::copy_n(old.cells(), n, row.cells());
            for (int x = 0; x < n; ++x) {
                row.copy_zerowidth(old, static_cast<std::uint16_t>(x),
                                   static_cast<std::uint16_t>(x));
            }
            if (row[cols - 1].has(flag::wide)) {
                row.drop_zerowidth(static_cast<std::uint16_t>(cols - 1), cols);
                row[cols - 1] = Cell{};
            }
            row.wrapped = old.wrapped && cols == old_cols;
            old = std::move(row);
        }
    }
    alt_.set_lines(std::move(lines), cols, rows);
    if (shown) {
        cur_.y = cy - drop;
        cur_.x = std::min<int>(cur_.x, cols - 1);
        cur_.pending_wrap = cur_.pending_wrap && cur_.x == cols - 1;
    }
}

}  // namespace kestrum::vt
