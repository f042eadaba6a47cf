// The ordered tabs of the window, one session each, and the active index.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "tabs/session.hpp"

namespace kestrum_tabs {

class TabManager {
  public:
    // One tab; a spawn error is returned unchanged.
    static std::expected<std::unique_ptr<TabManager>, kestrum::core::Error> create(
        std::uint16_t cols, std::uint16_t rows, const SessionOptions& options,
        kestrum_pty::PtyConfig pty_config, BellCallback bell, float cell_width, float cell_height);

    // Appends a tab and makes it active; on failure nothing changes.
    std::expected<void, kestrum::core::Error> open(std::uint16_t cols, std::uint16_t rows,
                                                   kestrum_pty::PtyConfig pty_config,
                                                   float cell_width, float cell_height);
    // Sets a tab's manual title; an invalid index is ignored.
    void rename(std::size_t index, std::string_view text);
    // Keeps only the tab at `keep`; true when a tab remains.
    bool close_others(std::size_t keep);

    // Selection and removal, as the view applies them.
    void select(std::size_t index);
    void select_next();
    void select_previous();
    // Removes and tears down one tab; false when the index was invalid.
    bool remove(std::size_t index);

    std::vector<std::unique_ptr<Session>> sessions;
    std::size_t active = 0;
    std::shared_ptr<std::atomic<bool>> tabs_changed;

    Session* active_session() { return sessions.empty() ? nullptr : sessions[active].get(); }
    const SessionOptions& options() const { return options_; }

  private:
    TabManager(SessionOptions options, BellCallback bell)
        : tabs_changed(std::make_shared<std::atomic<bool>>(true)),
          options_(options),
          bell_(std::move(bell)) {}
    void mark_active();

    SessionOptions options_;
    BellCallback bell_;
};

}  // namespace kestrum_tabs
