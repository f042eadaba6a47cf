// Keys, mouse, wheel, selection gestures, clipboard, drops and the context menus.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "app/input.hpp"
#include "app/paste.hpp"
#include "app/terminal_view.hpp"
#include "core/log.hpp"
#include "core/utf8.hpp"
#include "vt/utf8.hpp"

namespace kestrum_app {

namespace {

using kestrum::core::Clock;
namespace platform = kestrum::platform;
namespace vt = kestrum::vt;

constexpr std::string_view kTarget = "kestrum_app::terminal_view";
std::atomic<std::uint64_t> g_png_seq{0};  // paste-N.png numbers, never reset

void pop_last_char(std::string& s) {
    while (!s.empty()) {
        bool continuation = (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80;
        s.pop_back();
        if (!continuation) break;
    }
}

bool ignored_in_field(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0xF700 && c <= 0xF8FF);
}

std::string trim_unicode_space(std::string_view s) {
    auto is_space = [](char32_t c) {
        return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
               (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
               c == 0x205F || c == 0x3000;
    };
    std::vector<char32_t> cps = vt::decode_utf8(s);
    size_t a = 0, b = cps.size();
    while (a < b && is_space(cps[a]))
        ++a;
    while (b > a && is_space(cps[b - 1]))
        --b;
    std::string out;
    for (size_t i = a; i < b; ++i)
        kestrum::vt::append_utf8(out, cps[i]);
    return out;
}

int mouse_level(const vt::Terminal& t) {
    if (t.mode(vt::Mode::mouse_motion)) return 3;
    if (t.mode(vt::Mode::mouse_drag)) return 2;
    if (t.mode(vt::Mode::mouse_click)) return 1;
    return 0;
}

}  // namespace

void TerminalView::write_input(std::string_view bytes) {
    if (auto* s = active()) s->write(bytes);
}

// ---- keys ----

void TerminalView::key_down(const platform::KeyEvent& event) {
    if (!tabs || tabs->sessions.empty()) return;
    const std::uint64_t flags = event.modifier_flags;
    const bool shift = flags & platform::kShiftKeyMask;
    const bool control = flags & platform::kControlKeyMask;
    const bool option = flags & platform::kOptionKeyMask;

    // 1. The rename field.
    if (renaming) {
        std::string text =
            event.key_code == platform::kKeyCodeKeypadEnter ? std::string("\r") : event.characters;
        for (char32_t c : vt::decode_utf8(text)) {
            if (c == 0x08 || c == 0x7F) {
                pop_last_char(rename_buffer);
            } else if (c == '\r' || c == '\n') {
                std::string name = trim_unicode_space(rename_buffer);
                if (!name.empty()) tabs->rename(*renaming, name);
                renaming.reset();
                rename_buffer.clear();
                tabs->tabs_changed->store(true);
                end_search();
                return;
            } else if (c == 0x1B) {
                renaming.reset();
                rename_buffer.clear();
                tabs->tabs_changed->store(true);
                end_search();
                return;
            } else if (!ignored_in_field(c)) {
                vt::append_utf8(rename_buffer, c);
            }
        }
        tabs->tabs_changed->store(true);
        return;
    }

    // 2. Any other key restarts the blink.
    restart_blink();
    note_activity();

    // 3. Command shortcuts.
    if (flags & platform::kCommandKeyMask) {
        const std::string& text = event.characters_ignoring_modifiers;
        if (text.empty()) return;
        if (shift && text.size() == 1) {
            if (text == "[" || text == "{") return select_prev_tab();
            if (text == "]" || text == "}") return select_next_tab();
        }
        if (text[0] >= '1' && text[0] <= '9') {
            if (text[0] == '9')
                return select_tab(tabs->sessions.empty() ? 0 : tabs->sessions.size() - 1);
            return select_tab(static_cast<std::size_t>(text[0] - '1'));
        }
        if (text.size() != 1) return;
        char c = text[0];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        switch (c) {
            case 'a':
                select_all();
                break;
            case 'c':
                copy_selection();
                break;
            case 'k':
                clear_scrollback();
                break;
            case 't':
                new_tab();
                break;
            case 'v':
                paste_from_clipboard();
                break;
            case 'w':
                close_tab(tabs->active);
                break;
            case 0x7F:
                wipe_input();
                break;
            default:
                break;
        }
        return;
    }

    // 4. The search bar.
    if (search_open) {
        std::string text =
            event.key_code == platform::kKeyCodeKeypadEnter ? std::string("\r") : event.characters;
        if (text.empty()) return;
        bool edited = false;
        for (char32_t c : vt::decode_utf8(text)) {
            if (c == 0x08 || c == 0x7F) {
                pop_last_char(search_query);
                edited = true;
            } else if (c == '\r' || c == '\n') {
                search_step(!shift);
                return;
            } else if (c == 0x1B) {
                end_search();
                return;
            } else if (!ignored_in_field(c)) {
                vt::append_utf8(search_query, c);
                edited = true;
            }
        }
        if (edited) {
            search_edited_at = Clock::now();
            mark_active_dirty();
        }
        return;
    }

    // 5. The shell.
    auto* s = active();
    if (config.keyboard.option_as_meta && option && !control) {
        if (auto bytes = input::meta_bytes(event.characters_ignoring_modifiers)) {
            {
                std::lock_guard lock(s->terminal->mutex);
                s->terminal->terminal->scroll_to_bottom();
            }
            s->scroll_fraction = 0;
            s->write(*bytes);
            return;
        }
    }
    std::string text =
        event.key_code == platform::kKeyCodeKeypadEnter ? std::string("\r") : event.characters;
    if (text == "\r" && shift && !control) {
        bool alt;
        {
            std::lock_guard lock(s->terminal->mutex);
            alt = s->terminal->terminal->term().alt_screen();
            if (!alt) s->terminal->terminal->scroll_to_bottom();
        }
        if (!alt) {
            s->scroll_fraction = 0;
            s->write(
                input::shift_enter_bytes(static_cast<std::uint8_t>(config.keyboard.shift_enter)));
            return;
        }
    }
    if (text == "\x7f" && erase_selection()) return;
    bool app_cursor;
    {
        std::lock_guard lock(s->terminal->mutex);
        s->terminal->terminal->scroll_to_bottom();
        app_cursor = s->terminal->terminal->term().mode(vt::Mode::app_cursor);
    }
    s->scroll_fraction = 0;
    std::string bytes = input::key_bytes(text, event.key_code, flags, app_cursor);
    if (bytes.empty()) return;
    if (latency.enabled && !latency.pending)
        latency.pending = LatencyProbe::Pending{s->bytes_read->load(), Clock::now()};
    s->write(bytes);
}

// ---- pointer geometry ----

TerminalView::Cell TerminalView::event_cell(platform::Point p, bool clamp) const {
    Cell out{false, 0, 0};
    auto* s = const_cast<TerminalView*>(this)->active();
    float cw = renderer->cell_width() / static_cast<float>(scale);
    float ch = renderer->cell_height() / static_cast<float>(scale);
    if (!s || !(cw > 0) || !(ch > 0) || s->cols() == 0 || s->rows() == 0) return out;
    double x = p.x - config.padding.x;
    double y = bounds_.height - p.y - config.padding.y;
    long col = static_cast<long>(std::floor(x / cw));
    long row = static_cast<long>(std::floor(y / ch)) - 2;
    if (clamp) {
        out.inside = true;
        out.col = static_cast<std::uint16_t>(std::clamp<long>(col, 0, s->cols() - 1));
        out.row = static_cast<std::uint16_t>(std::clamp<long>(row, 0, s->rows() - 1));
        return out;
    }
    out.inside = x >= 0 && y >= 0 && col >= 0 && col < s->cols() && row >= 0 && row < s->rows();
    if (out.inside) {
        out.col = static_cast<std::uint16_t>(col);
        out.row = static_cast<std::uint16_t>(row);
    }
    return out;
}

std::optional<std::pair<TerminalView::Cell, vt::Side>> TerminalView::selection_cell(
    platform::Point p) const {
    auto* s = const_cast<TerminalView*>(this)->active();
    float cw = renderer->cell_width() / static_cast<float>(scale);
    float ch = renderer->cell_height() / static_cast<float>(scale);
    double x = p.x - config.padding.x;
    double y = bounds_.height - p.y - config.padding.y;
    if (!s || x < 0 || y < 0 || !(cw > 0) || !(ch > 0)) return std::nullopt;
    long col = std::clamp<long>(static_cast<long>(std::floor(x / cw)), 0, s->cols() - 1);
    long row = std::clamp<long>(static_cast<long>(std::floor(y / ch)) - 2, 0, s->rows() - 1);
    vt::Side side =
        x - cw * static_cast<double>(col) >= cw / 2.0 ? vt::Side::right : vt::Side::left;
    return std::pair{Cell{true, static_cast<std::uint16_t>(col), static_cast<std::uint16_t>(row)},
                     side};
}

void TerminalView::handle_mouse_button(const platform::MouseEvent& event, bool pressed,
                                       bool motion) {
    auto* s = active();
    if (!s) return;
    int level;
    bool sgr;
    {
        std::lock_guard lock(s->terminal->mutex);
        level = mouse_level(s->terminal->terminal->term());
        sgr = s->terminal->terminal->term().mode(vt::Mode::sgr_mouse);
    }
    const auto button = event.button_number;
    if (button < 0 || button > 2) return;
    // Left 0, middle 1, right 2 in reports; the window system numbers right 1, middle 2.
    const int report_button = button == 0 ? 0 : button == 1 ? 2 : 1;
    const std::uint8_t bit = static_cast<std::uint8_t>(1 << report_button);
    if (!pressed && !motion) {
        bool was = reported_buttons & bit;
        reported_buttons = static_cast<std::uint8_t>(reported_buttons & ~bit);
        if (!was || level == 0) return;
    } else {
        if (level == 0) return;
        if (motion && level < 2) return;
        if (motion && !(reported_buttons & bit)) return;
    }
    Cell cell = event_cell(event.location, !(pressed && !motion));
    if (!cell.inside) return;
    int code = report_button;
    if (event.modifier_flags & platform::kShiftKeyMask) code += 4;
    if (event.modifier_flags & platform::kOptionKeyMask) code += 8;
    if (event.modifier_flags & platform::kControlKeyMask) code += 16;
    if (motion) code += 32;
    auto bytes = input::encode_mouse(level, sgr, static_cast<std::uint8_t>(code), cell.col,
                                     cell.row, pressed || motion);
    if (!bytes) return;
    s->write(*bytes);
    if (pressed && !motion) reported_buttons |= bit;
}

bool TerminalView::reveal_path_at(const platform::MouseEvent& event) {
    Cell cell = event_cell(event.location, false);
    auto* s = active();
    if (!cell.inside || !s) return false;
    std::optional<std::string> token;
    std::optional<std::string> cwd;
    {
        std::lock_guard lock(s->terminal->mutex);
        token = s->terminal->terminal->path_token_at(cell.col, cell.row);
        cwd = s->terminal->terminal->cwd();
    }
    if (!token) return false;
    std::filesystem::path path;
    const char* home = std::getenv("HOME");
    if (*token == "~" || token->starts_with("~/")) {
        if (!home || !*home) return false;
        path = *token == "~" ? std::filesystem::path(home)
                             : std::filesystem::path(home) / token->substr(2);
    } else if (token->starts_with("/")) {
        path = *token;
    } else {
        if (!cwd) return false;
        path = std::filesystem::path(*cwd) / *token;
    }
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) || ec) return false;
    app_.reveal_in_file_manager(path);
    return true;
}

