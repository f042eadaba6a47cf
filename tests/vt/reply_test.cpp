// Replies to queries, mode reports, events and the colour-override table.
#include <gtest/gtest.h>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

struct ReplyCase {
    const char* name;
    std::string input;
    std::string reply;
};

TEST(Replies, Table) {
    const std::vector<ReplyCase> cases = {
        {"DSR 5", "\x1b[5n", "\x1b[0n"},
        {"DSR 6", "\x1b[3;5H\x1b[6n", "\x1b[3;5R"},
        {"DSR 6 with a pending wrap", "\x1b[1;10Hx\x1b[6n", "\x1b[1;10R"},
        {"DSR 6 counts from the screen top in origin mode", "\x1b[2;3r\x1b[?6h\x1b[2;1H\x1b[6n",
         "\x1b[3;1R"},
        {"DA1", "\x1b[c", "\x1b[?6c"},
        {"DA1 with 0", "\x1b[0c", "\x1b[?6c"},
        {"DECID", "\x1bZ", "\x1b[?6c"},
        {"DA2", "\x1b[>c", "\x1b[>0;2600;1c"},
        {"DA2 with 0", "\x1b[>0c", "\x1b[>0;2600;1c"},
        {"text area in characters", "\x1b[18t", "\x1b[8;4;10t"},
        {"ANSI mode request", "\x1b[4$p", "\x1b[4;2$y"},
        {"private mode request", "\x1b[?25$p", "\x1b[?25;1$y"},
        {"progressive keyboard query gets nothing", "\x1b[?u", ""},
        {"unknown DSR gets nothing", "\x1b[99n", ""},
        {"DA1 with another parameter gets nothing", "\x1b[1c", ""},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        Vt vt;
        vt.feed(c.input);
        EXPECT_EQ(vt.recorder.replies(), c.reply);
    }
}

TEST(Replies, EachReplyIsItsOwnEventInQueryOrder) {
    Vt vt;
    vt.feed("\x1b[6n\x1b[c\x1b[5n");
    auto writes = vt.recorder.all<event::PtyWrite>();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].bytes, "\x1b[1;1R");
    EXPECT_EQ(writes[1].bytes, "\x1b[?6c");
    EXPECT_EQ(writes[2].bytes, "\x1b[0n");
}

TEST(Replies, PixelSizeGoesThroughTheFormatter) {
    Vt vt;
    vt.feed("\x1b[14t");
    auto req = vt.recorder.all<event::TextAreaSizeRequest>();
    ASSERT_EQ(req.size(), 1u);
    EXPECT_EQ(req[0].format({4, 10, 8, 16}), "\x1b[4;64;80t");
    EXPECT_EQ(req[0].format({4, 10, 0, 0}), "\x1b[4;0;0t");
    EXPECT_EQ(req[0].format({1000, 1000, 100, 100}), "\x1b[4;65535;65535t");
}

TEST(Replies, ColorQueriesEchoTheirTerminator) {
    struct Case {
        std::string input;
        std::uint16_t index;
        std::string reply;  // for the colour #f3606d
    };
    const std::vector<Case> cases = {
        {"\x1b]4;1;?\x07", 1, "\x1b]4;1;rgb:f3f3/6060/6d6d\x07"},
        {"\x1b]4;255;?\x1b\\", 255, "\x1b]4;255;rgb:f3f3/6060/6d6d\x1b\\"},
        {"\x1b]10;?\x07", named::foreground, "\x1b]10;rgb:f3f3/6060/6d6d\x07"},
        {"\x1b]11;?\x1b\\", named::background, "\x1b]11;rgb:f3f3/6060/6d6d\x1b\\"},
        {"\x1b]12;?\x07", named::cursor, "\x1b]12;rgb:f3f3/6060/6d6d\x07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        Vt vt;
        vt.feed(c.input);
        auto req = vt.recorder.all<event::ColorRequest>();
        ASSERT_EQ(req.size(), 1u);
        EXPECT_EQ(req[0].index, c.index);
        EXPECT_EQ(req[0].format({0xf3, 0x60, 0x6d}), c.reply);
    }
}

struct ModeCase {
    std::string setup;
    std::string query;  // "4" or "?25"
    int state;
};

TEST(Replies, ModeReportTable) {
    const std::vector<ModeCase> cases = {
        {"", "4", 2},
        {"\x1b[4h", "4", 1},
        {"", "20", 2},
        {"\x1b[20h", "20", 1},
        {"\x1b[20h\x1b[20l", "20", 2},
        {"", "3", 0},
        {"", "1", 0},  // ANSI 1 is not a mode
        {"", "?1", 2},
        {"\x1b[?1h", "?1", 1},
        {"", "?6", 2},
        {"\x1b[?6h", "?6", 1},
        {"", "?7", 1},
        {"\x1b[?7l", "?7", 2},
        {"", "?12", 2},
        {"\x1b[?12h", "?12", 1},
        {"\x1b[1 q", "?12", 1},
        {"\x1b[2 q", "?12", 2},
        {"", "?25", 1},
        {"\x1b[?25l", "?25", 2},
        {"", "?1000", 2},
        {"\x1b[?1000h", "?1000", 1},
        {"\x1b[?1002h", "?1002", 1},
        {"\x1b[?1003h", "?1003", 1},
        {"\x1b[?1000h\x1b[?1002h", "?1000", 2},
        {"\x1b[?1004h", "?1004", 1},
        {"\x1b[?1005h", "?1005", 1},
        {"\x1b[?1006h", "?1006", 1},
        {"\x1b[?1005h\x1b[?1006h", "?1005", 2},
        {"", "?1007", 1},
        {"\x1b[?1007l", "?1007", 2},
        {"", "?1042", 1},
        {"", "?1049", 2},
        {"\x1b[?1049h", "?1049", 1},
        {"\x1b[?47h", "?1049", 1},
        {"", "?2004", 2},
        {"\x1b[?2004h", "?2004", 1},
        {"", "?2026", 2},
        {"\x1b[?47h", "?47", 0},
        {"", "?1047", 0},
        {"", "?9999", 0},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.setup + " " + c.query);
        Vt vt;
        vt.feed(c.setup);
        vt.recorder.events.clear();
        vt.feed("\x1b[" + c.query + "$p");
        EXPECT_EQ(vt.recorder.replies(), "\x1b[" + c.query + ";" + std::to_string(c.state) + "$y");
    }
}

