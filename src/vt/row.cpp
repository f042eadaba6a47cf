#include "vt/row.hpp"

namespace kestrum::vt {

std::span<const char32_t> Row::zerowidth(std::uint16_t col) const {
    if (!extras_) return {};
    for (const ZeroWidth& z : *extras_) {
        if (z.col == col) return {z.chars, z.count};
    }
    return {};
}

bool Row::add_zerowidth(std::uint16_t col, char32_t c) {
    if (!extras_) extras_ = std::make_unique<std::vector<ZeroWidth>>();
    for (ZeroWidth& z : *extras_) {
        if (z.col != col) continue;
        if (z.count >= max_zerowidth_per_cell) return false;
        z.chars[z.count++] = c;
        return true;
    }
    ZeroWidth z{};
    z.col = col;
    z.count = 1;
    z.chars[0] = c;
    extras_->push_back(z);
    write(col, static_cast<std::uint16_t>(col + 1));  // no longer a plain blank
    return true;
}

void Row::drop_zerowidth(std::uint16_t from, std::uint16_t to) {
    if (!extras_) return;
    std::erase_if(*extras_, [&](const ZeroWidth& z) { return z.col >= from && z.col < to; });
    if (extras_->empty()) extras_.reset();
}

void Row::shift_zerowidth(std::uint16_t from, int delta, std::uint16_t cols) {
    if (!extras_) return;
    std::erase_if(*extras_, [&](ZeroWidth& z) {
        if (z.col < from) return false;
        int to = z.col + delta;
        if (to < 0 || to >= cols) return true;
        z.col = static_cast<std::uint16_t>(to);
        return false;
    });
    if (extras_->empty()) extras_.reset();
}

void Row::copy_zerowidth(const Row& src, std::uint16_t from, std::uint16_t to) {
    for (char32_t c : src.zerowidth(from))
        add_zerowidth(to, c);
}

}  // namespace kestrum::vt
