// The fixed colour palette and the 269-entry colour index space built on it.
#pragma once

#include <array>
#include <cstddef>

#include "core/rgb.hpp"

namespace kestrum_term {

using kestrum::core::Rgb;

// Palette entries beyond the sixteen ANSI colours.
namespace entry {
inline constexpr std::size_t foreground = 16;
inline constexpr std::size_t background = 17;
inline constexpr std::size_t cursor = 18;
inline constexpr std::size_t selection_bg = 19;
inline constexpr std::size_t match_bg = 20;
inline constexpr std::size_t focused_match_bg = 21;
}  // namespace entry

struct Palette {
    std::array<Rgb, 22> colors;

    // The one palette Kestrum draws with.
    static Palette standard();

    // Colour of an index of the engine's colour space: 0-15 ANSI, 16-231 cube,
    // 232-255 grey ramp, 256 foreground, 257 background, 258 cursor, 259-266 dim
    // ANSI, 267 bright foreground, 268 dim foreground; anything else foreground.
    Rgb color_at_index(std::size_t index) const;

    // The 256-colour table without overrides: cube and grey ramp by formula.
    Rgb indexed(std::size_t index) const;

    friend bool operator==(const Palette&, const Palette&) = default;
};

// Each component times 0.66 in single precision, truncated.
Rgb dim(Rgb c);

}  // namespace kestrum_term
