#include "tabs/manager.hpp"

#include <algorithm>

namespace kestrum_tabs {

std::expected<std::unique_ptr<TabManager>, kestrum::core::Error> TabManager::create(
    std::uint16_t cols, std::uint16_t rows, const SessionOptions& options,
    kestrum_pty::PtyConfig pty_config, BellCallback bell, float cell_width, float cell_height) {
    std::unique_ptr<TabManager> m(new TabManager(options, std::move(bell)));
    auto session = Session::spawn(cols, rows, options, std::move(pty_config), m->tabs_changed,
                                  m->bell_, cell_width, cell_height);
    if (!session) return std::unexpected(session.error());
    m->sessions.push_back(std::move(*session));
    return m;
}

std::expected<void, kestrum::core::Error> TabManager::open(std::uint16_t cols, std::uint16_t rows,
                                                           kestrum_pty::PtyConfig pty_config,
                                                           float cell_width, float cell_height) {
    auto session = Session::spawn(cols, rows, options_, std::move(pty_config), tabs_changed, bell_,
                                  cell_width, cell_height);
    if (!session) return std::unexpected(session.error());
    sessions.push_back(std::move(*session));
    active = sessions.size() - 1;
    tabs_changed->store(true);
    return {};
}

void TabManager::rename(std::size_t index, std::string_view text) {
    if (index >= sessions.size()) return;
    sessions[index]->set_manual_title(text);
    tabs_changed->store(true);
}

void TabManager::mark_active() {
    sessions[active]->dirty->store(true);
    tabs_changed->store(true);
}

bool TabManager::close_others(std::size_t keep) {
    if (keep >= sessions.size()) return !sessions.empty();
    std::unique_ptr<Session> kept = std::move(sessions[keep]);
    // Teardown in list order, from the first to the last.
    for (auto& s : sessions)
        s.reset();
    sessions.clear();
    sessions.push_back(std::move(kept));
    active = 0;
    mark_active();
    return true;
}

void TabManager::select(std::size_t index) {
    if (index >= sessions.size() || index == active) return;
    active = index;
    mark_active();
}

void TabManager::select_next() {
    if (sessions.empty()) return;
    select((active + 1) % sessions.size());
}

void TabManager::select_previous() {
    if (sessions.empty()) return;
    select((active + sessions.size() - 1) % sessions.size());
}

bool TabManager::remove(std::size_t index) {
    if (index >= sessions.size()) return false;
    const std::size_t old_active = active;
    sessions.erase(sessions.begin() + static_cast<std::ptrdiff_t>(index));
    if (sessions.empty()) {
        active = 0;
        return true;
    }
    std::size_t next = index < old_active ? old_active - 1 : old_active;
    active = std::min(next, sessions.size() - 1);
    mark_active();
    return true;
}

}  // namespace kestrum_tabs
