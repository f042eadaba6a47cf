#include "core/numeric.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace kestrum::core {
namespace {

TEST(Numeric, SaturateU16) {
    struct Case {
        double in;
        std::uint16_t out;
    };
    const Case cases[] = {
        {0.0, 0},
        {-1.0, 0},
        {12.9, 12},
        {65534.5, 65534},
        {65535.0, 65535},
        {1e12, 65535},
        {std::numeric_limits<double>::infinity(), 65535},
        {-std::numeric_limits<double>::infinity(), 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(saturate_u16(c.in), c.out) << c.in;
}

TEST(Numeric, ClockNeverGoesBackwards) {
    Instant t0{};
    Instant t1 = t0 + std::chrono::milliseconds(5);
    EXPECT_EQ(since(t1, t0), std::chrono::milliseconds(5));
    EXPECT_EQ(since(t0, t1), Clock::duration::zero());
}

}  // namespace
}  // namespace kestrum::core
