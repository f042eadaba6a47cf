// Terminal modes and the one table that says how each is reported (DECRQM).
#pragma once

#include <cstdint>
#include <optional>

namespace kestrum::vt {

// Modes kept as plain flags. The alternate screen and cursor blinking are
// derived from other state and reported through the table below.
enum class Mode : std::uint8_t {
    insert,            // ANSI 4, IRM
    linefeed_newline,  // ANSI 20, LNM: LF, VT and FF also return the carriage
    app_cursor,        // 1, DECCKM
    origin,            // 6, DECOM
    autowrap,          // 7, DECAWM
    show_cursor,       // 25, DECTCEM
    mouse_click,       // 1000
    mouse_drag,        // 1002
    mouse_motion,      // 1003
    focus_events,      // 1004
    utf8_mouse,        // 1005
    sgr_mouse,         // 1006
    alternate_scroll,  // 1007
    urgency_hints,     // 1042
    bracketed_paste,   // 2004
    app_keypad,        // DECKPAM / DECKPNM
    count
};

enum class ModeReport : std::uint8_t {
    flag,          // the Mode's own state
    alt_screen,    // set while the alternate screen is shown
    cursor_blink,  // set when the current cursor style blinks
    always_reset,  // recognised, reported as reset
};

struct ModeEntry {
    std::uint16_t number;
    bool dec;  // private (CSI ?) mode
    ModeReport report;
    Mode mode;  // for ModeReport::flag
};

inline constexpr ModeEntry mode_table[] = {
    {4, false, ModeReport::flag, Mode::insert},
    {20, false, ModeReport::flag, Mode::linefeed_newline},
    {1, true, ModeReport::flag, Mode::app_cursor},
    {6, true, ModeReport::flag, Mode::origin},
    {7, true, ModeReport::flag, Mode::autowrap},
    {12, true, ModeReport::cursor_blink, Mode::count},
    {25, true, ModeReport::flag, Mode::show_cursor},
    {1000, true, ModeReport::flag, Mode::mouse_click},
    {1002, true, ModeReport::flag, Mode::mouse_drag},
    {1003, true, ModeReport::flag, Mode::mouse_motion},
    {1004, true, ModeReport::flag, Mode::focus_events},
    {1005, true, ModeReport::flag, Mode::utf8_mouse},
    {1006, true, ModeReport::flag, Mode::sgr_mouse},
    {1007, true, ModeReport::flag, Mode::alternate_scroll},
    {1042, true, ModeReport::flag, Mode::urgency_hints},
    {1049, true, ModeReport::alt_screen, Mode::count},
    {2004, true, ModeReport::flag, Mode::bracketed_paste},
    {2026, true, ModeReport::always_reset, Mode::count},
};

constexpr std::optional<ModeEntry> find_mode(std::uint16_t number, bool dec) {
    for (const ModeEntry& e : mode_table) {
        if (e.number == number && e.dec == dec) return e;
    }
    return std::nullopt;
}

}  // namespace kestrum::vt
