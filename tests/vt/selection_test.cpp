// Selections: their ranges, their text, and how they follow or leave the output.
#include <gtest/gtest.h>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

struct Case {
    const char* name;
    std::uint16_t cols;
    std::string input;
    SelectionKind kind;
    Selection::Anchor start, end;
    std::optional<std::string> text;
};

constexpr Side L = Side::left;
constexpr Side R = Side::right;

const std::vector<Case> cases = {
    {"simple, both cells included",
     20,
     "hello world",
     SelectionKind::simple,
     {{0, 0}, L},
     {{0, 4}, R},
     "hello"},
    {"simple, right side of the start excludes it",
     20,
     "hello world",
     SelectionKind::simple,
     {{0, 0}, R},
     {{0, 4}, R},
     "ello"},
    {"simple, left side of the end excludes it",
     20,
     "hello world",
     SelectionKind::simple,
     {{0, 0}, L},
     {{0, 4}, L},
     "hell"},
    {"simple, anchors in reverse order",
     20,
     "hello world",
     SelectionKind::simple,
     {{0, 4}, R},
     {{0, 0}, L},
     "hello"},
    {"simple, one side of one cell is empty",
     20,
     "hello",
     SelectionKind::simple,
     {{0, 2}, L},
     {{0, 2}, L},
     std::nullopt},
    {"simple, both sides of one cell",
     20,
     "hello",
     SelectionKind::simple,
     {{0, 2}, L},
     {{0, 2}, R},
     "l"},
    {"lines end with a line feed, trailing blanks dropped",
     20,
     "ab   \r\ncd",
     SelectionKind::simple,
     {{0, 0}, L},
     {{1, 9}, R},
     "ab\ncd"},
    {"wrapped lines are joined",
     5,
     "abcdefgh",
     SelectionKind::simple,
     {{0, 0}, L},
     {{1, 2}, R},
     "abcdefgh"},
    {"blanks before a wrap are kept",
     5,
     "ab   cd",
     SelectionKind::simple,
     {{0, 0}, L},
     {{1, 1}, R},
     "ab   cd"},
    {"a spacer selects its wide character",
     10,
     "a\xe4\xb8\xad"
     "b",
     SelectionKind::simple,
     {{0, 2}, L},
     {{0, 2}, R},
     "\xe4\xb8\xad"},
    {"zero-width characters come along",
     10,
     "e\xcc\x81"
     "f",
     SelectionKind::simple,
     {{0, 0}, L},
     {{0, 1}, R},
     "e\xcc\x81"
     "f"},
    {"a leading spacer adds nothing",
     3,
     "ab\xe4\xb8\xad",
     SelectionKind::simple,
     {{0, 0}, L},
     {{1, 1}, R},
     "ab\xe4\xb8\xad"},
    {"block",
     10,
     "abcd\r\nefgh\r\nijkl",
     SelectionKind::block,
     {{0, 1}, L},
     {{2, 2}, R},
     "bc\nfg\njk"},
    {"block from the other corner",
     10,
     "abcd\r\nefgh\r\nijkl",
     SelectionKind::block,
     {{0, 2}, L},
     {{2, 1}, R},
     "bc\nfg\njk"},
    {"word", 20, "foo bar,baz", SelectionKind::word, {{0, 5}, L}, {{0, 5}, L}, "bar"},
    {"word after a separator",
     20,
     "foo bar,baz",
     SelectionKind::word,
     {{0, 9}, L},
     {{0, 9}, L},
     "baz"},
    {"word on a separator is the separator",
     20,
     "foo bar,baz",
     SelectionKind::word,
     {{0, 3}, L},
     {{0, 3}, L},
     ""},
    {"word across a wrap",
     5,
     "abc defghij",
     SelectionKind::word,
     {{1, 1}, L},
     {{1, 1}, L},
     "defghij"},
    {"word of wide characters",
     20,
     "\xe4\xb8\xad\xe6\x96\x87 abc",
     SelectionKind::word,
     {{0, 1}, L},
     {{0, 1}, L},
     "\xe4\xb8\xad\xe6\x96\x87"},
    {"word from two anchors",
     20,
     "one two three",
     SelectionKind::word,
     {{0, 1}, L},
     {{0, 5}, L},
     "one two"},
    {"line is the whole logical line",
     5,
     "abcdefgh\r\nxy",
     SelectionKind::line,
     {{1, 1}, L},
     {{1, 1}, L},
     "abcdefgh"},
    {"line below", 5, "abcdefgh\r\nxy", SelectionKind::line, {{2, 0}, L}, {{2, 0}, L}, "xy"},
};

TEST(Selection, RangesAndText) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Vt vt(c.cols, 4);
        vt.feed(c.input);
        vt.term.selection = Selection(c.kind, c.start, c.end);
        EXPECT_EQ(vt.term.selection_text(), c.text);
    }
}

