// The user's settings, read once from one TOML file. Loading never fails: every
// problem is logged and the whole file falls back to the defaults.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrum_config {

// Shape codes shared with the terminal model's default cursor.
enum class CursorStyle : std::uint8_t { block = 0, underline = 1, beam = 2 };

// What Shift+Return sends.
enum class ShiftEnter : std::uint8_t { esc_cr = 0, newline = 1, csi_u = 2, cr = 3 };

struct FontConfig {
    std::string family = "CommitMono";
    float size = 14.0f;  // points
    bool ligatures = false;
    friend bool operator==(const FontConfig&, const FontConfig&) = default;
};

struct Padding {
    float x = 8.0f;  // points, left and right
    float y = 6.0f;  // points, top and bottom
    friend bool operator==(const Padding&, const Padding&) = default;
};

struct CursorConfig {
    CursorStyle style = CursorStyle::block;
    bool blink = true;
    friend bool operator==(const CursorConfig&, const CursorConfig&) = default;
};

struct WindowConfig {
    float opacity = 0.4f;  // clamped to [0.2, 1.0] by its users
    bool blur = true;
    friend bool operator==(const WindowConfig&, const WindowConfig&) = default;
};

struct KeyboardConfig {
    ShiftEnter shift_enter = ShiftEnter::esc_cr;
    bool option_as_meta = false;
    friend bool operator==(const KeyboardConfig&, const KeyboardConfig&) = default;
};

inline constexpr std::uint64_t kMaxScrollbackLines = 1'000'000;

struct Config {
    FontConfig font;
    std::uint64_t scrollback_lines = 10'000;
    std::optional<std::string> shell;  // absent: the user's login shell
    Padding padding;
    CursorConfig cursor;
    WindowConfig window;
    KeyboardConfig keyboard;

    // $XDG_CONFIG_HOME/kestrum/config.toml (when set and not empty), else
    // $HOME/.config/kestrum/config.toml, else none.
    static std::optional<std::filesystem::path> path();
    // Resolves the path, reads and parses; never fails.
    static Config load();
    // Parses a whole file; invalid text or any bad value gives the defaults.
    static Config parse(std::string_view text);

    friend bool operator==(const Config&, const Config&) = default;
};

}  // namespace kestrum_config
