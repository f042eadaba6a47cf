// An 8-bit RGB colour, shared by the engine, the model and the renderer.
#pragma once

#include <cstdint>

namespace kestrum::core {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

}  // namespace kestrum::core
