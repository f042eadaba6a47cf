// A selection of grid text: two anchors and a kind, resolved against the grid
// into an inclusive range when it is drawn or copied.
#pragma once

#include <cstdint>
#include <optional>

#include "vt/point.hpp"

namespace kestrum::vt {

class Terminal;

enum class SelectionKind : std::uint8_t { simple, block, word, line };

// Inclusive range of grid points; a block range covers the same columns on every line.
struct SelectionRange {
    Point start;
    Point end;
    bool block = false;

    bool contains(Point p) const {
        if (p.line < start.line || p.line > end.line) return false;
        if ((block || p.line == start.line) && p.col < start.col) return false;
        if ((block || p.line == end.line) && p.col > end.col) return false;
        return true;
    }
    friend bool operator==(const SelectionRange&, const SelectionRange&) = default;
};

class Selection {
  public:
    struct Anchor {
        Point point;
        Side side = Side::left;
    };

    Selection(SelectionKind kind, Point point, Side side)
        : kind_(kind), start_{point, side}, end_{point, side} {}
    // Both anchors at once (for example a selection restored by the owner).
    Selection(SelectionKind kind, Anchor start, Anchor end)
        : kind_(kind), start_(start), end_(end) {}

    // Moves the end anchor.
    void update(Point point, Side side) { end_ = {point, side}; }

    SelectionKind kind() const { return kind_; }
    const Anchor& start() const { return start_; }
    const Anchor& end() const { return end_; }

    // Follows the text when lines move up by `delta` (negative: down). Returns
    // false when the selection left the lines [top, bottom] and should be cleared.
    bool rotate(std::int32_t delta, std::int32_t top, std::int32_t bottom);

    // The range to draw and copy; absent for an empty simple selection.
    std::optional<SelectionRange> to_range(const Terminal& term) const;

  private:
    SelectionKind kind_;
    Anchor start_;
    Anchor end_;
};

}  // namespace kestrum::vt
