#include "app/input.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "app/paste.hpp"
#include "platform/ui.hpp"
#include "support/env.hpp"

namespace kestrum_app {
namespace {

using namespace kestrum::platform;
constexpr std::uint64_t S = kShiftKeyMask, C = kControlKeyMask, O = kOptionKeyMask;

std::string fk(char32_t c) {
    std::string out;
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

TEST(KeyBytes, Table) {
    struct Case {
        const char* name;
        std::string characters;
        std::uint16_t key_code;
        std::uint64_t flags;
        bool app_cursor;
        std::string bytes;
    };
    const Case cases[] = {
        {"up", fk(kUpArrowFunctionKey), 0, 0, false, "\x1b[A"},
        {"up, application cursor", fk(kUpArrowFunctionKey), 0, 0, true, "\x1bOA"},
        {"shift up", fk(kUpArrowFunctionKey), 0, S, true, "\x1b[1;2A"},
        {"control option right", fk(kRightArrowFunctionKey), 0, C | O, false, "\x1b[1;7C"},
        {"home", fk(kHomeFunctionKey), 0, 0, false, "\x1b[H"},
        {"end", fk(kEndFunctionKey), 0, 0, true, "\x1bOF"},
        {"f1 without application cursor", fk(kF1FunctionKey), 0, 0, false, "\x1bOP"},
        {"shift f4", fk(kF1FunctionKey + 3), 0, S, false, "\x1b[1;2S"},
        {"shift f5", fk(kF1FunctionKey + 4), 0, S, false, "\x1b[15;2~"},
        {"f12", fk(kF1FunctionKey + 11), 0, 0, false, "\x1b[24~"},
        {"f13 sends nothing", fk(kF1FunctionKey + 12), 0, 0, false, ""},
        {"forward delete", fk(kDeleteFunctionKey), 0, 0, false, "\x1b[3~"},
        {"page down with control", fk(kPageDownFunctionKey), 0, C, false, "\x1b[6;5~"},
        {"back-tab", "\x19", kKeyCodeTab, S, false, "\x1b[Z"},
        {"back-tab with option", "\x19", kKeyCodeTab, S | O, false, "\x1b[Z"},
        {"control shift tab is not back-tab", "\t", kKeyCodeTab, S | C, false, "\t"},
        {"control space", " ", 0, C, false, std::string(1, '\0')},
        {"control 2", "2", 0, C, false, std::string(1, '\0')},
        {"control at", "@", 0, C, false, std::string(1, '\0')},
        {"control 3", "3", 0, C, false, "\x1b"},
        {"control /", "/", 0, C, false, "\x1f"},
        {"control ?", "?", 0, C, false, "\x7f"},
        {"control a as delivered", "\x01", 0, C, false, "\x01"},
        {"plain text", "h\xC3\xA9", 0, 0, false, "h\xC3\xA9"},
        {"return", "\r", 0, 0, false, "\r"},
        {"dead key", "", 0, 0, false, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(input::key_bytes(c.characters, c.key_code, c.flags, c.app_cursor), c.bytes)
            << c.name;
}

TEST(KeyBytes, MetaAndShiftEnter) {
    EXPECT_EQ(input::meta_bytes("b"),
              "\x1b"
              "b");
    EXPECT_EQ(input::meta_bytes("B"),
              "\x1b"
              "B");
    EXPECT_EQ(input::meta_bytes(fk(kLeftArrowFunctionKey)), std::nullopt);
    EXPECT_EQ(input::meta_bytes(""), std::nullopt);
    EXPECT_EQ(input::shift_enter_bytes(0), "\x1b\r");
    EXPECT_EQ(input::shift_enter_bytes(1), "\n");
    EXPECT_EQ(input::shift_enter_bytes(2), "\x1b[13;2u");
    EXPECT_EQ(input::shift_enter_bytes(3), "\r");
}

TEST(Mouse, Encodings) {
    EXPECT_EQ(input::encode_mouse(0, true, 0, 0, 0, true), std::nullopt);
    EXPECT_EQ(input::encode_mouse(1, true, 0, 0, 0, true), "\x1b[<0;1;1M");
    EXPECT_EQ(input::encode_mouse(1, true, 0, 0, 0, false), "\x1b[<0;1;1m");
    EXPECT_EQ(input::encode_mouse(1, true, 16, 0, 0, true), "\x1b[<16;1;1M");
    EXPECT_EQ(input::encode_mouse(1, true, 0, 65535, 3, true), "\x1b[<0;65535;4M");
    EXPECT_EQ(input::encode_mouse(1, false, 0, 5, 2, true), "\x1b[M\x20\x26\x23");
    EXPECT_EQ(input::encode_mouse(1, false, 0, 5, 2, false), "\x1b[M\x23\x26\x23");
    EXPECT_EQ(input::encode_mouse(1, false, 0, 300, 221, true), "\x1b[M\x20\xff\xfe");
}

TEST(Paste, Bytes) {
    struct Case {
        std::string text;
        bool bracketed;
        std::string bytes;
    };
    const Case cases[] = {
        {"one\r\ntwo", false, "one\rtwo"},
        {"end\n", false, "end\r"},
        {"a\n\r\nb", false, "a\r\rb"},
        {"x", true, "\x1b[200~x\x1b[201~"},
        {"rm -rf\x1b[201~; evil", true, "\x1b[200~rm -rf; evil\x1b[201~"},
        {"\x1b[20\x1b[201~0~tail", false, "tail"},
        {"\x1b"
         "ab",
         false,
         "\x1b"
         "ab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(input::paste_bytes(c.text, c.bracketed), c.bytes);
}

TEST(Paste, ShellQuote) {
    EXPECT_EQ(shell_quote_path("/tmp/a_b-c.txt"), "/tmp/a_b-c.txt");
    EXPECT_EQ(shell_quote_path("~/x=1:y@h%2+3,4"), "~/x=1:y@h%2+3,4");
    EXPECT_EQ(shell_quote_path("/tmp/My File.txt"), "'/tmp/My File.txt'");
    EXPECT_EQ(shell_quote_path("it's"), "'it'\\''s'");
    EXPECT_EQ(shell_quote_path("/tmp/caf\xC3\xA9"), "'/tmp/caf\xC3\xA9'");
    EXPECT_EQ(shell_quote_path(""), "''");
}

TEST(Paste, FolderIsPrivateAndRemovedOnlyWhenOurs) {
    namespace fs = std::filesystem;
    fs::path base =
        fs::temp_directory_path() / ("kestrum-paste-test-" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base);
    kestrum::testing::ScopedEnv env;
    env.set("TMPDIR", base.c_str());
    EXPECT_EQ(paste_dir(), base / ("kestrum-paste-" + std::to_string(::getpid())));

    // Someone else's link in our place is refused and survives.
    fs::path victim = base / "victim";
    fs::create_directory(victim);
    std::ofstream(victim / "keep") << "x";
    fs::create_directory_symlink(victim, paste_dir());
    EXPECT_FALSE(ensure_paste_dir().has_value());
    remove_paste_dir();
    EXPECT_TRUE(fs::exists(victim / "keep"));
    fs::remove(paste_dir());

    // A folder we made is private and goes away with its contents.
    auto dir = ensure_paste_dir();
    ASSERT_TRUE(dir.has_value()) << dir.error().message();
    struct stat st {};
    ASSERT_EQ(::stat(dir->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::ofstream(*dir / "paste-1.png") << "png";
    EXPECT_TRUE(ensure_paste_dir().has_value());  // existing and ours: fine
    remove_paste_dir();
    EXPECT_FALSE(fs::exists(*dir));
    fs::remove_all(base);
}

}  // namespace
}  // namespace kestrum_app
