// One line of cells plus its wrap flag and its (usually absent) zero-width side table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "vt/cell.hpp"

namespace kestrum::vt {

// Further zero-width characters on a full cell are dropped: no output can make
// one cell cost more than this to copy and draw.
inline constexpr std::size_t max_zerowidth_per_cell = 16;

struct ZeroWidth {
    std::uint16_t col;
    std::uint8_t count;
    char32_t chars[max_zerowidth_per_cell];
};

// A row does not know its width; the grid that owns it does.
class Row {
  public:
    // The line continues on the next one (its last cell ended in an automatic wrap).
    bool wrapped = false;

  private:
    // Declared first so the row packs into 24 bytes.
    std::uint16_t used_ = 0;
    std::unique_ptr<Cell[]> cells_;
    std::unique_ptr<std::vector<ZeroWidth>> extras_;
    static constexpr std::uint16_t everything = 0xffff;

  public:
    Row() = default;
    Row(std::uint16_t cols, const Cell& blank) : cells_(new Cell[cols]) {
        fill_cells(cells_.get(), cols, blank);
        used_ = blank.is_default_blank() ? 0 : cols;
    }

    // Writable access assumes the whole row may change.
    Cell* cells() {
        used_ = everything;
        return cells_.get();
    }
    const Cell* cells() const { return cells_.get(); }
    Cell& operator[](std::size_t col) {
        used_ = everything;
        return cells_[col];
    }
    const Cell& operator[](std::size_t col) const { return cells_[col]; }
    // Cells [from, to) for a caller that writes exactly those.
    Cell* write(std::uint16_t from, std::uint16_t to) {
        if (to > used_) used_ = to;
        return cells_.get() + from;
    }
    // Cells at or past this column are default blanks.
    std::uint16_t used() const { return used_; }

    // Only the used part is cleared: a scrolled line costs what was written on it.
    void reset(std::uint16_t cols, const Cell& blank) {
        if (blank.is_default_blank()) {
            fill_cells(cells_.get(), std::min(used_, cols), blank);
            used_ = 0;
        } else {
            fill_cells(cells_.get(), cols, blank);
            used_ = cols;
        }
        wrapped = false;
        extras_.reset();
    }

    bool has_zerowidth() const { return extras_ != nullptr; }
    std::span<const char32_t> zerowidth(std::uint16_t col) const;
    // Appends to the cell at `col` and flags it; returns false when the cell is full.
    bool add_zerowidth(std::uint16_t col, char32_t c);
    // Forgets the zero-width characters of columns [from, to).
    void drop_zerowidth(std::uint16_t from, std::uint16_t to);
    // Moves entries at or after `from` by `delta` columns (the cells have moved
    // already); entries that land outside [0, cols) are dropped.
    void shift_zerowidth(std::uint16_t from, int delta, std::uint16_t cols);
    // Copies column `from` of `src` to column `to` here (reflow, resize).
    void copy_zerowidth(const Row& src, std::uint16_t from, std::uint16_t to);
    std::size_t extras_bytes() const {
        return extras_ ? sizeof(*extras_) + extras_->capacity() * sizeof(ZeroWidth) : 0;
    }
};

static_assert(sizeof(Row) == 24, "a row costs 24 bytes besides its cells");

}  // namespace kestrum::vt
