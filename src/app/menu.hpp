// The menu bar: an application menu, "Edit" and "Shell".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui.hpp"

namespace kestrum_app {

inline constexpr std::uint64_t kCommand = kestrum::platform::kCommandKeyMask;
inline constexpr std::uint64_t kCommandShift =
    kestrum::platform::kCommandKeyMask | kestrum::platform::kShiftKeyMask;

// One menu item with a one-character key equivalent.
kestrum::platform::MenuItem item(std::string title, kestrum::platform::Action action,
                                 std::string key, std::uint64_t modifiers);

// The whole menu bar, in order.
std::vector<kestrum::platform::Menu> build_main_menu();

}  // namespace kestrum_app
