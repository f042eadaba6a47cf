// Tab operations, the tab bar's hover and hit test, and the search bar.
#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/app.hpp"
#include "app/paste.hpp"
#include "app/terminal_view.hpp"
#include "core/log.hpp"

namespace kestrum_app {

namespace {

using kestrum::core::Clock;
using kestrum::core::since;
namespace platform = kestrum::platform;

constexpr std::string_view kTarget = "kestrum_app::terminal_view";

bool directory_now(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_directory(p, ec);
}

}  // namespace

std::vector<std::string> TerminalView::titles() const {
    std::vector<std::string> out;
    if (!tabs) return out;
    out.reserve(tabs->sessions.size());
    for (const auto& s : tabs->sessions)
        out.push_back(s->title());
    return out;
}

TabLayout TerminalView::layout() const {
    return tab_layout(titles(), static_cast<float>(layer_->drawable_size().width),
                      renderer->cell_width(), renderer->cell_height(), scale);
}

BarHit TerminalView::bar_event(platform::Point location) const {
    std::vector<std::string> shown = titles();
    // While renaming, the tab is laid out with the text it draws.
    if (renaming && *renaming < shown.size()) shown[*renaming] = rename_buffer + "\u258F";
    const float width = static_cast<float>(layer_->drawable_size().width);
    TabLayout l = tab_layout(shown, width, renderer->cell_width(), renderer->cell_height(), scale);
    return bar_hit(l, location.x, location.y, bounds_.height, scale, renderer->cell_height(), width,
                   tab_scroll);
}

void TerminalView::set_hover(BarHit hit) {
    BarHit target = hit;
    if (hit.kind == BarHit::Kind::Background) target = BarHit::none();
    if (hit.kind == BarHit::Kind::Tab && tabs && hit.index == tabs->active) target = BarHit::none();
    if (target == hover) return;
    Instant now = Clock::now();
    double t =
        std::min(std::chrono::duration<double>(since(now, hover_changed_at)).count() / 0.15, 1.0);
    float old = hover.kind != BarHit::Kind::None ? 1.0f : 0.0f;
    hover_alpha += (old - hover_alpha) * static_cast<float>(t * t * (3 - 2 * t));
    hover_changed_at = now;
    if (target.kind != BarHit::Kind::None) hover_previous = target;
    hover = target;
    mark_active_dirty();
}

void TerminalView::cancel_rename() {
    renaming.reset();
    rename_buffer.clear();
    if (tabs) tabs->tabs_changed->store(true);
}

void TerminalView::switched_tabs() {
    cursor_cell_col = 0xFFFF;
    cursor_cell_row = 0xFFFF;
    glide_settled = true;
}

void TerminalView::switch_tab(const std::function<void()>& change) {
    cancel_rename();
    end_search();
    change();
    last_scroll_at.reset();
    switched_tabs();
    // During a live resize only the active tab followed the size.
    if (live_resize) reconfigure_grid();
}

void TerminalView::select_tab(std::size_t index) {
    switch_tab([&] { tabs->select(index); });
}

void TerminalView::select_next_tab() {
    switch_tab([&] { tabs->select_next(); });
}

void TerminalView::select_prev_tab() {
    switch_tab([&] { tabs->select_previous(); });
}

void TerminalView::open_tab(kestrum_pty::PtyConfig pty, std::string_view failure_log) {
    cancel_rename();
    end_search();
    auto* s = active();
    std::uint16_t cols = s ? s->cols() : 80;
    std::uint16_t rows = s ? s->rows() : 24;
    auto opened = tabs->open(cols, rows, std::move(pty), cell_width(), cell_height());
    if (!opened) {
        std::string text = opened.error().chained();
        KLOG_ERROR(kTarget, "{}{}", failure_log, text);
        show_error_alert(app_, "Kestrum could not open a new tab", text, false);
        return;
    }
    switched_tabs();
    reconfigure_grid();
}

void TerminalView::new_tab() {
    open_tab(pty_config(config), "failed to open a new tab: ");
}

void TerminalView::open_dir(const std::filesystem::path& path) {
    if (!directory_now(path)) {
        KLOG_WARN("kestrum_app::app_delegate",
                  "ignoring Open-With folder that is no longer a readable directory: {}",
                  path.string());
        return;
    }
    kestrum_pty::PtyConfig pty = pty_config(config);
    pty.cwd = path;
    open_tab(std::move(pty), "failed to open a tab for the requested folder: ");
}

void TerminalView::close_tab(std::size_t index) {
    cancel_rename();
    end_search();
    tabs->remove(index);
    if (tabs->sessions.empty()) {
        if (window_) window_->close();
        return;
    }
    switched_tabs();
    reconfigure_grid();
}

void TerminalView::begin_rename(std::size_t index) {
    std::vector<std::string> shown = titles();
    renaming = index;
    rename_buffer = index < shown.size() ? shown[index] : std::string();
    tabs->tabs_changed->store(true);
}

void TerminalView::menu_open_folder() {
    cancel_rename();
    end_search();
    auto folder = app_.choose_folder();
    if (!folder) return;
    std::string path = folder->string();
    bool control = std::any_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    auto* s = active();
    if (!s) return;
    bool alt_screen;
    {
        std::lock_guard lock(s->terminal->mutex);
        alt_screen = s->terminal->terminal->term().alt_screen();
        if (!control && !alt_screen) s->terminal->terminal->scroll_to_bottom();
    }
    if (control || alt_screen) {
        open_dir(*folder);
        return;
    }
    s->scroll_fraction = 0;
    s->write(
        "\x05\x15"
        "cd -- " +
        shell_quote_path(path) + "\r");
    s->dirty->store(true);
}

void TerminalView::menu_find() {
    if (search_open) {
        end_search();
        return;
    }
    cancel_rename();
    set_search_open(true);
}

void TerminalView::apply_search() {
    search_edited_at.reset();
    std::string query = search_query;
    if (auto* s = active()) {
        std::lock_guard lock(s->terminal->mutex);
        s->terminal->terminal->search_set(query);
    }
    mark_active_dirty();
}

void TerminalView::search_step(bool forward) {
    if (!search_open) return;
    if (search_edited_at) apply_search();
    if (auto* s = active()) {
        std::lock_guard lock(s->terminal->mutex);
        s->terminal->terminal->search_advance(forward);
    }
    mark_active_dirty();
}

void TerminalView::end_search() {
    if (search_open) set_search_open(false);
}

// Opening and closing both start from an empty query and no search in the terminal.
void TerminalView::set_search_open(bool open) {
    search_open = open;
    search_query.clear();
    search_edited_at.reset();
    if (auto* s = active()) {
        {
            std::lock_guard lock(s->terminal->mutex);
            s->terminal->terminal->search().reset();
        }
        mark_active_dirty();
    }
}

void TerminalView::perform_action(platform::Action action) {
    using A = platform::Action;
    if (!tabs) return;
    switch (action) {
        case A::terminate:
            app_.terminate();
            break;
        case A::select_all_text:
            select_all();
            break;
        case A::find_in_terminal:
            menu_find();
            break;
        case A::find_next:
            search_step(true);
            break;
        case A::find_previous:
            search_step(false);
            break;
        case A::new_tab:
        case A::ctx_new_tab:
            new_tab();
            break;
        case A::close_tab:
            close_tab(tabs->active);
            break;
        case A::open_folder_for_tab:
            menu_open_folder();
            break;
        case A::select_next_tab:
            select_next_tab();
            break;
        case A::select_previous_tab:
            select_prev_tab();
            break;
        case A::ctx_rename_tab:
            if (context_tab) begin_rename(*context_tab);
            break;
        case A::ctx_close_tab:
            if (context_tab) close_tab(*context_tab);
            break;
        case A::ctx_close_other_tabs:
            if (!context_tab) break;
            cancel_rename();
            end_search();
            if (tabs->close_others(*context_tab)) {
                switched_tabs();
                reconfigure_grid();
            } else if (window_) {
                window_->close();
            }
            break;
        case A::ctx_copy:
            copy_selection();
            break;
        case A::ctx_cut:
            copy_selection();
            erase_selection();
            break;
        case A::ctx_paste:
            paste_from_clipboard();
            break;
    }
}

}  // namespace kestrum_app