// ---- buttons ----

void TerminalView::mouse_down(const platform::MouseEvent& event) {
    BarHit hit = bar_event(event.location);
    switch (hit.kind) {
        case BarHit::Kind::Tab:
            if (event.click_count >= 2) {
                begin_rename(hit.index);
            } else {
                select_tab(hit.index);
            }
            return;
        case BarHit::Kind::NewTabButton:
            new_tab();
            return;
        case BarHit::Kind::Background:
            return;
        case BarHit::Kind::None:
            break;
    }
    if ((event.modifier_flags & platform::kCommandKeyMask) && reveal_path_at(event)) return;
    if (event.button_number != 0) return handle_mouse_button(event, true, false);
    auto* s = active();
    if (!s) return;
    bool mouse_mode;
    {
        std::lock_guard lock(s->terminal->mutex);
        mouse_mode = mouse_level(s->terminal->terminal->term()) > 0;
    }
    if (mouse_mode && !(event.modifier_flags & platform::kShiftKeyMask))
        return handle_mouse_button(event, true, false);

    auto where = selection_cell(event.location);
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = *s->terminal->terminal;
        if (!where) {
            t.term().selection.reset();
        } else if (event.click_count == 2 && t.select_url_at(where->first.col, where->first.row)) {
            selecting = false;
        } else {
            auto offset = static_cast<std::int32_t>(t.term().display_offset());
            vt::Point point{static_cast<std::int32_t>(where->first.row) - offset,
                            std::min<std::uint32_t>(where->first.col, t.term().cols() - 1u)};
            vt::SelectionKind kind = event.click_count <= 1   ? vt::SelectionKind::simple
                                     : event.click_count == 2 ? vt::SelectionKind::word
                                                              : vt::SelectionKind::line;
            t.term().selection = vt::Selection(kind, point, where->second);
            selecting = true;
        }
    }
    mark_active_dirty();
}

