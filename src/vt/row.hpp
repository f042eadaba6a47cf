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
    Row() = default;
    Row(std::uint16_t cols, const Cell& blank) : cells_(new Cell[cols]) {
        std::fill_n(cells_.get(), cols, blank);
    }

    Cell* cells() { return cells_.get(); }
    const Cell* cells() const { return cells_.get(); }
    Cell& operator[](std::size_t col) { return cells_[col]; }
    const Cell& operator[](std::size_t col) const { return cells_[col]; }

    // The line continues on the next one (its last cell ended in an automatic wrap).
    bool wrapped = false;

    void reset(std::uint16_t cols, const Cell& blank) {
        std::fill_n(cells_.get(), cols, blank);
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

  private:
    std::unique_ptr<Cell[]> cells_;
    std::unique_ptr<std::vector<ZeroWidth>> extras_;
};

}  // namespace kestrum::vt
