// Screen and history in one ring of rows. Scrolling the whole screen moves the
// ring's head: no row is copied. History grows as it is used, up to its limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vt/row.hpp"

namespace kestrum::vt {

inline constexpr std::size_t max_history_limit = 1'000'000;

class Grid {
  public:
    // A history limit above 1,000,000 lines is lowered to it; 0 keeps no history.
    Grid(std::uint16_t cols, std::uint16_t rows, std::size_t max_history);

    std::uint16_t cols() const { return cols_; }
    std::uint16_t rows() const { return rows_; }
    std::size_t history_size() const { return total_ - rows_; }
    std::size_t max_history() const { return max_history_; }
    std::size_t display_offset() const { return display_offset_; }

    // Grid line `line`: 0 .. rows-1 on screen, -history_size .. -1 in history.
    Row& line(std::int32_t line) { return ring_[physical(history_size() + line)]; }
    const Row& line(std::int32_t line) const { return ring_[physical(history_size() + line)]; }
    Row& screen(int y) { return ring_[physical(history_size() + y)]; }
    const Row& screen(int y) const { return ring_[physical(history_size() + y)]; }

    // Scrolls screen lines [top, bottom) up by n (n is capped at the region's
    // height). Lines leaving a full-screen region enter the history when there
    // is one; new lines are filled with `blank`. Returns the number of lines
    // the history lost at its top (they scrolled past the limit).
    std::size_t scroll_up(int top, int bottom, int n, const Cell& blank);
    void scroll_down(int top, int bottom, int n, const Cell& blank);

    // Clamped to 0 .. history_size.
    void set_display_offset(std::size_t offset);
    void clear_history();

    // Resizing: every line from oldest to newest, moved out of the grid.
    std::vector<Row> take_lines();
    // Installs lines (at least `rows`, history beyond the limit is dropped from
    // the top) of width `cols`.
    void set_lines(std::vector<Row> lines, std::uint16_t cols, std::uint16_t rows);

    // Bytes held by rows, cells and side tables.
    std::size_t memory_bytes() const;

  private:
    std::size_t physical(std::size_t logical) const {
        std::size_t p = head_ + logical;
        return p >= total_ ? p - total_ : p;  // the ring holds exactly total_ rows
    }

    std::uint16_t cols_;
    std::uint16_t rows_;
    std::size_t max_history_;
    // While the ring is not full, head_ is 0 and new lines are appended.
    std::vector<Row> ring_;
    std::size_t head_ = 0;
    std::size_t total_ = 0;
    std::size_t display_offset_ = 0;
};

}  // namespace kestrum::vt
