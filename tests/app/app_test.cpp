#include "app/app.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "app/menu.hpp"
#include "app/terminal_view.hpp"
#include "platform/fake/fake.hpp"
#include "support/log_capture.hpp"

namespace kestrum_app {
namespace {

using kestrum::platform::Action;

TEST(MainMenu, ItemsKeysAndOrder) {
    struct Row {
        const char* menu;
        const char* title;  // null for a separator
        Action action;
        const char* key;
        std::uint64_t modifiers;
    };
    const Row rows[] = {
        {"", "Quit Kestrum", Action::terminate, "q", 0x100000},
        {"Edit", "Select All", Action::select_all_text, "a", 0x100000},
        {"Edit", nullptr, {}, "", 0},
        {"Edit", "Find\u2026", Action::find_in_terminal, "f", 0x100000},
        {"Edit", "Find Next", Action::find_next, "g", 0x100000},
        {"Edit", "Find Previous", Action::find_previous, "g", 0x120000},
        {"Shell", "New Tab", Action::new_tab, "t", 0x100000},
        {"Shell", "Close Tab", Action::close_tab, "w", 0x100000},
        {"Shell", nullptr, {}, "", 0},
        {"Shell", "Open Folder\u2026", Action::open_folder_for_tab, "o", 0x100000},
        {"Shell", nullptr, {}, "", 0},
        {"Shell", "Select Next Tab", Action::select_next_tab, "]", 0x120000},
        {"Shell", "Select Previous Tab", Action::select_previous_tab, "[", 0x120000},
    };
    auto menus = build_main_menu();
    ASSERT_EQ(menus.size(), 3u);
    size_t i = 0;
    for (const auto& menu : menus) {
        for (const auto& item : menu.items) {
            ASSERT_LT(i, std::size(rows));
            const Row& row = rows[i++];
            EXPECT_EQ(menu.title, row.menu);
            if (!row.title) {
                EXPECT_TRUE(item.separator);
                continue;
            }
            EXPECT_EQ(item.title, row.title);
            EXPECT_EQ(item.action, row.action);
            EXPECT_EQ(item.key, row.key);
            EXPECT_EQ(item.modifiers, row.modifiers);
        }
    }
    EXPECT_EQ(i, std::size(rows));
}

TEST(Alerts, StyleFollowsTheCriticalFlag) {
    kestrum::platform::fake::FakeApplication app;
    show_error_alert(app, "m", "i", true);
    show_error_alert(app, "m2", "", false);
    ASSERT_EQ(app.alerts.size(), 2u);
    EXPECT_EQ(app.alerts[0].style, kestrum::platform::AlertStyle::critical);
    EXPECT_EQ(app.alerts[0].informative, "i");
    EXPECT_EQ(app.alerts[1].style, kestrum::platform::AlertStyle::warning);
}

// Shows alerts on standard error so the death test can see them.
class AlertEcho final : public kestrum::platform::fake::FakeApplication {
  public:
    void run_alert(const kestrum::platform::Alert& alert) override {
        std::fprintf(stderr, "ALERT(%d) %s | %s\n", static_cast<int>(alert.style),
                     alert.message.c_str(), alert.informative.c_str());
    }
};

TEST(FatalStartupFailureDeathTest, LogsAlertsAndExitsWithOne) {
    EXPECT_EXIT(
        {
            kestrum::testing::ensure_logging();
            AlertEcho app;
            kestrum::core::Error error =
                kestrum::core::Error("failed to spawn shell $SHELL: No such file or directory")
                    .with_cause("os error 2")
                    .with_cause("second");
            fatal_startup_failure(app, error);
        },
        ::testing::ExitedWithCode(1),
        "ERROR kestrum_app::app_delegate: failed to start terminal session: failed to spawn shell "
        "\\$SHELL: No such file or directory: os error 2: second\n"
        ".*ALERT\\(2\\) Kestrum could not start a terminal session \\| failed to spawn shell "
        "\\$SHELL: No such file or directory: os error 2: second");
}

TEST(MainThread, OnlyTheInitialThread) {
    EXPECT_TRUE(on_main_thread());
    bool other = true;
    std::thread([&] { other = on_main_thread(); }).join();
    EXPECT_FALSE(other);
}

}  // namespace
}  // namespace kestrum_app

namespace kestrum_app {
namespace {

TEST(PtyConfig, FromTheConfiguration) {
    kestrum_config::Config config;
    auto login = pty_config(config);
    EXPECT_FALSE(login.shell.has_value());
    EXPECT_TRUE(login.args.empty());
    EXPECT_TRUE(login.env.empty());
    EXPECT_EQ(login.term, "xterm-256color");
    EXPECT_FALSE(login.cwd.has_value());
    EXPECT_EQ(login.size, (kestrum_pty::WindowSize{24, 80, 0, 0}));
    config.shell = "";
    EXPECT_EQ(pty_config(config).shell, "");  // passed on as is
}

}  // namespace
}  // namespace kestrum_app