void TerminalView::mouse_dragged(const platform::MouseEvent& event) {
    if (!selecting) return handle_mouse_button(event, false, true);
    auto* s = active();
    auto where = selection_cell(event.location);
    if (!s || !where) return;
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = s->terminal->terminal->term();
        if (!t.selection) return;
        auto offset = static_cast<std::int32_t>(t.display_offset());
        t.selection->update({static_cast<std::int32_t>(where->first.row) - offset,
                             std::min<std::uint32_t>(where->first.col, t.cols() - 1u)},
                            where->second);
    }
    mark_active_dirty();
}

void TerminalView::mouse_up(const platform::MouseEvent& event) {
    if (selecting) {
        selecting = false;
        return;
    }
    handle_mouse_button(event, false, false);
}

void TerminalView::right_mouse_down(const platform::MouseEvent& event) {
    BarHit hit = bar_event(event.location);
    if (hit.kind == BarHit::Kind::Tab) {
        context_tab = hit.index;
        platform::Menu menu;
        menu.items.push_back(
            platform::MenuItem::item("New Tab", platform::Action::ctx_new_tab, "", 0));
        menu.items.push_back(
            platform::MenuItem::item("Rename Tab\u2026", platform::Action::ctx_rename_tab, "", 0));
        menu.items.push_back(platform::MenuItem::separator_item());
        menu.items.push_back(
            platform::MenuItem::item("Close Tab", platform::Action::ctx_close_tab, "", 0));
        if (tabs->sessions.size() > 1)
            menu.items.push_back(platform::MenuItem::item(
                "Close Other Tabs", platform::Action::ctx_close_other_tabs, "", 0));
        if (window_) window_->pop_up_context_menu(menu, event.location);
        return;
    }
    if (hit.kind != BarHit::Kind::None) return;
    auto* s = active();
    if (!s) return;
    bool reporting;
    std::optional<std::string> text;
    std::optional<std::size_t> deletable;
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = *s->terminal->terminal;
        reporting = mouse_level(t.term()) > 0;
        if (!reporting) {
            text = t.term().selection_text();
            deletable = t.selection_deletable_len();
        }
    }
    // A program that asked for mouse reports gets the press instead of a menu.
    if (reporting) return handle_mouse_button(event, true, false);
    auto& board = app_.pasteboard();
    bool can_paste = board.string().has_value() || board.png_data() || board.tiff_data();
    auto cut = platform::MenuItem::item("Cut", platform::Action::ctx_cut, "", 0);
    cut.enabled = deletable.has_value();
    auto copy = platform::MenuItem::item("Copy", platform::Action::ctx_copy, "", 0);
    copy.enabled = text && !text->empty();
    auto paste = platform::MenuItem::item("Paste", platform::Action::ctx_paste, "", 0);
    paste.enabled = can_paste;
    if (window_)
        window_->pop_up_context_menu(platform::Menu{"", {cut, copy, paste}}, event.location);
}

