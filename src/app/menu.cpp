#include "app/menu.hpp"

namespace kestrum_app {

using kestrum::platform::Action;
using kestrum::platform::Menu;
using kestrum::platform::MenuItem;

MenuItem item(std::string title, Action action, std::string key, std::uint64_t modifiers) {
    return MenuItem::item(std::move(title), action, std::move(key), modifiers);
}

std::vector<Menu> build_main_menu() {
    const MenuItem separator = MenuItem::separator_item();
    return {
        Menu{"", {item("Quit Kestrum", Action::terminate, "q", kCommand)}},
        Menu{"Edit",
             {
                 item("Select All", Action::select_all_text, "a", kCommand),
                 separator,
                 item("Find\u2026", Action::find_in_terminal, "f", kCommand),
                 item("Find Next", Action::find_next, "g", kCommand),
                 item("Find Previous", Action::find_previous, "g", kCommandShift),
             }},
        Menu{"Shell",
             {
                 item("New Tab", Action::new_tab, "t", kCommand),
                 item("Close Tab", Action::close_tab, "w", kCommand),
                 separator,
                 item("Open Folder\u2026", Action::open_folder_for_tab, "o", kCommand),
                 separator,
                 item("Select Next Tab", Action::select_next_tab, "]", kCommandShift),
                 item("Select Previous Tab", Action::select_previous_tab, "[", kCommandShift),
             }},
    };
}

}  // namespace kestrum_app
