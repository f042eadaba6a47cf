// Conversions used wherever floating sizes meet integer records, and the
// monotonic clock with its "earlier reading means no time passed" rule.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>

namespace kestrum::core {

// Saturating conversion to u16: NaN and negatives give 0, large values 65535.
// Fractions are truncated, as an integer cast would.
constexpr std::uint16_t saturate_u16(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 65535.0) return 65535;
    return static_cast<std::uint16_t>(v);
}

// Layout rounding: to nearest, halves away from zero.
inline double round_layout(double v) {
    return std::round(v);
}

using Clock = std::chrono::steady_clock;
using Instant = Clock::time_point;

// Time from `then` to `now`; zero when `now` is earlier.
constexpr Clock::duration since(Instant now, Instant then) {
    return now > then ? now - then : Clock::duration::zero();
}

}  // namespace kestrum::core