void TerminalView::right_mouse_up(const platform::MouseEvent& event) {
    handle_mouse_button(event, false, false);
}
void TerminalView::right_mouse_dragged(const platform::MouseEvent& event) {
    handle_mouse_button(event, false, true);
}
void TerminalView::other_mouse_down(const platform::MouseEvent& event) {
    handle_mouse_button(event, true, false);
}
void TerminalView::other_mouse_up(const platform::MouseEvent& event) {
    handle_mouse_button(event, false, false);
}
void TerminalView::other_mouse_dragged(const platform::MouseEvent& event) {
    handle_mouse_button(event, false, true);
}

void TerminalView::mouse_moved(const platform::MouseEvent& event) {
    set_hover(bar_event(event.location));
}
void TerminalView::mouse_exited(const platform::MouseEvent&) {
    set_hover(BarHit::none());
}

// ---- wheel ----

void TerminalView::scroll_wheel(const platform::ScrollEvent& event) {
    BarHit hit = bar_event(event.location);
    note_activity();
    if (hit.kind != BarHit::Kind::None) {
        TabLayout l = layout();
        if (l.scroll_max <= 0) return;
        double delta = std::abs(event.scrolling_delta_x) > std::abs(event.scrolling_delta_y)
                           ? event.scrolling_delta_x
                           : event.scrolling_delta_y;
        double factor = event.has_precise_scrolling_deltas ? scale : 32.0;
        float target =
            std::clamp(static_cast<float>(tab_scroll_target - factor * delta), 0.0f, l.scroll_max);
        if (std::abs(target - tab_scroll_target) > std::numeric_limits<float>::epsilon()) {
            tab_scroll_target = target;
            mark_active_dirty();
        }
        return;
    }
    auto* s = active();
    if (!s) return;
    const bool precise = event.has_precise_scrolling_deltas;
    const double dy = event.scrolling_delta_y;
    double ch_points = renderer->cell_height() / scale;
    double lines;
    if (precise) {
        lines = dy / (ch_points > 0 ? ch_points : 1.0);
    } else {
        if (dy == 0) return;
        lines = dy > 0 ? 3 : -3;
    }
    int level;
    bool sgr, alt, alt_scroll, app_cursor;
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = s->terminal->terminal->term();
        level = mouse_level(t);
        sgr = t.mode(vt::Mode::sgr_mouse);
        alt = t.alt_screen();
        alt_scroll = t.mode(vt::Mode::alternate_scroll);
        app_cursor = t.mode(vt::Mode::app_cursor);
    }
    auto whole = [&](double amount) {
        if (!precise) return static_cast<long>(amount);
        double total = amount + s->scroll_fraction;
        long n = static_cast<long>(std::trunc(total));
        s->scroll_fraction = total - static_cast<double>(n);
        return n;
    };
    if (level > 0) {
        long n = whole(lines);
        if (n == 0) return;
        Cell cell = event_cell(event.location, false);
        if (!cell.inside) return;
        int code = n > 0 ? 64 : 65;
        if (event.modifier_flags & platform::kShiftKeyMask) code += 4;
        if (event.modifier_flags & platform::kOptionKeyMask) code += 8;
        if (event.modifier_flags & platform::kControlKeyMask) code += 16;
        std::string bytes;
        for (long i = 0; i < std::labs(n); ++i)
            bytes += *input::encode_mouse(level, sgr, static_cast<std::uint8_t>(code), cell.col,
                                          cell.row, true);
        s->write(bytes);
        return;
    }
    if (alt) {
        long n = whole(lines);
        if (!alt_scroll || n == 0) return;
        std::string seq = std::string(app_cursor ? "\x1bO" : "\x1b[") + (n > 0 ? "A" : "B");
        std::string bytes;
        for (long i = 0; i < std::labs(n); ++i)
            bytes += seq;
        s->write(bytes);
        return;
    }
    double total = precise ? lines + s->scroll_fraction : lines;
    long step = precise ? static_cast<long>(std::floor(total)) : (lines > 0 ? 3 : -3);
    double old_fraction = s->scroll_fraction;
    std::size_t before, after, history;
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = *s->terminal->terminal;
        before = t.term().display_offset();
        if (step != 0) t.scroll_lines(static_cast<std::int32_t>(step));
        after = t.term().display_offset();
        history = t.term().history_size();
    }
    bool moved_exactly = static_cast<long>(after) - static_cast<long>(before) == step;
    s->scroll_fraction =
        precise && after < history && moved_exactly ? total - std::floor(total) : 0.0;
    if (after != before || std::abs(s->scroll_fraction - old_fraction) > 0.0001) {
        last_scroll_at = Clock::now();
        mark_active_dirty();
    }
}

