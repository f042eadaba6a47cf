// Turns parsed CSI and ESC sequences into the terminal's named operations, and
// answers the queries (device status, attributes, mode and size reports).
#include <fmt/format.h>

#include <algorithm>

#include "core/log.hpp"
#include "vt/terminal.hpp"

namespace kestrum::vt {

namespace {
constexpr const char* log_target = "kestrum_vt::dispatch";

void log_unhandled(const Csi& csi) {
    if (!core::log_enabled(core::Level::debug, log_target)) return;
    std::string params;
    for (int i = 0; i < csi.params.count; ++i) {
        if (i) params += csi.params.is_sub(i) ? ':' : ';';
        params += std::to_string(csi.params.values[i]);
    }
    std::string inter(reinterpret_cast<const char*>(csi.intermediates), csi.n_intermediates);
    KLOG_DEBUG(log_target, "unhandled CSI {}{}{}{}",
               csi.marker ? std::string(1, static_cast<char>(csi.marker)) : std::string(), params,
               inter, static_cast<char>(csi.final));
}
}  // namespace

void Terminal::csi_dispatch(const Csi& csi) {
    const Params& p = csi.params;
    if (p.overflow) {
        KLOG_DEBUG(log_target, "CSI with more than {} parameters; the rest were dropped",
                   Params::max);
    }
    const std::uint8_t inter = csi.intermediate();
    if (csi.n_intermediates > 1) return log_unhandled(csi);

    if (csi.marker == '?') {
        switch (inter ? inter << 8 | csi.final : csi.final) {
            case 'h':
            case 'l':
                for (int i = 0; i < p.count; ++i)
                    set_mode(p.values[i], true, csi.final == 'h');
                return;
            case 'J':  // DECSED: no protected cells, so a plain erase
                return erase_display(p.at(0));
            case 'K':  // DECSEL
                return erase_line(p.at(0));
            case '$' << 8 | 'p':
                return report_mode(p.at(0), true);
            case 'u':  // progressive keyboard query: no reply while the protocol is off
                return;
            default:
                return log_unhandled(csi);
        }
    }
    if (csi.marker == '>') {
        if (csi.final == 'c' && !inter && p.at(0) == 0) return reply("\x1b[>0;2600;1c");  // DA2
        return log_unhandled(csi);
    }
    if (csi.marker != 0) return log_unhandled(csi);

    if (inter == ' ' && csi.final == 'q') return set_cursor_style(p.at(0));  // DECSCUSR
    if (inter == '!' && csi.final == 'p') return soft_reset();               // DECSTR
    if (inter == '$' && csi.final == 'p') return report_mode(p.at(0), false);
    if (inter) return log_unhandled(csi);

    switch (csi.final) {
        case '@':  // ICH
            return insert_chars(p.count_at(0));
        case 'A':  // CUU
            return cursor_up(p.count_at(0));
        case 'B':  // CUD
        case 'e':  // VPR
            return cursor_down(p.count_at(0));
        case 'C':  // CUF
        case 'a':  // HPR
            return move_cursor_to(cur_.x + p.count_at(0), cur_.y);
        case 'D':  // CUB
            return move_cursor_to(cur_.x - p.count_at(0), cur_.y);
        case 'E':  // CNL
            cursor_down(p.count_at(0));
            return carriage_return();
        case 'F':  // CPL
            cursor_up(p.count_at(0));
            return carriage_return();
        case 'G':  // CHA
        case '`':  // HPA
            return move_cursor_to(p.count_at(0) - 1, cur_.y);
        case 'H':  // CUP
        case 'f':  // HVP
            return goto_origin_relative(p.count_at(1) - 1, p.count_at(0) - 1);
        case 'I':  // CHT
            return tab_forward(p.count_at(0));
        case 'J':  // ED
            return erase_display(p.at(0));
        case 'K':  // EL
            return erase_line(p.at(0));
        case 'L':  // IL
            return insert_lines(p.count_at(0));
        case 'M':  // DL
            return delete_lines(p.count_at(0));
        case 'P':  // DCH
            return delete_chars(p.count_at(0));
        case 'S':  // SU
            return scroll_up(p.count_at(0));
        case 'T':  // SD; with more parameters it is a mouse-tracking request
            if (p.count > 1) return log_unhandled(csi);
            return scroll_down(p.count_at(0));
        case 'X':  // ECH
            return erase_chars(p.count_at(0));
        case 'Z':  // CBT
            return tab_backward(p.count_at(0));
        case 'b':  // REP
            return repeat_last(p.count_at(0));
        case 'c':  // DA1
            if (p.at(0) == 0) reply("\x1b[?6c");
            return;
        case 'd':  // VPA
            if (mode(Mode::origin)) return goto_origin_relative(cur_.x, p.count_at(0) - 1);
            return move_cursor_to(cur_.x, p.count_at(0) - 1);
        case 'g':  // TBC
            return clear_tab_stops(p.at(0));
        case 'h':  // SM
        case 'l':  // RM
            for (int i = 0; i < p.count; ++i)
                set_mode(p.values[i], false, csi.final == 'h');
            return;
        case 'm':  // SGR
            return set_attributes(p);
        case 'n':  // DSR
            return device_status(p.at(0));
        case 'r':  // DECSTBM
            return set_scroll_region(p.at(0), p.at(1));
        case 's':  // SCOSC
            return save_cursor();
        case 't':
            return window_op(p);
        case 'u':  // SCORC
            return restore_cursor();
        default:
            return log_unhandled(csi);
    }
}

void Terminal::esc_dispatch(const std::uint8_t* inter, std::size_t n, std::uint8_t final) {
    if (n == 0) {
        switch (final) {
            case '7':
                return save_cursor();  // DECSC
            case '8':
                return restore_cursor();  // DECRC
            case 'D':
                return index();  // IND
            case 'E':
                return next_line();  // NEL
            case 'H':
                return set_tab_stop();  // HTS
            case 'M':
                return reverse_index();  // RI
            case 'Z':
                return reply("\x1b[?6c");  // DECID
            case 'c':
                return full_reset();  // RIS
            case '=':
                modes_.set(static_cast<std::size_t>(Mode::app_keypad));  // DECKPAM
                return;
            case '>':
                modes_.reset(static_cast<std::size_t>(Mode::app_keypad));  // DECKPNM
                return;
            case '\\':  // ST without a string
                return;
            default:
                break;
        }
    } else if (n == 1) {
        const std::uint8_t i = inter[0];
        if (i == '#' && final == '8') return screen_alignment();  // DECALN
        if (i >= '(' && i <= '+') {
            // Designate G0..G3: line drawing or, for every other set, ASCII.
            cur_.charsets[i - '('] = final == '0' ? Charset::dec_graphics : Charset::ascii;
            return;
        }
        if (i == '%') return;  // UTF-8 is always on
    }
    KLOG_DEBUG(log_target, "unhandled ESC {}{}",
               std::string(reinterpret_cast<const char*>(inter), n), static_cast<char>(final));
}

void Terminal::set_mode(std::uint16_t number, bool dec, bool on) {
    auto set = [&](Mode m, bool v) { modes_.set(static_cast<std::size_t>(m), v); };
    if (!dec) {
        if (auto e = find_mode(number, false)) return set(e->mode, on);
        KLOG_DEBUG(log_target, "unknown mode {}", number);
        return;
    }
    switch (number) {
        case 6:  // DECOM homes the cursor either way
            set(Mode::origin, on);
            return goto_origin_relative(0, 0);
        case 12: {  // cursor blinking, kept in the cursor style
            CursorStyle style = cursor_style();
            style.blinking = on;
            cursor_style_ = style;
            return send(event::CursorBlinkingChange{});
        }
        case 47:
            return on ? enter_alt_screen(false, false) : leave_alt_screen(false, false);
        case 1047:
            return on ? enter_alt_screen(false, false) : leave_alt_screen(false, true);
        case 1048:
            return on ? save_cursor() : restore_cursor();
        case 1049:
            return on ? enter_alt_screen(true, true) : leave_alt_screen(true, false);
        case 1000:
        case 1002:
        case 1003:
            // One mouse tracking mode at a time: the last one set wins.
            if (on) {
                set(Mode::mouse_click, false);
                set(Mode::mouse_drag, false);
                set(Mode::mouse_motion, false);
            }
            return set(number == 1000   ? Mode::mouse_click
                       : number == 1002 ? Mode::mouse_drag
                                        : Mode::mouse_motion,
                       on);
        case 1005:
        case 1006:
            if (on) {
                set(Mode::utf8_mouse, false);
                set(Mode::sgr_mouse, false);
            }
            return set(number == 1005 ? Mode::utf8_mouse : Mode::sgr_mouse, on);
        case 2026:
            // Beginning an update makes the processor hold what follows; its end
            // is found by the processor in the held bytes.
            if (on) sync_begin_ = true;
            return;
        case 3:  // DECCOLM: the window size is not the application's to change
            return;
        default:
            break;
    }
    auto e = find_mode(number, true);
    if (e && e->report == ModeReport::flag) return set(e->mode, on);
    KLOG_DEBUG(log_target, "unknown private mode {}", number);
}

int Terminal::mode_report(std::uint16_t number, bool dec) const {
    auto e = find_mode(number, dec);
    if (!e) return 0;
    bool state = false;
    switch (e->report) {
        case ModeReport::flag:
            state = mode(e->mode);
            break;
        case ModeReport::alt_screen:
            state = alt_screen();
            break;
        case ModeReport::cursor_blink:
            state = cursor_style().blinking;
            break;
        case ModeReport::always_reset:
            state = false;
            break;
    }
    return state ? 1 : 2;
}

void Terminal::report_mode(std::uint16_t number, bool dec) {
    reply(fmt::format("\x1b[{}{};{}$y", dec ? "?" : "", number, mode_report(number, dec)));
}

void Terminal::set_cursor_style(int ps) {
    std::optional<CursorStyle> style;
    switch (ps) {
        case 0:
            break;  // back to the default style
        case 1:
        case 2:
            style = CursorStyle{CursorShape::block, ps == 1};
            break;
        case 3:
        case 4:
            style = CursorStyle{CursorShape::underline, ps == 3};
            break;
        case 5:
        case 6:
            style = CursorStyle{CursorShape::beam, ps == 5};
            break;
        default:
            KLOG_DEBUG(log_target, "unknown cursor style {}", ps);
            return;
    }
    cursor_style_ = style;
    send(event::CursorBlinkingChange{});
}

void Terminal::device_status(int n) {
    if (n == 5) {
        reply("\x1b[0n");
    } else if (n == 6) {
        reply(fmt::format("\x1b[{};{}R", cur_.y + 1, cur_.x + 1));
    } else {
        KLOG_DEBUG(log_target, "unknown device status request {}", n);
    }
}

void Terminal::window_op(const Params& p) {
    switch (p.at(0)) {
        case 14:
            return send(event::TextAreaSizeRequest{});
        case 18:
            return reply(fmt::format("\x1b[8;{};{}t", rows(), cols()));
        case 22:  // push the title (0 or 2; 1 is the icon name alone)
            if (p.at(1) != 1) push_title();
            return;
        case 23:
            if (p.at(1) != 1) pop_title();
            return;
        default:
            KLOG_DEBUG(log_target, "unhandled window operation {}", p.at(0));
    }
}

std::string SizeFormatter::operator()(WindowSize size) const {
    auto product = [](unsigned a, unsigned b) { return std::min(a * b, 0xffffu); };
    return fmt::format("\x1b[4;{};{}t", product(size.lines, size.cell_height),
                       product(size.columns, size.cell_width));
}

}  // namespace kestrum::vt
