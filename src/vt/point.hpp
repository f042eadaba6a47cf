// Grid coordinates: line 0 is the top screen line, negative lines are history.
#pragma once

#include <compare>
#include <cstdint>

namespace kestrum::vt {

struct Point {
    std::int32_t line = 0;
    std::uint32_t col = 0;
    friend constexpr auto operator<=>(const Point&, const Point&) = default;
};

// Which half of a cell a pointer was over; decides whether the cell is included.
enum class Side : std::uint8_t { left, right };

enum class Direction : std::uint8_t { forward, backward };

}  // namespace kestrum::vt