// ---- selection and prompt editing ----

void TerminalView::select_all() {
    auto* s = active();
    if (!s) return;
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = *s->terminal->terminal;
        auto& term = t.term();
        auto cursor = term.renderable_cursor();
        auto start = t.input_start();
        if (!term.alt_screen() && start && *start < cursor.point) {
            vt::Point end = cursor.point;
            if (!cursor.pending_wrap) {
                end = end.col == 0 ? vt::Point{end.line - 1, term.cols() - 1u}
                                   : vt::Point{end.line, end.col - 1};
            }
            term.selection = vt::Selection(vt::SelectionKind::simple,
                                           vt::Selection::Anchor{*start, vt::Side::left},
                                           vt::Selection::Anchor{end, vt::Side::right});
        } else {
            term.selection = vt::Selection(
                vt::SelectionKind::simple,
                vt::Selection::Anchor{{term.top_line(), 0}, vt::Side::left},
                vt::Selection::Anchor{{term.bottom_line(), term.cols() - 1u}, vt::Side::right});
        }
    }
    mark_active_dirty();
}

bool TerminalView::erase_selection() {
    auto* s = active();
    if (!s) return false;
    std::optional<std::size_t> count;
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = *s->terminal->terminal;
        count = t.selection_deletable_len();
        if (!count) return false;
        t.scroll_to_bottom();
        t.term().selection.reset();
    }
    s->scroll_fraction = 0;
    s->write(std::string(*count, '\x7f'));
    s->dirty->store(true);
    return true;
}

