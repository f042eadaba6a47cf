// What keys, mouse reports and pastes send to the program (xterm conventions).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrum_app::input {

// Modifier parameter of a sequence: 1 + Shift + 2·Option + 4·Control.
int modifier_param(std::uint64_t modifier_flags);

// ESC [ 1 ; m L with modifiers; else ESC O L in application cursor mode, ESC [ L otherwise.
std::string cursor_sequence(char letter, bool has_modifiers, int m, bool app_cursor);
// ESC [ 1 ; m L with modifiers, else ESC O L.
std::string ss3_sequence(char letter, bool has_modifiers, int m);
// ESC [ n ~, or ESC [ n ; m ~ with modifiers.
std::string tilde_sequence(int n, bool has_modifiers, int m);

// The bytes a key press sends to the shell, from its characters (first code point
// decides), key code and modifiers. Nothing for keys that send nothing.
std::string key_bytes(std::string_view characters, std::uint16_t key_code,
                      std::uint64_t modifier_flags, bool app_cursor);

// Option as meta: ESC and the unmodified text; nothing for empty text or a
// function key.
std::optional<std::string> meta_bytes(std::string_view characters_ignoring_modifiers);

// What Shift+Return sends, indexed by the configured choice (esc-cr, newline, csi-u, cr).
std::string_view shift_enter_bytes(std::uint8_t choice);

// Mouse report encoding: `level` 0 (off), 1 click, 2 drag, 3 motion tracking.
std::optional<std::string> encode_mouse(int level, bool sgr, std::uint8_t code, std::uint16_t col,
                                        std::uint16_t row, bool pressed);

// Pasted text as the shell should receive it: line endings as Return would send
// them, bracket markers removed, framed when `bracketed`.
std::string paste_bytes(std::string_view text, bool bracketed);

}  // namespace kestrum_app::input
