// The window system on GTK 4: the application object, its menu bar, alerts,
// folder chooser, clipboard, notifications and screens.
#pragma once

#include <memory>

#include "platform/ui.hpp"

namespace kestrum::platform::gtk {

inline constexpr const char* kApplicationId = "io.kestrum.Kestrum";

// Creates the GTK application (the display is opened when it runs).
std::unique_ptr<Application> make_application();

}  // namespace kestrum::platform::gtk