void TerminalView::wipe_input() {
    auto* s = active();
    if (!s) return;
    std::size_t count = 0;
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = *s->terminal->terminal;
        if (t.term().alt_screen()) return;
        t.scroll_to_bottom();
        t.term().selection.reset();
        auto start = t.input_start();
        auto cursor = t.term().renderable_cursor();
        if (!start) {
            count = 4096;
        } else if (*start < cursor.point) {
            vt::Point end = cursor.point;
            if (!cursor.pending_wrap)
                end = end.col == 0 ? vt::Point{end.line - 1, t.term().cols() - 1u}
                                   : vt::Point{end.line, end.col - 1};
            t.term().selection = vt::Selection(vt::SelectionKind::simple,
                                               vt::Selection::Anchor{*start, vt::Side::left},
                                               vt::Selection::Anchor{end, vt::Side::right});
            count = t.selection_deletable_len().value_or(0);
            t.term().selection.reset();
        }
    }
    s->scroll_fraction = 0;
    if (count == 0) return;
    s->write(std::string(count, '\x7f'));
    s->dirty->store(true);
}

// ---- clipboard and drops ----

void TerminalView::copy_selection() {
    auto* s = active();
    if (!s) return;
    std::optional<std::string> text;
    {
        std::lock_guard lock(s->terminal->mutex);
        text = s->terminal->terminal->term().selection_text();
    }
    if (!text || text->empty()) return;
    app_.pasteboard().set_string(*text);
}