TEST(Replies, CursorBlinkReportFollowsTheConfiguredStyle) {
    TerminalConfig config;
    config.default_cursor = {CursorShape::beam, true};
    Vt vt(config);
    vt.feed("\x1b[?12$p");
    EXPECT_EQ(vt.recorder.replies(), "\x1b[?12;1$y");
}

TEST(Events, Titles) {
    Vt vt;
    vt.feed("\x1b]0;hello\x07\x1b]2;a;b\x1b\\\x1b]2;\x07\x1b]2;bad\xff\x07");
    ASSERT_EQ(vt.recorder.events.size(), 4u);
    EXPECT_EQ(std::get<event::Title>(vt.recorder.events[0]).text, "hello");
    EXPECT_EQ(std::get<event::Title>(vt.recorder.events[1]).text, "a;b");
    EXPECT_TRUE(std::holds_alternative<event::ResetTitle>(vt.recorder.events[2]));
    EXPECT_EQ(std::get<event::Title>(vt.recorder.events[3]).text, "bad\xef\xbf\xbd");
}

TEST(Events, TitleStack) {
    Vt vt;
    vt.feed("\x1b[22;0t\x1b]2;vim\x07\x1b[22;2t\x1b]2;inner\x07\x1b[23;2t\x1b[23;0t\x1b[23t");
    ASSERT_EQ(vt.recorder.events.size(), 4u);
    EXPECT_EQ(std::get<event::Title>(vt.recorder.events[0]).text, "vim");
    EXPECT_EQ(std::get<event::Title>(vt.recorder.events[1]).text, "inner");
    EXPECT_EQ(std::get<event::Title>(vt.recorder.events[2]).text, "vim");
    EXPECT_TRUE(std::holds_alternative<event::ResetTitle>(vt.recorder.events[3]));
}

TEST(Events, TitleStackIsBounded) {
    Vt vt;
    for (int i = 0; i < 100; ++i)
        vt.feed("\x1b]2;t" + std::to_string(i) + "\x07\x1b[22t");
    vt.recorder.events.clear();
    for (int i = 0; i < 100; ++i)
        vt.feed("\x1b[23t");
    auto titles = vt.recorder.all<event::Title>();
    ASSERT_EQ(titles.size(), 16u);
    EXPECT_EQ(titles.front().text, "t99");
    EXPECT_EQ(titles.back().text, "t84");
}

TEST(Events, ClipboardStoreIsReportedAndLoadOnlyWhenAllowed) {
    Vt vt;
    vt.feed("\x1b]52;c;aGVsbG8=\x07\x1b]52;c;?\x07\x1b]52;c;!!!\x07");
    ASSERT_EQ(vt.recorder.events.size(), 1u);
    auto store = std::get<event::ClipboardStore>(vt.recorder.events[0]);
    EXPECT_EQ(store.clipboard, 'c');
    EXPECT_EQ(store.text, "hello");

    TerminalConfig config;
    config.clipboard = ClipboardPolicy::read_write;
    Vt rw(config);
    rw.feed("\x1b]52;p;?\x1b\\");
    auto load = rw.recorder.all<event::ClipboardLoad>();
    ASSERT_EQ(load.size(), 1u);
    EXPECT_EQ(load[0].clipboard, 'p');
    EXPECT_EQ(load[0].format("hi"), "\x1b]52;p;aGk=\x1b\\");
}

TEST(Events, ResetReportsATitleReset) {
    Vt vt;
    vt.feed(
        "\x1b"
        "c");
    EXPECT_EQ(vt.recorder.all<event::ResetTitle>().size(), 1u);
}

struct ColorCase {
    std::string input;
    std::uint16_t index;
    std::optional<core::Rgb> value;
};

