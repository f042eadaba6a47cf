#include "core/log.hpp"

#include <gtest/gtest.h>

#include "support/log_capture.hpp"

namespace kestrum::core {
namespace {

TEST(LogFilter, LevelForTargets) {
    struct Case {
        const char* spec;
        const char* target;
        Level expected;
    };
    const Case cases[] = {
        {"", "kestrum", Level::info},
        {"info", "kestrum_tabs::session", Level::info},
        {"warn", "kestrum", Level::warn},
        {"WARN", "kestrum", Level::warn},
        {"off", "kestrum_app", Level::off},
        {"debug", "kestrum_config", Level::debug},
        // A target covers itself and the modules below it, not name prefixes.
        {"info,kestrum_tabs=trace", "kestrum_tabs::session", Level::trace},
        {"info,kestrum_tabs=trace", "kestrum_tabs", Level::trace},
        {"info,kestrum_tabs=trace", "kestrum_tabsx", Level::info},
        {"info,kestrum_tabs=trace", "kestrum_term::terminal", Level::info},
        // The longest matching target wins, whatever the order.
        {"kestrum_tabs::session=error,kestrum_tabs=debug", "kestrum_tabs::session", Level::error},
        {"kestrum_tabs=debug,kestrum_tabs::session=error", "kestrum_tabs::session", Level::error},
        {"kestrum_tabs=debug,kestrum_tabs::session=error", "kestrum_tabs::manager", Level::debug},
        // Only target directives: everything else is off.
        {"kestrum_config=debug", "kestrum", Level::off},
        {"kestrum_config", "kestrum_config", Level::trace},
        {"warn,kestrum_app=off", "kestrum_app::notify", Level::off},
        // Spaces and empty directives are tolerated; a bad level is skipped.
        {" warn , , kestrum=debug ", "kestrum", Level::debug},
        {"warn,kestrum=loud", "kestrum", Level::warn},
    };
    for (const auto& c : cases) {
        auto filter = LogFilter::parse(c.spec);
        EXPECT_EQ(filter.level_for(c.target), c.expected) << c.spec << " / " << c.target;
        EXPECT_GE(filter.max_level(), filter.level_for(c.target)) << c.spec;
    }
    EXPECT_EQ(LogFilter::parse("warn,kestrum=loud").problems().size(), 1u);
}

TEST(LogFilter, ColorModeWords) {
    EXPECT_EQ(parse_color_mode(nullptr), ColorMode::automatic);
    EXPECT_EQ(parse_color_mode("always"), ColorMode::always);
    EXPECT_EQ(parse_color_mode("never"), ColorMode::never);
    // Other letter case is neither word.
    EXPECT_EQ(parse_color_mode("Never"), ColorMode::automatic);
    EXPECT_EQ(parse_color_mode("ALWAYS"), ColorMode::automatic);
    EXPECT_EQ(parse_color_mode(""), ColorMode::automatic);
}

TEST(Log, OneLinePerRecordWithLevelAndTarget) {
    testing::LogCapture capture;
    set_log_filter(LogFilter::parse("info,kestrum_tabs=debug"));
    KLOG_INFO("kestrum", "hello {}", 42);
    KLOG_DEBUG("kestrum_tabs::session", "visible");
    KLOG_DEBUG("kestrum_term", "hidden");
    std::string text = capture.text();
    set_log_filter(LogFilter::parse("trace"));
    EXPECT_NE(text.find("INFO  kestrum: hello 42\n"), std::string::npos) << text;
    EXPECT_NE(text.find("DEBUG kestrum_tabs::session: visible\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("hidden"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
}

}  // namespace
}  // namespace kestrum::core