TEST(Selection, UpdateMovesTheEnd) {
    Vt vt(20, 4);
    vt.feed("hello world");
    vt.term.selection = Selection(SelectionKind::simple, {0, 6}, Side::left);
    vt.term.selection->update({0, 10}, Side::right);
    EXPECT_EQ(vt.term.selection_text(), "world");
    auto range = vt.term.selection_range();
    ASSERT_TRUE(range);
    EXPECT_EQ(*range, (SelectionRange{{0, 6}, {0, 10}, false}));
}

TEST(Selection, WideCharacterRangeCoversBothHalves) {
    Vt vt(10, 4);
    vt.feed(
        "a\xe4\xb8\xad"
        "b");
    vt.term.selection = Selection(SelectionKind::simple, {0, 0}, Side::left);
    vt.term.selection->update({0, 1}, Side::right);
    EXPECT_EQ(vt.term.selection_range()->end, (Point{0, 2}));
}

TEST(Selection, FollowsItsTextWhenTheScreenScrolls) {
    Vt vt(10, 2, 10);
    vt.feed("x\r\ny");
    vt.term.selection = Selection(SelectionKind::simple, {1, 0}, Side::left);
    vt.term.selection->update({1, 0}, Side::right);
    vt.feed("\r\nz\r\nw");
    auto range = vt.term.selection_range();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->start, (Point{-1, 0}));
    EXPECT_EQ(vt.term.selection_text(), "y");
}

TEST(Selection, ClearedWhenItsTextLeavesTheHistory) {
    Vt vt(10, 2, 1);
    vt.feed("x\r\ny");
    vt.term.selection = Selection(SelectionKind::line, {0, 0}, Side::left);
    vt.feed("\r\n1");
    EXPECT_TRUE(vt.term.selection);
    vt.feed("\r\n2");
    EXPECT_FALSE(vt.term.selection);
}

TEST(Selection, ClearedWhenOutputOverwritesIt) {
    const std::vector<std::string> overwrite = {"\x1b[Hzz", "\x1b[H\x1b[K", "\x1b[2J",
                                                "\x1b[H\x1b[P", "\x1b[H\xe4\xb8\xad"};
    for (const std::string& seq : overwrite) {
        Vt vt(10, 3);
        vt.feed("hello\r\nworld");
        vt.term.selection = Selection(SelectionKind::line, {0, 0}, Side::left);
        vt.feed(seq);
        EXPECT_FALSE(vt.term.selection) << seq.substr(1);
    }
}

TEST(Selection, OnTheAlternateScreenItFollowsScrollingAndOutputElsewhere) {
    Vt vt(10, 3, 10);
    vt.feed("\x1b[?1049h\x1b[Hone\r\ntwo\r\nthree");
    vt.term.selection = Selection(SelectionKind::line, {1, 0}, Side::left);
    vt.feed("\x1b[3;1H\x1b[Kstatus");
    EXPECT_EQ(vt.term.selection_text(), "two");
    vt.feed("\r\n");
    EXPECT_EQ(vt.term.selection_range()->start.line, 0);
    EXPECT_EQ(vt.term.selection_text(), "two");
    vt.feed("\r\n");
    EXPECT_FALSE(vt.term.selection);
}

TEST(Selection, ClearedByOutputInInsertModeOrWithLineDrawing) {
    for (const std::string seq : {"\x1b[4h\x1b[Hx", "\x1b(0\x1b[Hq"}) {
        Vt vt(10, 3);
        vt.feed("hello");
        vt.term.selection = Selection(SelectionKind::line, {0, 0}, Side::left);
        vt.feed(seq);
        EXPECT_FALSE(vt.term.selection) << seq.substr(1);
    }
}

TEST(Selection, KeptWhenOutputGoesElsewhere) {
    Vt vt(10, 3);
    vt.feed("hello\r\nworld");
    vt.term.selection = Selection(SelectionKind::line, {0, 0}, Side::left);
    vt.feed("\x1b[3;1Hmore\x1b[2;1H\x1b[K");
    EXPECT_EQ(vt.term.selection_text(), "hello");
}

TEST(Text, RangesAcrossHistoryAndScreen) {
    Vt vt(5, 2, 10);
    vt.feed("abcdefgh\r\nxy\r\nz");
    EXPECT_EQ(vt.term.text({-2, 0}, {1, 4}), "abcdefgh\nxy\nz");
    EXPECT_EQ(vt.term.text({-2, 3}, {-1, 1}), "defg");
    EXPECT_EQ(vt.term.text({-99, 0}, {99, 0}), "abcdefgh\nxy\nz");
}

}  // namespace
}  // namespace kestrum::vt
