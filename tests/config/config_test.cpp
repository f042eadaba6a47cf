#include "config/config.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "support/env.hpp"
#include "support/log_capture.hpp"

namespace kestrum_config {
namespace {

namespace fs = std::filesystem;

struct ParseCase {
    const char* name;
    const char* toml;
    std::function<void(Config&)> expect;  // edits applied to the defaults; null: all defaults
    const char* warning;                  // a fragment of the one warning, or null for none
};

TEST(ConfigParse, Table) {
    const ParseCase cases[] = {
        {"empty file", "", nullptr, nullptr},
        {"every key",
         R"(shell = "/bin/fish"
scrollback_lines = 500
padding = { x = 2, y = 3.5 }
[font]
family = "DejaVu Sans Mono"
size = 12.5
ligatures = true
[cursor]
style = "beam"
blink = false
[window]
opacity = 1
blur = false
[keyboard]
shift_enter = "csi-u"
option_as_meta = true
)",
         [](Config& c) {
             c.shell = "/bin/fish";
             c.scrollback_lines = 500;
             c.padding = {2.0f, 3.5f};
             c.font = {"DejaVu Sans Mono", 12.5f, true};
             c.cursor = {CursorStyle::beam, false};
             c.window = {1.0f, false};
             c.keyboard = {ShiftEnter::csi_u, true};
         },
         nullptr},
        {"partial table keeps other defaults", "font = { size = 16 }",
         [](Config& c) { c.font.size = 16.0f; }, nullptr},
        {"padding array of one", "padding = [4]", [](Config& c) { c.padding.x = 4.0f; }, nullptr},
        {"padding array of three", "padding = [4, 5, 6]",
         [](Config& c) {
             c.padding = {4.0f, 5.0f};
         },
         nullptr},
        {"padding array with a bad element", "padding = [4, \"5\"]", nullptr, "expected f32"},
        {"empty shell stays empty", "shell = \"\"", [](Config& c) { c.shell = ""; }, nullptr},
        {"unknown keys are ignored", "colour = 3\n[font]\nweight = 700\nsize = 10\n[extra]\na = 1",
         [](Config& c) { c.font.size = 10.0f; }, nullptr},
        {"low opacity is kept as written", "window = { opacity = 0.1 }",
         [](Config& c) { c.window.opacity = 0.1f; }, nullptr},
        {"every shift-enter value", "keyboard = { shift_enter = \"newline\" }",
         [](Config& c) { c.keyboard.shift_enter = ShiftEnter::newline; }, nullptr},
        {"cr", "keyboard = { shift_enter = \"cr\" }",
         [](Config& c) { c.keyboard.shift_enter = ShiftEnter::cr; }, nullptr},
        {"underline", "cursor = { style = \"underline\" }",
         [](Config& c) { c.cursor.style = CursorStyle::underline; }, nullptr},
        {"scrollback at the maximum", "scrollback_lines = 1000000",
         [](Config& c) { c.scrollback_lines = 1000000; }, nullptr},
        {"scrollback over the maximum", "scrollback_lines = 2000000",
         [](Config& c) { c.scrollback_lines = 1000000; },
         "scrollback_lines = 2000000 is over the maximum; clamping to 1000000"},
        {"scrollback zero", "scrollback_lines = 0", [](Config& c) { c.scrollback_lines = 0; },
         nullptr},

        // One bad value discards the whole file.
        {"negative scrollback", "shell = \"zsh\"\nscrollback_lines = -1", nullptr,
         "line 2, column 20: invalid value: integer `-1`, expected usize"},
        {"float scrollback", "scrollback_lines = 1.5", nullptr,
         "invalid type: floating point `1.5`, expected usize"},
        {"capitalised enum", "shell = \"zsh\"\n[cursor]\nstyle = \"Beam\"", nullptr,
         "line 3, column 9: unknown variant `Beam`, expected one of `block`, `underline`, `beam`"},
        {"enum of wrong type", "keyboard = { shift_enter = 1 }", nullptr,
         "expected one of `esc-cr`, `newline`, `csi-u`, `cr`"},
        {"string for a boolean", "cursor = { blink = \"yes\" }", nullptr,
         "invalid type: string \"yes\", expected a boolean"},
        {"number for a string", "shell = 5", nullptr,
         "invalid type: integer `5`, expected a string"},
        {"boolean for a float", "font = { size = true }", nullptr,
         "invalid type: boolean `true`, expected f32"},
        {"font not a table", "font = \"Menlo\"", nullptr,
         "invalid type: string \"Menlo\", expected struct FontConfig"},
        {"window not a table", "window = 1", nullptr, "expected struct WindowConfig"},
        {"cursor not a table", "cursor = []", nullptr,
         "invalid type: sequence, expected struct CursorConfig"},
        {"keyboard not a table", "keyboard = false", nullptr, "expected struct KeyboardConfig"},
        {"padding not a table", "padding = \"wide\"", nullptr, "expected struct Padding"},
        {"broken TOML", "font = {", nullptr, "invalid config: TOML parse error at line 1"},
        {"duplicate key", "shell = \"a\"\nshell = \"b\"", nullptr, "invalid config:"},

        // Values that would reach float-to-integer conversions as garbage.
        {"nan font size", "font = { size = nan }", nullptr, "expected a finite f32"},
        {"infinite padding", "padding = { x = inf }", nullptr, "expected a finite f32"},
        {"f32 overflow", "window = { opacity = 1e300 }", nullptr, "expected a finite f32"},
        {"zero font size", "font = { size = 0 }", nullptr, "expected a positive f32"},
        {"negative font size", "font = { size = -3 }", nullptr, "expected a positive f32"},
        {"negative padding", "padding = [1, -2]", nullptr, "expected a non-negative f32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kestrum::testing::LogCapture capture;
        Config got = Config::parse(c.toml);
        std::string log = capture.text();
        Config want;
        if (c.expect) c.expect(want);
        EXPECT_EQ(got, want);
        size_t warnings = 0;
        for (size_t at = log.find("WARN "); at != std::string::npos; at = log.find("WARN ", at + 1))
            ++warnings;
        if (c.warning) {
            EXPECT_EQ(warnings, 1u) << log;
            EXPECT_NE(log.find(c.warning), std::string::npos) << log;
            EXPECT_NE(log.find("kestrum_config: "), std::string::npos) << log;
            if (!c.expect) {
                EXPECT_NE(log.find("; using defaults"), std::string::npos) << log;
            }
        } else {
            EXPECT_EQ(warnings, 0u) << log;
        }
    }
}

using Env = kestrum::testing::ScopedEnv;

TEST(ConfigPath, EnvironmentRules) {
    struct Case {
        const char* xdg;
        const char* home;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"/x", "/h", "/x/kestrum/config.toml"},
        {"", "/h", "/h/.config/kestrum/config.toml"},
        {nullptr, "/h", "/h/.config/kestrum/config.toml"},
        {"rel", "/h", "rel/kestrum/config.toml"},
        {nullptr, "", ".config/kestrum/config.toml"},
        {nullptr, nullptr, std::nullopt},
        {"", nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        Env env;
        env.set("XDG_CONFIG_HOME", c.xdg);
        env.set("HOME", c.home);
        auto path = Config::path();
        if (c.expected) {
            ASSERT_TRUE(path.has_value());
            EXPECT_EQ(path->string(), *c.expected);
        } else {
            EXPECT_FALSE(path.has_value());
        }
    }
}

class ConfigLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kestrum-config-test-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "kestrum");
        env_.set("XDG_CONFIG_HOME", dir_.c_str());
    }
    void TearDown() override {
        ::chmod((dir_ / "kestrum" / "config.toml").c_str(), 0600);
        fs::remove_all(dir_);
    }
    fs::path file() const { return dir_ / "kestrum" / "config.toml"; }
    void write(std::string_view text) { std::ofstream(file(), std::ios::binary) << text; }

    fs::path dir_;
    Env env_;
};