namespace {
// The common paste step: to the bottom, encode, write.
void paste_text(kestrum_tabs::Session& s, std::string_view text, std::optional<bool> bracketed) {
    bool bracket;
    {
        std::lock_guard lock(s.terminal->mutex);
        auto& t = *s.terminal->terminal;
        t.scroll_to_bottom();
        bracket = bracketed.value_or(t.term().mode(vt::Mode::bracketed_paste));
    }
    s.scroll_fraction = 0;
    s.write(input::paste_bytes(text, bracket));
}
}  // namespace

void TerminalView::paste_from_clipboard() {
    auto* s = active();
    if (!s) return;
    auto& board = app_.pasteboard();
    if (auto text = board.string()) {
        paste_text(*s, *text, std::nullopt);
        return;
    }
    auto png = board.png_data();
    bool advertised = png.has_value();
    if (!png) {
        if (auto tiff = board.tiff_data()) {
            advertised = true;
            png = board.image_as_png(*tiff);
        }
    }
    if (png) {
        auto dir = ensure_paste_dir();
        if (!dir) {
            KLOG_WARN(kTarget, "could not create paste temp dir {}: {}", paste_dir().string(),
                      dir.error().message());
        } else {
            std::uint64_t n = g_png_seq.fetch_add(1);
            std::filesystem::path path = *dir / fmt::format("paste-{}.png", n);
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(png->data()),
                      static_cast<std::streamsize>(png->size()));
            out.close();
            if (out && kestrum::core::is_valid_utf8(path.string())) {
                paste_text(*s, shell_quote_path(path.string()), std::nullopt);
                return;
            }
        }
    }
    if (advertised) {
        KLOG_WARN(kTarget,
                  "image paste failed: the clipboard holds an image, but it could not be "
                  "materialized as a temp PNG");
        app_.beep();
    }
}

void TerminalView::clear_scrollback() {
    auto* s = active();
    if (!s) return;
    {
        std::lock_guard lock(s->terminal->mutex);
        auto& t = *s->terminal->terminal;
        t.term().clear_history();
        t.scroll_to_bottom();
    }
    s->scroll_fraction = 0;
    mark_active_dirty();
}

platform::DragOperation TerminalView::dragging_entered(const platform::DragInfo& info) {
    return !info.file_paths.empty() || info.string ? platform::DragOperation::copy
                                                   : platform::DragOperation::none;
}

platform::DragOperation TerminalView::dragging_updated(const platform::DragInfo& info) {
    return dragging_entered(info);
}

bool TerminalView::perform_drag_operation(const platform::DragInfo& info) {
    auto* s = active();
    if (!s) return false;
    std::string text;
    std::optional<bool> bracketed;
    if (!info.file_paths.empty()) {
        for (const auto& p : info.file_paths) {
            std::string path = p.string();
            if (!kestrum::core::is_valid_utf8(path)) continue;
            text += shell_quote_path(path) + " ";
        }
        bracketed = false;
    } else if (info.string) {
        text = *info.string;
    }
    if (text.empty()) return false;
    paste_text(*s, text, bracketed);
    mark_active_dirty();
    return true;
}

}  // namespace kestrum_app
