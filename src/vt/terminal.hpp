// The terminal engine's state: screens, cursor, modes, colour overrides,
// selection. It is the parser's handler; the Processor feeds it bytes.
//
// Typical use by an owner:
//   Terminal term(config, &listener);   // listener gets replies, titles, bell
//   Processor processor;                 // parser state, synchronized updates
//   processor.advance(term, bytes);      // any split of the output is fine
//   for (l = -display_offset(); l < rows() - display_offset(); ++l)
//       draw term.line(l) (cells, zero-width side table, wrapped flag)
// Replies arrive at the listener during advance(), one PtyWrite per reply.
// Nothing here is synchronised: the owner serialises all calls.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/rgb.hpp"
#include "vt/cell.hpp"
#include "vt/event.hpp"
#include "vt/grid.hpp"
#include "vt/modes.hpp"
#include "vt/parser.hpp"
#include "vt/point.hpp"
#include "vt/selection.hpp"

namespace kestrum::vt {

enum class CursorShape : std::uint8_t { block, underline, beam, hollow_block, hidden };

struct CursorStyle {
    CursorShape shape = CursorShape::block;
    bool blinking = false;
    friend bool operator==(CursorStyle, CursorStyle) = default;
};

enum class ClipboardPolicy : std::uint8_t { disabled, write_only, read_write };

struct TerminalConfig {
    std::uint16_t cols = 80;  // values below 1 are raised to 1
    std::uint16_t rows = 24;
    std::size_t scrollback = 10'000;  // history limit in lines, at most 1,000,000
    CursorStyle default_cursor;
    // Characters that end a word for word selection (UTF-8).
    std::string word_separators = ",\u2502`|:\"' ()[]{}<>\t";
    // The progressive keyboard protocol. It is not implemented: with either
    // value its queries get no reply and its push and pop requests do nothing.
    bool progressive_keyboard = false;
    // OSC 52: writes are reported as ClipboardStore unless disabled; reads are
    // reported as ClipboardLoad only with read_write. Nothing is ever answered
    // by the engine itself.
    ClipboardPolicy clipboard = ClipboardPolicy::write_only;
};

// The cursor as it is drawn.
struct RenderableCursor {
    Point point;  // moved onto the wide character when it stands on its spacer
    CursorShape shape;
    bool blinking;
    bool pending_wrap;  // in the last column, the next character wraps first
};

using ColorOverrides = std::array<std::optional<core::Rgb>, named::count>;

enum class Charset : std::uint8_t { ascii, dec_graphics };

class Terminal {
  public:
    // `listener` may be null; it must outlive the terminal.
    Terminal(const TerminalConfig& config, Listener* listener);

    // --- Size, storage and the view -------------------------------------------
    std::uint16_t cols() const { return grid_->cols(); }
    std::uint16_t rows() const { return grid_->rows(); }
    // History of the shown screen (the alternate screen has none).
    std::size_t history_size() const { return grid_->history_size(); }
    std::size_t scrollback_limit() const { return primary_.max_history(); }
    std::size_t display_offset() const { return grid_->display_offset(); }
    // Grid line `line` of the shown screen, -history_size() .. rows()-1.
    const Row& line(std::int32_t line) const { return grid_->line(line); }
    const Cell& cell(Point p) const { return grid_->line(p.line)[p.col]; }
    std::span<const char32_t> zerowidth(Point p) const {
        return grid_->line(p.line).zerowidth(static_cast<std::uint16_t>(p.col));
    }
    // The earliest and latest grid lines.
    std::int32_t top_line() const { return -static_cast<std::int32_t>(history_size()); }
    std::int32_t bottom_line() const { return rows() - 1; }

    // Positive deltas scroll back into history; the result is clamped.
    void scroll_display(std::int32_t delta);
    void scroll_to_bottom() { grid_->set_display_offset(0); }
    // Scrolls the least needed so that `line` is shown: a line above the view
    // becomes its top line, a line below it its bottom line.
    void scroll_to_line(std::int32_t line);
    void clear_history();

    // Reflows the primary screen (wrapped lines re-joined and re-wrapped, the
    // cursor kept with its text); the alternate screen is cut or padded.
    // Sizes below 1 are raised to 1; an unchanged size does nothing.
    void resize(std::uint16_t cols, std::uint16_t rows);

    // --- Modes, cursor and colours ---------------------------------------------
    bool mode(Mode m) const { return modes_[static_cast<std::size_t>(m)]; }
    bool alt_screen() const { return grid_ == &alt_; }
    // 1 set, 2 reset, 0 not recognised, as reported by DECRQM.
    int mode_report(std::uint16_t number, bool dec) const;
    RenderableCursor renderable_cursor() const;
    // The application's DECSCUSR style, else the default.
    CursorStyle cursor_style() const { return cursor_style_.value_or(default_cursor_); }
    const ColorOverrides& color_overrides() const { return colors_; }

    // --- Selection and text ----------------------------------------------------
    // Set, moved and cleared by the owner; the engine moves it with scrolled
    // text and clears it when output overwrites it.
    std::optional<Selection> selection;
    std::optional<SelectionRange> selection_range() const;
    std::optional<std::string> selection_text() const;
    // Text of an inclusive range: lines joined by a wrap are joined, others end
    // with a line feed; trailing blanks of a line are dropped; spacers are skipped.
    std::string text(Point start, Point end, bool block = false) const;
    bool is_word_separator(char32_t c) const;
    // Start of the logical line holding `line` (walking up through wrapped lines).
    std::int32_t logical_line_start(std::int32_t line) const;
    std::int32_t logical_line_end(std::int32_t line) const;

