#include "vt/grid.hpp"

#include <algorithm>
#include <utility>

namespace kestrum::vt {

Grid::Grid(std::uint16_t cols, std::uint16_t rows, std::size_t max_history)
    : cols_(std::max<std::uint16_t>(cols, 1)),
      rows_(std::max<std::uint16_t>(rows, 1)),
      max_history_(std::min(max_history, max_history_limit)) {
    ring_.reserve(rows_);
    for (int i = 0; i < rows_; ++i)
        ring_.emplace_back(cols_, Cell{});
    total_ = rows_;
}

std::size_t Grid::scroll_up(int top, int bottom, int n, const Cell& blank) {
    n = std::min(n, bottom - top);
    if (n <= 0) return 0;
    std::size_t lost = 0;
    if (top == 0 && bottom == rows_) {
        for (int i = 0; i < n; ++i) {
            if (total_ < rows_ + max_history_) {
                if (ring_.size() == ring_.capacity()) {
                    // Doubling, but never past what the history limit can use.
                    ring_.reserve(std::min(ring_.capacity() * 2, rows_ + max_history_));
                }
                ring_.emplace_back(cols_, blank);
                ++total_;
            } else {
                // Full: the oldest line becomes the new bottom line.
                ring_[head_].reset(cols_, blank);
                if (++head_ == ring_.size()) head_ = 0;
                if (max_history_ > 0) ++lost;
            }
        }
        if (display_offset_ > 0) {
            display_offset_ = std::min(display_offset_ + n, history_size());
        }
        return lost;
    }
    for (int y = top; y + n < bottom; ++y)
        std::swap(screen(y), screen(y + n));
    for (int y = bottom - n; y < bottom; ++y)
        screen(y).reset(cols_, blank);
    return 0;
}

void Grid::scroll_down(int top, int bottom, int n, const Cell& blank) {
    n = std::min(n, bottom - top);
    if (n <= 0) return;
    for (int y = bottom - 1; y - n >= top; --y)
        std::swap(screen(y), screen(y - n));
    for (int y = top; y < top + n; ++y)
        screen(y).reset(cols_, blank);
}

void Grid::set_display_offset(std::size_t offset) {
    display_offset_ = std::min(offset, history_size());
}

void Grid::clear_history() {
    std::rotate(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(head_), ring_.end());
    head_ = 0;
    ring_.erase(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(history_size()));
    ring_.shrink_to_fit();
    total_ = rows_;
    display_offset_ = 0;
}

std::vector<Row> Grid::take_lines() {
    std::rotate(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(head_), ring_.end());
    head_ = 0;
    total_ = 0;
    display_offset_ = 0;
    return std::exchange(ring_, {});
}

void Grid::set_lines(std::vector<Row> lines, std::uint16_t cols, std::uint16_t rows) {
    cols_ = std::max<std::uint16_t>(cols, 1);
    rows_ = std::max<std::uint16_t>(rows, 1);
    while (lines.size() < rows_)
        lines.emplace_back(cols_, Cell{});
    std::size_t keep = rows_ + max_history_;
    if (lines.size() > keep) {
        lines.erase(lines.begin(),
                    lines.begin() + static_cast<std::ptrdiff_t>(lines.size() - keep));
    }
    ring_ = std::move(lines);
    head_ = 0;
    total_ = ring_.size();
    display_offset_ = std::min(display_offset_, history_size());
}

std::size_t Grid::memory_bytes() const {
    std::size_t bytes = ring_.capacity() * sizeof(Row);
    for (const Row& r : ring_)
        bytes += cols_ * sizeof(Cell) + r.extras_bytes();
    return bytes;
}

}  // namespace kestrum::vt