TEST(ColorOverrides, SetAndReset) {
    const std::string set_all = "\x1b]4;1;#f00;2;#0f0\x07\x1b]10;#111;#222;#333\x07";
    const std::vector<ColorCase> cases = {
        {"\x1b]4;1;rgb:00/00/00\x07", 1, core::Rgb{0, 0, 0}},
        {"\x1b]4;1;rgb:f/f/f\x07", 1, core::Rgb{255, 255, 255}},
        {"\x1b]4;1;rgb:fff/000/8888\x07", 1, core::Rgb{255, 0, 0x88}},
        {"\x1b]4;1;rgb:8/80/800\x07", 1, core::Rgb{0x88, 0x80, 0x7f}},
        {"\x1b]4;2;#fff\x07", 2, core::Rgb{0xf0, 0xf0, 0xf0}},
        {"\x1b]4;2;#123456\x07", 2, core::Rgb{0x12, 0x34, 0x56}},
        {"\x1b]4;2;#123456789\x07", 2, core::Rgb{0x12, 0x45, 0x78}},
        {"\x1b]4;2;#1234\x07", 2, std::nullopt},
        {"\x1b]4;1;rgb:gg/00/00\x07", 1, std::nullopt},
        {"\x1b]4;1;rgb:00000/0/0\x07", 1, std::nullopt},
        {"\x1b]4;1;red\x07", 1, std::nullopt},
        {"\x1b]4;256;#fff\x07", 256, std::nullopt},
        {set_all, 1, core::Rgb{0xf0, 0, 0}},
        {set_all, 2, core::Rgb{0, 0xf0, 0}},
        {set_all, named::foreground, core::Rgb{0x10, 0x10, 0x10}},
        {set_all, named::background, core::Rgb{0x20, 0x20, 0x20}},
        {set_all, named::cursor, core::Rgb{0x30, 0x30, 0x30}},
        {"\x1b]11;rgb:1/2/3\x07", named::background, core::Rgb{0x11, 0x22, 0x33}},
        {"\x1b]12;#abc\x1b\\", named::cursor, core::Rgb{0xa0, 0xb0, 0xc0}},
        {set_all + "\x1b]104;1\x07", 1, std::nullopt},
        {set_all + "\x1b]104;1\x07", 2, core::Rgb{0, 0xf0, 0}},
        {set_all + "\x1b]104\x07", 2, std::nullopt},
        {set_all + "\x1b]104\x07", named::foreground, core::Rgb{0x10, 0x10, 0x10}},
        {set_all + "\x1b]110\x07", named::foreground, std::nullopt},
        {set_all + "\x1b]111\x07", named::background, std::nullopt},
        {set_all + "\x1b]111\x07", named::cursor, core::Rgb{0x30, 0x30, 0x30}},
        {set_all + "\x1b]112\x07", named::cursor, std::nullopt},
        {set_all + "\x1b"
                   "c",
         1, std::nullopt},
    };
    for (const ColorCase& c : cases) {
        SCOPED_TRACE(c.input);
        Vt vt;
        vt.feed(c.input);
        EXPECT_EQ(vt.term.color_overrides()[c.index], c.value) << "index " << c.index;
    }
}

TEST(Cursor, StylesAndVisibility) {
    TerminalConfig config;
    config.default_cursor = {CursorShape::underline, false};
    Vt vt(config);
    EXPECT_EQ(vt.term.cursor_style(), (CursorStyle{CursorShape::underline, false}));
    const std::vector<std::pair<std::string, CursorStyle>> cases = {
        {"\x1b[1 q", {CursorShape::block, true}},
        {"\x1b[2 q", {CursorShape::block, false}},
        {"\x1b[3 q", {CursorShape::underline, true}},
        {"\x1b[4 q", {CursorShape::underline, false}},
        {"\x1b[5 q", {CursorShape::beam, true}},
        {"\x1b[6 q", {CursorShape::beam, false}},
        {"\x1b[0 q", {CursorShape::underline, false}},
        {"\x1b[?12h", {CursorShape::underline, true}},
        {"\x1b[7 q", {CursorShape::underline, true}},
    };
    for (const auto& [seq, style] : cases) {
        vt.feed(seq);
        EXPECT_EQ(vt.term.cursor_style(), style) << seq.substr(1);
        EXPECT_EQ(vt.term.renderable_cursor().shape, style.shape);
    }
    vt.feed("\x1b[?25l");
    EXPECT_EQ(vt.term.renderable_cursor().shape, CursorShape::hidden);
    vt.feed("\x1b[?25h");
    EXPECT_EQ(vt.term.renderable_cursor().shape, CursorShape::underline);
}

TEST(Cursor, OnASpacerItIsDrawnOnTheWideCharacter) {
    Vt vt;
    vt.feed("\xe4\xb8\xad\x1b[1;2H");
    EXPECT_EQ(vt.cursor(), (Point{0, 0}));
    vt.feed("\x1b[1;10Hx");
    EXPECT_TRUE(vt.term.renderable_cursor().pending_wrap);
}

}  // namespace
}  // namespace kestrum::vt