    // --- Synchronized updates (read by the Processor) ----------------------------
    // True once after the application began an update (CSI ? 2026 h).
    bool take_sync_begin() { return std::exchange(sync_begin_, false); }

    // --- Parser handler (called by the Processor) -------------------------------
    void print_ascii(const std::uint8_t* s, std::size_t n);
    void print(const char32_t* s, std::size_t n);
    void execute(std::uint8_t c);
    void csi_dispatch(const Csi& csi);
    void esc_dispatch(const std::uint8_t* intermediates, std::size_t n, std::uint8_t final);
    void osc_dispatch(std::span<const std::uint8_t> payload, bool bel_terminated);
    void osc_discarded(std::size_t length);
    bool stop_requested() const { return sync_begin_; }

    // Memory held by both screens and the history.
    std::size_t memory_bytes() const { return primary_.memory_bytes() + alt_.memory_bytes(); }
    // Memory held by the primary screen and its history.
    std::size_t history_memory_bytes() const { return primary_.memory_bytes(); }

  private:
    struct SavedCursor {
        int x = 0, y = 0;
        Cell tmpl;
        bool pending_wrap = false;
        bool origin = false;
        std::array<Charset, 4> charsets{};
        std::uint8_t active_charset = 0;
    };

    // Screen operations, named for what they do (mnemonics in comments).
    void print_char(char32_t c);
    void put_cells(Row& row, int x, const Cell* cells, int n);
    void shift_right(Row& row, int x, int n);
    void attach_zerowidth(char32_t c);
    void wrap_line();
    void linefeed();       // LF, VT, FF (and CR with LNM)
    void index();          // IND
    void reverse_index();  // RI
    void next_line();      // NEL
    void carriage_return();
    void backspace();
    void tab_forward(int n);                      // HT, CHT
    void tab_backward(int n);                     // CBT
    void set_tab_stop();                          // HTS
    void clear_tab_stops(int mode);               // TBC
    void move_cursor_to(int x, int y);            // absolute screen position, clamped
    void goto_origin_relative(int x, int y);      // CUP, HVP: honours DECOM
    void cursor_up(int n);                        // CUU
    void cursor_down(int n);                      // CUD
    void erase_display(int mode);                 // ED
    void erase_line(int mode);                    // EL
    void erase_chars(int n);                      // ECH
    void insert_chars(int n);                     // ICH
    void delete_chars(int n);                     // DCH
    void insert_lines(int n);                     // IL
    void delete_lines(int n);                     // DL
    void scroll_up(int n);                        // SU and scrolling at the bottom margin
    void scroll_down(int n);                      // SD and reverse index at the top margin
    void repeat_last(int n);                      // REP
    void set_scroll_region(int top, int bottom);  // DECSTBM, 1-based, 0 = default
    void save_cursor();                           // DECSC
    void restore_cursor();                        // DECRC
    void screen_alignment();                      // DECALN
    void soft_reset();                            // DECSTR
    void full_reset();                            // RIS
    void set_mode(std::uint16_t number, bool dec, bool on);
    void enter_alt_screen(bool save, bool clear);
    void leave_alt_screen(bool restore, bool clear);
    void set_attributes(const Params& params);         // SGR
    void set_cursor_style(int ps);                     // DECSCUSR
    void report_mode(std::uint16_t number, bool dec);  // DECRQM
    void window_op(const Params& params);              // XTWINOPS
    void device_status(int n);                         // DSR
    void set_color(std::uint16_t index, std::optional<core::Rgb> rgb);
    void osc_colors(std::uint16_t osc, std::span<const std::string_view> args, bool bel);
    void osc_reset_colors(std::uint16_t osc, std::span<const std::string_view> args);
    void osc_clipboard(std::span<const std::string_view> args, bool bel);
    void set_title(std::optional<std::string> title);  // absent: the default title
    void push_title();                                 // XTWINOPS 22
    void pop_title();                                  // XTWINOPS 23

    Cell blank() const;  // an erased cell: the current background, no attributes
    Row& cursor_row() { return grid_->screen(cur_.y); }
    void erase_cells(Row& row, int from, int to);
    void fix_wide_edges(Row& row, int from, int to);
    void selection_touched(int y0, int y1);
    void after_scroll(int top, int bottom, int n);
    void send(Event event);
    void reply(std::string bytes) { send(event::PtyWrite{std::move(bytes)}); }
    void resize_primary(std::uint16_t cols, std::uint16_t rows);
    void resize_alt(std::uint16_t cols, std::uint16_t rows);
    void reset_tabs();

    Listener* listener_;
    TerminalConfig config_;
    CursorStyle default_cursor_;
    std::vector<char32_t> word_separators_;

    Grid primary_;
    Grid alt_;
    Grid* grid_;

    struct CursorState {
        int x = 0, y = 0;
        Cell tmpl;  // colours and SGR flags of the next printed cell
        bool pending_wrap = false;
        std::array<Charset, 4> charsets{};
        std::uint8_t active_charset = 0;
    } cur_;
    SavedCursor saved_primary_;
    SavedCursor saved_alt_;

    int top_ = 0;  // scroll region [top_, bottom_)
    int bottom_ = 0;
    std::vector<bool> tabs_;
    std::bitset<static_cast<std::size_t>(Mode::count)> modes_;
    std::optional<CursorStyle> cursor_style_;
    ColorOverrides colors_{};
    char32_t last_char_ = 0;
    // Titles saved by XTWINOPS 22; the oldest is dropped beyond the bound, so a
    // program pushing forever holds at most this many (each under 64 KiB).
    static constexpr std::size_t max_title_stack = 16;
    std::optional<std::string> title_;
    std::vector<std::optional<std::string>> title_stack_;
    bool sync_begin_ = false;
};

}  // namespace kestrum::vt