TEST_F(ConfigLoad, ReadsTheFile) {
    write("scrollback_lines = 42\n");
    kestrum::testing::LogCapture capture;
    EXPECT_EQ(Config::load().scrollback_lines, 42u);
    EXPECT_EQ(capture.text().find("WARN"), std::string::npos);
}

TEST_F(ConfigLoad, MissingFileIsDebugOnly) {
    kestrum::testing::LogCapture capture;
    EXPECT_EQ(Config::load(), Config{});
    std::string log = capture.text();
    EXPECT_NE(
        log.find("DEBUG kestrum_config: no config at " + file().string() + "; using defaults"),
        std::string::npos)
        << log;
    EXPECT_EQ(log.find("WARN"), std::string::npos) << log;
}

TEST_F(ConfigLoad, NoDirectoryResolvable) {
    env_.set("XDG_CONFIG_HOME", nullptr);
    env_.set("HOME", nullptr);
    kestrum::testing::LogCapture capture;
    EXPECT_EQ(Config::load(), Config{});
    EXPECT_NE(capture.text().find("no config directory resolvable; using defaults"),
              std::string::npos);
}

TEST_F(ConfigLoad, UnreadableFilesWarn) {
    struct Case {
        const char* name;
        std::function<void()> make;
        const char* reason;
    };
    const Case cases[] = {
        {"a directory", [&] { fs::create_directory(file()); }, "Is a directory"},
        {"invalid UTF-8", [&] { write("shell = \"\xff\xfe\"\n"); },
         "stream did not contain valid UTF-8"},
        {"a truncated sequence", [&] { write("shell = \"\xe2\x94\""); },
         "stream did not contain valid UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(file());
        c.make();
        kestrum::testing::LogCapture capture;
        EXPECT_EQ(Config::load(), Config{});
        std::string log = capture.text();
        EXPECT_NE(log.find("WARN  kestrum_config: could not read " + file().string() + ": " +
                           c.reason + "; using defaults"),
                  std::string::npos)
            << log;
    }
}

// Run in a child so that root can drop to an unprivileged user for the read.
TEST_F(ConfigLoad, PermissionDenied) {
    write("shell = \"x\"");
    ::chmod(file().c_str(), 0);
    EXPECT_EXIT(
        {
            // _exit: leak checkers at exit cannot work as another user.
            if (::geteuid() == 0 && ::seteuid(65534) != 0) ::_exit(2);
            kestrum::testing::LogCapture capture;
            bool defaults = Config::load() == Config{};
            bool logged =
                capture.text().find(": Permission denied; using defaults") != std::string::npos;
            ::_exit(defaults && logged ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kestrum_config
