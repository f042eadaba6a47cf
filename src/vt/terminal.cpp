// Printing, controls and the screen operations of the terminal.
#include "vt/terminal.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "vt/charset.hpp"
#include "vt/utf8.hpp"
#include "vt/width.hpp"

namespace kestrum::vt {

Terminal::Terminal(const TerminalConfig& config, Listener* listener)
    : listener_(listener),
      config_(config),
      default_cursor_(config.default_cursor),
      primary_(config.cols, config.rows, config.scrollback),
      alt_(config.cols, config.rows, 0),
      grid_(&primary_) {
    word_separators_ = decode_utf8(config.word_separators);
    bottom_ = rows();
    reset_tabs();
    modes_.set(static_cast<std::size_t>(Mode::show_cursor));
    modes_.set(static_cast<std::size_t>(Mode::autowrap));
    modes_.set(static_cast<std::size_t>(Mode::alternate_scroll));
    modes_.set(static_cast<std::size_t>(Mode::urgency_hints));
}

void Terminal::send(Event event) {
    if (listener_) listener_->send_event(std::move(event));
}

Cell Terminal::blank() const {
    Cell c;
    c.set_bg(cur_.tmpl.bg());
    return c;
}

void Terminal::reset_tabs() {
    tabs_.assign(cols(), false);
    for (std::size_t x = 8; x < tabs_.size(); x += 8)
        tabs_[x] = true;
}

bool Terminal::is_word_separator(char32_t c) const {
    return std::find(word_separators_.begin(), word_separators_.end(), c) != word_separators_.end();
}

// --- Printing ------------------------------------------------------------------

// Called before cells in [from, to) of `row` are replaced: a wide character cut
// in half at either edge loses its other half, so no spacer is left orphaned.
void Terminal::fix_wide_edges(Row& row, int from, int to) {
    const Row& r = row;
    if (from > 0 && from < cols() && r[from].has(flag::wide_spacer)) {
        row[from - 1].ch = U' ';
        row[from - 1].set_width_kind(0);
    }
    if (to > 0 && to < cols() && r[to - 1].has(flag::wide)) {
        row[to].ch = U' ';
        row[to].set_width_kind(0);
    }
}

void Terminal::selection_touched(int y0, int y1) {
    if (!selection) return;
    auto range = selection->to_range(*this);
    if (!range || (range->end.line >= y0 && range->start.line <= y1)) selection.reset();
}

// Moves cells from column x on right by n (n <= cols - x) and blanks the
// columns [x, x + n) they left.
void Terminal::shift_right(Row& row, int x, int n) {
    const int cols = this->cols();
    Cell* c = row.cells();
    if (x > 0 && c[x].has(flag::wide_spacer)) {
        row.drop_zerowidth(static_cast<std::uint16_t>(x - 1), static_cast<std::uint16_t>(x));
        c[x - 1] = blank();
        c[x] = blank();
    }
    // A wide character pushed half out of the line loses both halves.
    if (cols - n - 1 >= x && c[cols - n - 1].has(flag::wide)) {
        row.drop_zerowidth(static_cast<std::uint16_t>(cols - n - 1),
                           static_cast<std::uint16_t>(cols - n));
        c[cols - n - 1] = blank();
    }
    std::copy_backward(c + x, c + cols - n, c + cols);
    row.shift_zerowidth(static_cast<std::uint16_t>(x), n, static_cast<std::uint16_t>(cols));
    fill_cells(c + x, static_cast<std::size_t>(n), blank());
}

void Terminal::put_cells(Row& row, int x, const Cell* cells, int n) {
    fix_wide_edges(row, x, x + n);
    if (row.has_zerowidth()) row.drop_zerowidth(x, x + n);
    Cell* dst = row.write(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(x + n));
    for (int i = 0; i < n; ++i)
        dst[i] = cells[i];  // one or two cells: no memmove call
}

void Terminal::wrap_line() {
    cursor_row().wrapped = true;
    cur_.x = 0;
    cur_.pending_wrap = false;
    index();
}

void Terminal::print_ascii(const std::uint8_t* s, std::size_t n) {
    const int cols = this->cols();
    if (selection) selection_touched(cur_.y, cur_.y + static_cast<int>(n / cols) + 1);
    if (cur_.charsets[cur_.active_charset] != Charset::ascii || mode(Mode::insert)) {
        for (std::size_t i = 0; i < n; ++i)
            print_char(s[i]);
        return;
    }
    const bool autowrap = mode(Mode::autowrap);
    static_assert(offsetof(Cell, fg_bytes) == sizeof(char32_t) &&
                  sizeof(Cell) == sizeof(char32_t) + sizeof(std::uint64_t));
    std::uint64_t attrs;
    std::memcpy(&attrs, reinterpret_cast<const unsigned char*>(&cur_.tmpl) + sizeof(char32_t),
                sizeof attrs);
    while (n > 0) {
        if (cur_.pending_wrap) wrap_line();
        Row& row = cursor_row();
        const int x = cur_.x;
        const int k =
            static_cast<int>(std::min<std::size_t>(n, static_cast<std::size_t>(cols - x)));
        fix_wide_edges(row, x, x + k);
        if (row.has_zerowidth()) row.drop_zerowidth(x, x + k);
        Cell* c = row.write(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(x + k));
        // Two plain stores per cell: the character, then the eight bytes of
        // colours and attributes (going through a Cell temporary makes the
        // compiler reload what it just stored, which stalls).
        for (int i = 0; i < k; ++i) {
            auto* p = reinterpret_cast<unsigned char*>(c + i);
            const char32_t ch = s[i];
            std::memcpy(p, &ch, sizeof ch);
            std::memcpy(p + sizeof ch, &attrs, sizeof attrs);
        }
        s += k;
        n -= k;
        if (x + k >= cols) {
            cur_.x = cols - 1;
            cur_.pending_wrap = autowrap;
        } else {
            cur_.x = x + k;
        }
        last_char_ = s[-1];
    }
}

void Terminal::print(const char32_t* s, std::size_t n) {
    if (selection) selection_touched(cur_.y, cur_.y + static_cast<int>(n / cols()) + 1);
    for (std::size_t i = 0; i < n; ++i)
        print_char(s[i]);
}

void Terminal::attach_zerowidth(char32_t c) {
    int x = cur_.x;
    if (!cur_.pending_wrap && x > 0) --x;
    Row& row = cursor_row();
    if (row[x].has(flag::wide_spacer) && x > 0) --x;
    row.add_zerowidth(static_cast<std::uint16_t>(x), c);
}

void Terminal::print_char(char32_t c) {
    if (cur_.charsets[cur_.active_charset] == Charset::dec_graphics) c = dec_graphics(c);
    const int char_w = char_width(c);
    if (char_w == 0) {
        attach_zerowidth(c);
        return;
    }
    const int cols = this->cols();
    // A one-column screen keeps the character as a narrow cell rather than lose it.
    const int width = cols < 2 ? 1 : char_w;
    const bool autowrap = mode(Mode::autowrap);
    if (cur_.pending_wrap) wrap_line();
    if (cur_.x + width > cols) {
        if (autowrap) {
            // The wide character moves to the next line; the column it could not
            // use is marked so text extraction and reflow skip it.
            Cell lead = blank();
            lead.set_width_kind(flag::leading_spacer);
            put_cells(cursor_row(), cur_.x, &lead, 1);
            wrap_line();
        } else {
            cur_.x = cols - width;
        }
    }
    Row& row = cursor_row();
    if (mode(Mode::insert)) {
        shift_right(row, cur_.x, width);
    }
    Cell cell[2] = {cur_.tmpl, cur_.tmpl};
    cell[0].ch = c;
    if (width == 2) {
        cell[0].set_width_kind(flag::wide);
        cell[1].ch = U' ';
        cell[1].set_width_kind(flag::wide_spacer);
    }
    put_cells(row, cur_.x, cell, width);
    last_char_ = c;
    if (cur_.x + width >= cols) {
        cur_.x = cols - 1;
        cur_.pending_wrap = autowrap;
    } else {
        cur_.x += width;
    }
}

void Terminal::repeat_last(int n) {
    if (last_char_ == 0) return;
    // Bounded by what the screen can show: more repeats only overwrite.
    n = std::min(n, cols() * rows());
    for (int i = 0; i < n; ++i)
        print_char(last_char_);
}

// --- Controls --------------------------------------------------------------------

void Terminal::execute(std::uint8_t c) {
    switch (c) {
        case 0x07:
            send(event::Bell{});
            break;
        case 0x08:
            backspace();
            break;
        case 0x09:
            tab_forward(1);
            break;
        case 0x0a:
        case 0x0b:
        case 0x0c:
            linefeed();
            break;
        case 0x0d:
            carriage_return();
            break;
        case 0x0e:
            cur_.active_charset = 1;  // SO
            break;
        case 0x0f:
            cur_.active_charset = 0;  // SI
            break;
        case 0x84:
            index();
            break;
        case 0x85:
            next_line();
            break;
        case 0x88:
            set_tab_stop();
            break;
        case 0x8d:
            reverse_index();
            break;
        case 0x9a:
            reply("\x1b[?6c");
            break;
        default:
            break;
    }
}

void Terminal::carriage_return() {
    cur_.x = 0;
    cur_.pending_wrap = false;
}

void Terminal::backspace() {
    if (cur_.x > 0) {
        --cur_.x;
        cur_.pending_wrap = false;
    }
}

void Terminal::linefeed() {
    index();
    if (mode(Mode::linefeed_newline)) carriage_return();
}

void Terminal::index() {
    cur_.pending_wrap = false;
    if (cur_.y == bottom_ - 1) {
        scroll_up(1);
    } else if (cur_.y < rows() - 1) {
        ++cur_.y;
    }
}

void Terminal::reverse_index() {
    cur_.pending_wrap = false;
    if (cur_.y == top_) {
        scroll_down(1);
    } else if (cur_.y > 0) {
        --cur_.y;
    }
}

void Terminal::next_line() {
    index();
    carriage_return();
}

void Terminal::tab_forward(int n) {
    const int last = cols() - 1;
    while (n-- > 0 && cur_.x < last) {
        do {
            ++cur_.x;
        } while (cur_.x < last && !tabs_[cur_.x]);
        cur_.pending_wrap = false;
    }
}

void Terminal::tab_backward(int n) {
    while (n-- > 0 && cur_.x > 0) {
        do {
            --cur_.x;
        } while (cur_.x > 0 && !tabs_[cur_.x]);
    }
    cur_.pending_wrap = false;
}

void Terminal::set_tab_stop() {
    tabs_[cur_.x] = true;
}

void Terminal::clear_tab_stops(int mode) {
    if (mode == 0) {
        tabs_[cur_.x] = false;
    } else if (mode == 3) {
        std::fill(tabs_.begin(), tabs_.end(), false);
    }
}

// --- Cursor movement ---------------------------------------------------------------

void Terminal::move_cursor_to(int x, int y) {
    cur_.x = std::clamp(x, 0, cols() - 1);
    cur_.y = std::clamp(y, 0, rows() - 1);
    cur_.pending_wrap = false;
}

void Terminal::goto_origin_relative(int x, int y) {
    if (mode(Mode::origin)) {
        cur_.x = std::clamp(x, 0, cols() - 1);
        cur_.y = std::clamp(y + top_, top_, bottom_ - 1);
        cur_.pending_wrap = false;
    } else {
        move_cursor_to(x, y);
    }
}

void Terminal::cursor_up(int n) {
    const int limit = cur_.y >= top_ ? top_ : 0;
    cur_.y = std::max(cur_.y - n, limit);
    cur_.pending_wrap = false;
}

void Terminal::cursor_down(int n) {
    const int limit = cur_.y < bottom_ ? bottom_ - 1 : rows() - 1;
    cur_.y = std::min(cur_.y + n, limit);
    cur_.pending_wrap = false;
}

// --- Erasing and editing -------------------------------------------------------------

void Terminal::erase_cells(Row& row, int from, int to) {
    from = std::clamp(from, 0, static_cast<int>(cols()));
    to = std::clamp(to, from, static_cast<int>(cols()));
    if (from == to) return;
    fix_wide_edges(row, from, to);
    if (row.has_zerowidth()) row.drop_zerowidth(from, to);
    const Cell b = blank();
    if (b.is_default_blank() && from >= row.used()) {
        // Already blank.
    } else {
        Cell* c = row.write(static_cast<std::uint16_t>(from), static_cast<std::uint16_t>(to));
        fill_cells(c, static_cast<std::size_t>(to - from), b);
    }
    if (to == cols()) row.wrapped = false;
}

void Terminal::erase_display(int mode) {
    switch (mode) {
        case 0:
            erase_cells(cursor_row(), cur_.x, cols());
            for (int y = cur_.y + 1; y < rows(); ++y)
                grid_->screen(y).reset(cols(), blank());
            selection_touched(cur_.y, rows() - 1);
            break;
        case 1:
            for (int y = 0; y < cur_.y; ++y)
                grid_->screen(y).reset(cols(), blank());
            erase_cells(cursor_row(), 0, cur_.x + 1);
            selection_touched(0, cur_.y);
            break;
        case 2:
            for (int y = 0; y < rows(); ++y)
                grid_->screen(y).reset(cols(), blank());
            selection_touched(0, rows() - 1);
            break;
        case 3:
            clear_history();
            break;
        default:
            break;
    }
}

void Terminal::erase_line(int mode) {
    switch (mode) {
        case 0:
            erase_cells(cursor_row(), cur_.x, cols());
            break;
        case 1:
            erase_cells(cursor_row(), 0, cur_.x + 1);
            break;
        case 2:
            erase_cells(cursor_row(), 0, cols());
            break;
        default:
            return;
    }
    selection_touched(cur_.y, cur_.y);
}

void Terminal::erase_chars(int n) {
    erase_cells(cursor_row(), cur_.x, cur_.x + n);
    cur_.pending_wrap = false;
    selection_touched(cur_.y, cur_.y);
}

void Terminal::insert_chars(int n) {
    const int cols = this->cols();
    n = std::min(n, cols - cur_.x);
    Row& row = cursor_row();
    shift_right(row, cur_.x, n);
    cur_.pending_wrap = false;
    selection_touched(cur_.y, cur_.y);
}

void Terminal::delete_chars(int n) {
    const int cols = this->cols();
    n = std::min(n, cols - cur_.x);
    Row& row = cursor_row();
    Cell* c = row.cells();
    const int x = cur_.x;
    fix_wide_edges(row, x, x + n);
    if (row.has_zerowidth()) row.drop_zerowidth(x, x + n);
    std::copy(c + x + n, c + cols, c + x);
    row.shift_zerowidth(static_cast<std::uint16_t>(x + n), -n, static_cast<std::uint16_t>(cols));
    fill_cells(c + cols - n, static_cast<std::size_t>(n), blank());
    cur_.pending_wrap = false;
    selection_touched(cur_.y, cur_.y);
}

void Terminal::insert_lines(int n) {
    if (cur_.y < top_ || cur_.y >= bottom_) return;
    grid_->scroll_down(cur_.y, bottom_, n, blank());
    selection_touched(cur_.y, bottom_ - 1);
    carriage_return();
}

void Terminal::delete_lines(int n) {
    if (cur_.y < top_ || cur_.y >= bottom_) return;
    grid_->scroll_up(cur_.y, bottom_, n, blank());
    selection_touched(cur_.y, bottom_ - 1);
    carriage_return();
}

// Keeps the selection on its text after lines [top, bottom) moved up by n.
void Terminal::after_scroll(int top, int bottom, int n) {
    if (!selection) return;
    if (top == 0 && bottom == rows()) {
        if (!selection->rotate(n, top_line(), bottom_line())) selection.reset();
    } else {
        selection_touched(top, bottom - 1);
    }
}

void Terminal::scroll_up(int n) {
    grid_->scroll_up(top_, bottom_, n, blank());
    after_scroll(top_, bottom_, n);
}

void Terminal::scroll_down(int n) {
    grid_->scroll_down(top_, bottom_, n, blank());
    if (selection) selection_touched(top_, bottom_ - 1);
}

void Terminal::set_scroll_region(int top, int bottom) {
    const int t = top == 0 ? 0 : top - 1;
    const int b = bottom == 0 ? rows() : std::min<int>(bottom, rows());
    if (t >= b - 1) return;  // a region needs two lines
    top_ = t;
    bottom_ = b;
    goto_origin_relative(0, 0);
}

// --- Saved cursor, resets -------------------------------------------------------------

void Terminal::save_cursor() {
    SavedCursor& s = grid_ == &primary_ ? saved_primary_ : saved_alt_;
    s.x = cur_.x;
    s.y = cur_.y;
    s.tmpl = cur_.tmpl;
    s.pending_wrap = cur_.pending_wrap;
    s.origin = mode(Mode::origin);
    s.charsets = cur_.charsets;
    s.active_charset = cur_.active_charset;
}

void Terminal::restore_cursor() {
    const SavedCursor& s = grid_ == &primary_ ? saved_primary_ : saved_alt_;
    cur_.tmpl = s.tmpl;
    cur_.charsets = s.charsets;
    cur_.active_charset = s.active_charset;
    modes_.set(static_cast<std::size_t>(Mode::origin), s.origin);
    move_cursor_to(s.x, s.y);
    cur_.pending_wrap = s.pending_wrap && cur_.x == cols() - 1;
}

void Terminal::screen_alignment() {
    top_ = 0;
    bottom_ = rows();
    Cell e;
    e.ch = U'E';
    for (int y = 0; y < rows(); ++y) {
        Row& row = grid_->screen(y);
        row.reset(cols(), e);
    }
    selection_touched(0, rows() - 1);
    move_cursor_to(0, 0);
}

void Terminal::soft_reset() {
    modes_.set(static_cast<std::size_t>(Mode::show_cursor));
    modes_.reset(static_cast<std::size_t>(Mode::insert));
    modes_.reset(static_cast<std::size_t>(Mode::origin));
    modes_.set(static_cast<std::size_t>(Mode::autowrap));
    modes_.reset(static_cast<std::size_t>(Mode::app_cursor));
    modes_.reset(static_cast<std::size_t>(Mode::app_keypad));
    top_ = 0;
    bottom_ = rows();
    cur_.tmpl = Cell{};
    cur_.charsets = {};
    cur_.active_charset = 0;
    cur_.pending_wrap = false;
    saved_primary_ = SavedCursor{};
    saved_alt_ = SavedCursor{};
}

void Terminal::full_reset() {
    if (alt_screen()) grid_ = &primary_;
    primary_.clear_history();
    for (Grid* g : {&primary_, &alt_}) {
        for (int y = 0; y < g->rows(); ++y)
            g->screen(y).reset(g->cols(), Cell{});
    }
    cur_ = CursorState{};
    saved_primary_ = SavedCursor{};
    saved_alt_ = SavedCursor{};
    top_ = 0;
    bottom_ = rows();
    reset_tabs();
    modes_.reset();
    modes_.set(static_cast<std::size_t>(Mode::show_cursor));
    modes_.set(static_cast<std::size_t>(Mode::autowrap));
    modes_.set(static_cast<std::size_t>(Mode::alternate_scroll));
    modes_.set(static_cast<std::size_t>(Mode::urgency_hints));
    if (cursor_style_) send(event::CursorBlinkingChange{});
    cursor_style_.reset();
    colors_ = {};
    last_char_ = 0;
    selection.reset();
    title_stack_.clear();
    set_title(std::nullopt);
}

// --- Alternate screen ---------------------------------------------------------------------

void Terminal::enter_alt_screen(bool save, bool clear) {
    if (alt_screen()) return;
    if (save) save_cursor();
    grid_ = &alt_;
    if (clear) {
        for (int y = 0; y < rows(); ++y)
            alt_.screen(y).reset(cols(), blank());
    }
    selection.reset();
}

void Terminal::leave_alt_screen(bool restore, bool clear) {
    if (!alt_screen()) return;
    if (clear) {
        for (int y = 0; y < rows(); ++y)
            alt_.screen(y).reset(cols(), blank());
    }
    grid_ = &primary_;
    if (restore) restore_cursor();
    selection.reset();
}

// --- View ----------------------------------------------------------------------------------

void Terminal::scroll_display(std::int32_t delta) {
    std::int64_t offset = static_cast<std::int64_t>(display_offset()) + delta;
    grid_->set_display_offset(static_cast<std::size_t>(std::max<std::int64_t>(offset, 0)));
}

void Terminal::scroll_to_line(std::int32_t line) {
    const std::int64_t offset = static_cast<std::int64_t>(display_offset());
    const std::int64_t top = -offset;  // grid line at viewport row 0
    const std::int64_t bottom = top + rows() - 1;
    if (line < top) {
        grid_->set_display_offset(static_cast<std::size_t>(-static_cast<std::int64_t>(line)));
    } else if (line > bottom) {
        std::int64_t o = static_cast<std::int64_t>(rows()) - 1 - line;
        grid_->set_display_offset(static_cast<std::size_t>(std::max<std::int64_t>(o, 0)));
    }
}

void Terminal::clear_history() {
    if (selection) {
        auto range = selection->to_range(*this);
        if (!range || range->start.line < 0) selection.reset();
    }
    primary_.clear_history();
}

RenderableCursor Terminal::renderable_cursor() const {
    Point p{cur_.y, static_cast<std::uint32_t>(cur_.x)};
    if (p.col > 0 && cell(p).has(flag::wide_spacer)) --p.col;
    CursorStyle style = cursor_style();
    CursorShape shape = mode(Mode::show_cursor) ? style.shape : CursorShape::hidden;
    return {p, shape, style.blinking, cur_.pending_wrap};
}

std::int32_t Terminal::logical_line_start(std::int32_t line) const {
    while (line > top_line() && this->line(line - 1).wrapped)
        --line;
    return line;
}

std::int32_t Terminal::logical_line_end(std::int32_t line) const {
    while (line < bottom_line() && this->line(line).wrapped)
        ++line;
    return line;
}

}  // namespace kestrum::vt
