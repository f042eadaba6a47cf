#include "term/terminal.hpp"

#include <gtest/gtest.h>

#include "support/log_capture.hpp"

namespace kestrum_term {
namespace {

std::unique_ptr<Terminal> make(std::uint16_t cols = 20, std::uint16_t rows = 5,
                               std::size_t scrollback = 100) {
    return Terminal::with_cursor(cols, rows, scrollback, true, 0);
}

std::string hex(const Rgb& c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02x%02x%02x", c.r, c.g, c.b);
    return buf;
}

TEST(Palette, ColourIndexSpace) {
    Palette p = Palette::standard();
    struct Case {
        std::size_t index;
        const char* rgb;
    };
    const Case cases[] = {
        {0, "19171d"},   {1, "f3606d"},   {15, "f5f4f7"},  {16, "000000"},
        {17, "00005f"},  {231, "ffffff"}, {232, "080808"}, {255, "eeeeee"},
        {256, "efeef1"}, {257, "19171d"}, {258, "e23439"}, {259, "100f13"},
        {266, "9d9d9f"}, {267, "efeef1"}, {268, "9d9d9f"}, {400, "efeef1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hex(p.color_at_index(c.index)), c.rgb) << c.index;
}

TEST(ShellIntegration, WorkingDirectoryScan) {
    using shell_integration::scan_cwd;
    struct Case {
        std::string chunk;
        std::optional<std::string> cwd;
    };
    const Case cases[] = {
        {"\x1b]7;file://host/tmp/My%20Dir\x07", "/tmp/My Dir"},
        {"\x1b]7;file://host/tmp/a\x1b\\", "/tmp/a"},
        {"\x1b]7;file://host\x07", std::nullopt},
        {"\x1b]7;file://h/a\x07 text \x1b]7;file://h/b\x07", "/b"},
        {"\x1b]7;file://h/x%4\x07", "/x%4"},
        {"\x1b]7;file://h/x%zz\x07", "/x%zz"},
        {"\x1b]7;file://h/%41%62\x07", "/Ab"},
        {"\x1b]7;file://h/%ff\x07", "/\xEF\xBF\xBD"},
        {"\x1b]7;http://h/a\x07", std::nullopt},
        {"\x1b]7;file://h/\xff\x07", std::nullopt},
        {"\x1b]7;file://h/a\x1bX/b\x07", "/a\x1bX/b"},
        {"\x1b]7;file://h/unterminated", std::nullopt},
        {"\x1b]7;", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scan_cwd(c.chunk), c.cwd) << c.chunk;
}

TEST(ShellIntegration, CwdOnlyChangesToANewPath) {
    auto t = make();
    t->feed("\x1b]7;file://h/one\x07");
    t->feed("\x1b]7;file://h\x07");
    EXPECT_EQ(t->cwd(), "/one");
}

TEST(ShellIntegration, PromptMarksSetAndDropTheInputStart) {
    auto t = make();
    t->feed("\x1b]133;A\x07$ \x1b]133;B\x07");
    EXPECT_TRUE(t->in_prompt());
    EXPECT_EQ(t->input_start(), (kestrum::vt::Point{0, 2}));
    // Moving the cursor keeps it; a command start drops it.
    t->feed("ls\x1b[D");
    EXPECT_EQ(t->input_start(), (kestrum::vt::Point{0, 2}));
    t->feed("\x1b]133;C\x07");
    EXPECT_FALSE(t->in_prompt());
    EXPECT_FALSE(t->input_start());

    // B without a preceding A records nothing.
    auto u = make();
    u->feed("> \x1b]133;B\x07");
    EXPECT_FALSE(u->input_start());
}

TEST(ShellIntegration, ScrollingDropsTheInputStart) {
    // History below its limit: the history growing is the test.
    auto t = make(20, 3, 100);
    t->feed("\x1b]133;A\x07$ \x1b]133;B\x07");
    ASSERT_TRUE(t->input_start());
    t->feed("\r\n\r\n");  // reaches the bottom line, no scroll yet
    EXPECT_TRUE(t->input_start());
    t->feed("\r\n");
    EXPECT_FALSE(t->input_start());

    // A full history: any line feed drops it, scrolling or not.
    auto full = make(20, 3, 2);
    full->feed("1\r\n2\r\n3\r\n4\r\n5\r\n");
    ASSERT_EQ(full->term().history_size(), 2u);
    full->feed("\x1b[H\x1b]133;A\x07$ \x1b]133;B\x07");
    ASSERT_TRUE(full->input_start());
    full->feed("\x1b[2;1H");
    EXPECT_TRUE(full->input_start());
    full->feed("\n");
    EXPECT_FALSE(full->input_start());
}

TEST(ShellIntegration, MayScroll) {
    using shell_integration::may_scroll;
    EXPECT_TRUE(may_scroll("a\nb"));
    EXPECT_TRUE(may_scroll("\x0b"));
    EXPECT_TRUE(
        may_scroll("\x1b"
                   "D"));
    EXPECT_TRUE(may_scroll("\x1bM"));
    EXPECT_TRUE(may_scroll("\x1b[3S"));
    EXPECT_TRUE(may_scroll("\x1b[T"));
    EXPECT_FALSE(may_scroll("\x1b[3A plain text\r"));
    EXPECT_FALSE(may_scroll("\x1b[3;4H"));
}

TEST(Resize, ClampsAndDropsTheAnchor) {
    auto t = make();
    t->feed("\x1b]133;A\x07$ \x1b]133;B\x07");
    t->resize(0, 0);
    EXPECT_EQ(t->term().cols(), 1);
    EXPECT_EQ(t->term().rows(), 1);
    EXPECT_FALSE(t->input_start());
}

TEST(Replies, OrderFormatsAndOverrides) {
    struct Case {
        const char* name;
        std::string input;
        std::string reply;
    };
    const Case cases[] = {
        {"cursor report then attributes", "ab\x1b[6n\x1b[c", "\x1b[1;3R\x1b[?6c"},
        {"palette colour", "\x1b]4;1;?\x07", "\x1b]4;1;rgb:f3f3/6060/6d6d\x07"},
        {"overridden colour", "\x1b]4;1;rgb:00/00/00\x07\x1b]4;1;?\x1b\\",
         "\x1b]4;1;rgb:0000/0000/0000\x1b\\"},
        {"cursor colour", "\x1b]12;?\x07", "\x1b]12;rgb:e2e2/3434/3939\x07"},
        {"pixel size before the cell size is known", "\x1b[14t", "\x1b[4;0;0t"},
        {"size in characters", "\x1b[18t", "\x1b[8;5;20t"},
        {"clipboard read gets nothing", "\x1b]52;c;?\x07", ""},
    };
    for (const auto& c : cases) {
        auto t = make();
        t->feed(c.input);
        EXPECT_EQ(t->take_pty_writes(), c.reply) << c.name;
        EXPECT_EQ(t->take_pty_writes(), "") << c.name;
    }
    auto t = make();
    t->cell_width = 9;
    t->cell_height = 18;
    t->feed("\x1b[14t");
    EXPECT_EQ(t->take_pty_writes(), "\x1b[4;90;180t");
}

TEST(Replies, BurstCapKeepsWholeReplies) {
    kestrum::testing::LogCapture capture;
    auto t = make();
    std::string queries;
    for (int i = 0; i < 16384; ++i)
        queries += "\x1b[6n";
    t->feed(queries);
    std::string out = t->take_pty_writes();
    // Each reply is ESC [ 1 ; 1 R, six bytes: the cap keeps the whole ones that fit.
    EXPECT_EQ(out.size(), 65536u / 6 * 6);
    EXPECT_TRUE(out.ends_with("\x1b[1;1R"));
    std::string log = capture.text();
    EXPECT_NE(log.find("WARN  kestrum_term::terminal: terminal reply burst exceeds 65536 bytes; "
                       "truncating (possible DSR/DA amplification)"),
              std::string::npos);
    EXPECT_EQ(t->take_pty_writes(), "");
}

TEST(Events, TitleAndBell) {
    auto t = make();
    t->feed("\x1b]2;one\x07\x1b]2;two\x07");
    EXPECT_EQ(t->take_title_change(), (TitleChange{TitleChange::Kind::set, "two"}));
    EXPECT_EQ(t->take_title_change().kind, TitleChange::Kind::none);
    t->feed("\x1b]2;x\x07\x1b]0;\x07");
    EXPECT_EQ(t->take_title_change().kind, TitleChange::Kind::reset);
    t->feed("\x07\x07\x07");
    EXPECT_TRUE(t->take_bell());
    EXPECT_FALSE(t->take_bell());
}

// ---- search ----

TEST(Search, CaseRuleAndInvalidQueries) {
    auto t = make(30, 3);
    t->feed("Hello hello HELLO");
    ASSERT_TRUE(t->search_set("hello"));
    EXPECT_EQ(t->search()->visible.size(), 3u);
    ASSERT_TRUE(t->search_set("Hello"));
    EXPECT_EQ(t->search()->visible.size(), 1u);
    t->feed("\r\n\xC3\x89t\xC3\xA9 \xC3\xA9t\xC3\xA9");
    ASSERT_TRUE(t->search_set("\xC3\x89t\xC3\xA9"));  // a Unicode capital makes it exact
    EXPECT_EQ(t->search()->visible.size(), 1u);
    EXPECT_FALSE(t->search_set("(unbalanced"));
    EXPECT_FALSE(t->search());
    EXPECT_FALSE(t->search_set(""));
}

TEST(Search, FocusStepsAndWraps) {
    auto t = make(20, 3, 100);
    // "word" on lines -3 (history), 0 and 2 (last screen line) once everything scrolled.
    t->feed("word a\r\nx\r\ny\r\nword b\r\nz\r\nword c");
    ASSERT_EQ(t->term().history_size(), 3u);
    ASSERT_TRUE(t->search_set("word"));
    ASSERT_TRUE(t->search()->focused);
    EXPECT_EQ(t->search()->focused->start, (kestrum::vt::Point{2, 0}));
    EXPECT_EQ(t->term().display_offset(), 0u);
    // Forward from the last one wraps to the oldest in history.
    ASSERT_TRUE(t->search_advance(true));
    EXPECT_EQ(t->search()->focused->start, (kestrum::vt::Point{-3, 0}));
    EXPECT_EQ(t->term().display_offset(), 3u);
    ASSERT_TRUE(t->search_advance(true));
    EXPECT_EQ(t->search()->focused->start, (kestrum::vt::Point{0, 0}));
    ASSERT_TRUE(t->search_advance(false));
    EXPECT_EQ(t->search()->focused->start, (kestrum::vt::Point{-3, 0}));
    // After a resize the next step starts over from the top of the history.
    t->resize(20, 3);
    EXPECT_FALSE(t->search()->focused);
}

TEST(Search, NoMatchLeavesTheView) {
    auto t = make(20, 3);
    t->feed("abc\r\n\r\n\r\n\r\n");
    t->scroll_lines(1);
    ASSERT_TRUE(t->search_set("zzz"));
    EXPECT_FALSE(t->search_advance(true));
    EXPECT_EQ(t->term().display_offset(), 1u);
}

TEST(Search, MatchAcrossASoftWrapIsHighlightedOnBothLines) {
    auto t = make(10, 3);
    t->feed("12345678needle");  // "needle" spans the wrap after column 9
    ASSERT_TRUE(t->search_set("needle"));
    ASSERT_EQ(t->search()->visible.size(), 1u);
    Frame f = t->frame();
    int highlighted = 0;
    for (const auto& c : f.cells)
        if (c.search != MatchState::None) ++highlighted;
    EXPECT_EQ(highlighted, 6);
}

// ---- links ----

std::unique_ptr<Terminal> row_of(std::string_view text) {
    auto t = make(80, 2);
    t->feed(text);
    return t;
}

std::optional<std::string> selected_url(std::string_view text, std::uint16_t col) {
    auto t = row_of(text);
    if (!t->select_url_at(col, 0)) return std::nullopt;
    return t->term().selection_text();
}

TEST(Links, UrlAtAPosition) {
    struct Case {
        const char* text;
        std::uint16_t col;
        std::optional<std::string> url;
    };
    const Case cases[] = {
        {"see https://example.com/a_(b) now", 6, "https://example.com/a_(b)"},
        {"(see https://example.com/a)", 8, "https://example.com/a"},
        {"go to https://example.com.", 8, "https://example.com"},
        {"at https://x.org/a, then", 5, "https://x.org/a"},
        {"xhttps://x.org", 0, "xhttps://x.org"},
        {"12+https://x.org", 5, "https://x.org"},
        {"12+https://x.org", 0, std::nullopt},
        {"text https://x.org", 1, std::nullopt},
        {"a https://one.org b https://two.org", 25, "https://two.org"},
        {"u https://ex.org/caf\xC3\xA9", 4, "https://ex.org/caf"},
        {"ab", 0, std::nullopt},
        {"plain words only", 3, std::nullopt},
        {"scheme:// alone", 1, "scheme://"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(selected_url(c.text, c.col), c.url) << c.text;
}

TEST(Links, UrlOnAWrappedRowStopsAtTheRowEnd) {
    auto t = make(20, 3);
    t->feed("x https://example.com/long/path");
    ASSERT_TRUE(t->select_url_at(5, 0));
    EXPECT_EQ(t->term().selection_text(), "https://example.co");
}

TEST(Links, PathToken) {
    struct Case {
        const char* text;
        std::uint16_t col;
        std::optional<std::string> token;
    };
    const Case cases[] = {
        {"error at src/main.rs:42:7: boom", 10, "src/main.rs"},
        {"see \"/etc/hosts\", ok", 6, "/etc/hosts"},
        {"(~/notes.txt)", 3, "~/notes.txt"},
        {"[x] /var/log", 6, "/var/log"},
        {"file.txt:12", 2, "file.txt"},
        {"a:b:12", 0, "a:b"},
        {"x 12:34", 3, "12"},
        {"x :34", 3, std::nullopt},
        {"a space", 1, std::nullopt},
        {"a 'q'", 2, std::nullopt},
        {"dir/a)", 1, "dir/a"},
        {"f(x)", 0, "f(x)"},
    };
    for (const auto& c : cases) {
        auto t = row_of(c.text);
        EXPECT_EQ(t->path_token_at(c.col, 0), c.token) << c.text;
    }
}

// ---- frame ----

TEST(Frame, CellColoursAndAttributes) {
    auto t = make(10, 2);
    t->feed("\x1b[7;2mA\x1b[0m\x1b[8mB\x1b[0m\x1b[31;1;4;9mC");
    Frame f = t->frame();
    ASSERT_EQ(f.cells.size(), 20u);
    const FrameCell& a = f.cells[0];
    EXPECT_EQ(a.fg, (Rgb{16, 15, 19}));  // inverse, then dimmed
    EXPECT_EQ(a.bg, (Rgb{0xef, 0xee, 0xf1}));
    const FrameCell& b = f.cells[1];
    EXPECT_EQ(b.c, U' ');
    const FrameCell& c = f.cells[2];
    EXPECT_EQ(c.fg, (Rgb{0xf3, 0x60, 0x6d}));
    EXPECT_TRUE(c.bold && c.underline && c.strikeout);
    EXPECT_EQ(f.background, (Rgb{0x19, 0x17, 0x1d}));
    EXPECT_EQ(f.cursor.color, (Rgb{0xe2, 0x34, 0x39}));
    EXPECT_TRUE(f.cursor.visible);
    EXPECT_EQ(f.cursor.col, 3);
    EXPECT_TRUE(f.cursor.blinking);
}

TEST(Frame, HiddenCellsLoseTheirMarks) {
    auto t = make(10, 2);
    t->feed("\x1b[8me\xCC\x81");
    Frame f = t->frame();
    EXPECT_EQ(f.cells[0].c, U' ');
    EXPECT_TRUE(f.cells[0].zerowidth.empty());
    auto u = make(10, 2);
    u->feed("e\xCC\x81");
    EXPECT_EQ(u->frame().cells[0].zerowidth, (std::vector<char32_t>{0x301}));
}

TEST(Frame, WideCellSelectedThroughItsRightHalf) {
    auto t = make(10, 2);
    t->feed("\xE4\xB8\xADx");  // a wide character, then x
    t->term().selection =
        kestrum::vt::Selection(kestrum::vt::SelectionKind::simple,
                               kestrum::vt::Selection::Anchor{{0, 1}, kestrum::vt::Side::left},
                               kestrum::vt::Selection::Anchor{{0, 1}, kestrum::vt::Side::right});
    Frame f = t->frame();
    ASSERT_EQ(f.cells.size(), 19u);  // the spacer is left out
    EXPECT_TRUE(f.cells[0].wide);
    EXPECT_TRUE(f.cells[0].selected);
    EXPECT_EQ(f.cells[1].col, 2);
    EXPECT_FALSE(f.cells[1].selected);
}

TEST(Frame, CursorBelowTheViewIsInvisible) {
    auto t = make(10, 2);
    t->feed("1\r\n2\r\n3\r\n4");
    t->scroll_lines(2);
    Frame f = t->frame();
    EXPECT_FALSE(f.cursor.visible);
    EXPECT_EQ(f.cursor, (Cursor{}));
    EXPECT_EQ(f.cells[0].c, U'1');
    // The line above the view: none at the top of the history.
    EXPECT_TRUE(t->overscan_top_row().empty());
    t->scroll_lines(-1);
    auto above = t->overscan_top_row();
    ASSERT_EQ(above.size(), 10u);
    EXPECT_EQ(above[0].c, U'1');
    EXPECT_EQ(above[0].row, 0);
}

TEST(Frame, HiddenCursor) {
    auto t = make(10, 2);
    t->feed("\x1b[?25l");
    EXPECT_FALSE(t->frame().cursor.visible);
    t->feed("\x1b[?25h\x1b[6 q");
    Frame f = t->frame();
    EXPECT_EQ(f.cursor.shape, 2);
    EXPECT_FALSE(f.cursor.blinking);
}

// ---- deletable selection ----

TEST(Deletable, SelectionEndingAtTheCursor) {
    auto select = [](Terminal& t, kestrum::vt::Point a, kestrum::vt::Point b) {
        t.term().selection =
            kestrum::vt::Selection(kestrum::vt::SelectionKind::simple,
                                   kestrum::vt::Selection::Anchor{a, kestrum::vt::Side::left},
                                   kestrum::vt::Selection::Anchor{b, kestrum::vt::Side::right});
    };
    auto t = make(20, 3);
    t->feed("$ ab\xE4\xB8\xAD");  // cursor after the wide character, at column 6
    select(*t, {0, 2}, {0, 5});
    EXPECT_EQ(t->selection_deletable_len(), 3u);  // a, b and the wide character once
    select(*t, {0, 2}, {0, 3});
    EXPECT_FALSE(t->selection_deletable_len());  // does not reach the cursor
    t->term().selection.reset();
    EXPECT_FALSE(t->selection_deletable_len());
    t->feed("\x1b[?1049h");
    select(*t, {0, 0}, {0, 0});
    EXPECT_FALSE(t->selection_deletable_len());
}

}  // namespace
}  // namespace kestrum_term
