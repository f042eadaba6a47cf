// What the engine reports to its owner while it processes output: replies,
// title changes, the bell, clipboard requests. Each PtyWrite is one whole reply,
// so an owner that caps replies can cut between them, never inside one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "core/rgb.hpp"

namespace kestrum::vt {

// Turns a colour into the reply to an OSC 4/10/11/12 query: "ESC ] <osc> ;
// [<index> ;] rgb:RRRR/GGGG/BBBB" and the query's own terminator.
struct ColorFormatter {
    std::uint16_t osc = 4;
    std::int32_t osc4_index = -1;  // the palette index echoed by OSC 4, else -1
    bool bel = false;
    std::string operator()(core::Rgb color) const;
};

struct WindowSize {
    std::uint16_t lines = 0;
    std::uint16_t columns = 0;
    std::uint16_t cell_width = 0;
    std::uint16_t cell_height = 0;
};

// Turns a window size into the reply to CSI 14 t: "ESC [ 4 ; height ; width t",
// each product saturated to 16 bits.
struct SizeFormatter {
    std::string operator()(WindowSize size) const;
};

// Turns clipboard text into the reply to an OSC 52 read: base64, the query's terminator.
struct ClipboardFormatter {
    char clipboard = 'c';
    bool bel = false;
    std::string operator()(std::string_view text) const;
};

namespace event {
struct Title {
    std::string text;
};
struct ResetTitle {};
struct PtyWrite {
    std::string bytes;
};
struct ColorRequest {
    std::uint16_t index;  // 0-268, see named::
    ColorFormatter format;
};
struct TextAreaSizeRequest {
    SizeFormatter format;
};
struct Bell {};
struct ClipboardStore {
    char clipboard;  // 'c' clipboard, 'p' primary, 's' selection
    std::string text;
};
struct ClipboardLoad {
    char clipboard;
    ClipboardFormatter format;
};
struct CursorBlinkingChange {};
}  // namespace event

using Event = std::variant<event::Title, event::ResetTitle, event::PtyWrite, event::ColorRequest,
                           event::TextAreaSizeRequest, event::Bell, event::ClipboardStore,
                           event::ClipboardLoad, event::CursorBlinkingChange>;

// Receives events synchronously, from inside the call that processes the bytes.
class Listener {
  public:
    virtual ~Listener() = default;
    virtual void send_event(Event event) = 0;
};

}  // namespace kestrum::vt
