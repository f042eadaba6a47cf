// GDK key and button events in the desktop-classic terms the view expects.
#pragma once

#include <gtk/gtk.h>

#include <optional>

#include "platform/ui.hpp"

namespace kestrum::platform::gtk {

std::uint64_t modifier_flags(GdkModifierType state);

// Left 0, right 1, middle 2, others 3 and up; -1 for none.
int button_number(guint gdk_button);

// Nothing for presses of modifier keys alone. Ctrl+Shift+C / V / T / W / F become
// Super+c / v / t / w / f, the habit of terminals on this desktop.
std::optional<KeyEvent> translate_key(GdkEvent* event, guint keyval, guint keycode,
                                      GdkModifierType state);

// The pure part of translate_key, for tests: the keyval as pressed (Shift applied),
// the keyval of the same key without Shift, and the modifier state.
std::optional<KeyEvent> translate_keyval(guint keyval, guint unshifted_keyval,
                                         GdkModifierType state);

}  // namespace kestrum::platform::gtk
