// X11 colour strings as used by OSC 4/10/11/12: "rgb:h/h/h" with 1-4
// hex digits per component, and "#rgb" with 1-4 digits per component.
#pragma once

#include <optional>
#include <string_view>

#include "core/rgb.hpp"

namespace kestrum::vt {

std::optional<core::Rgb> parse_color_spec(std::string_view spec);

}  // namespace kestrum::vt
