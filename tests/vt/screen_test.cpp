// Screen operations, stated as input bytes and the screen text they leave.
#include <gtest/gtest.h>

#include <optional>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> screen;  // every row, trailing blanks dropped
    std::optional<Point> cursor = std::nullopt;
    std::uint16_t cols = 10;
};

std::string join(const std::vector<std::string>& rows) {
    std::string s;
    for (std::size_t i = 0; i < rows.size(); ++i)
        s += (i ? "\n" : "") + rows[i];
    return s;
}

const std::string four_lines = "1\r\n2\r\n3\r\n4";

const std::vector<Case> cases = {
    // Printing and wrapping.
    {"crlf", "ab\r\ncd", {"ab", "cd", "", ""}, Point{1, 2}},
    {"autowrap", "0123456789ab", {"0123456789", "ab", "", ""}, Point{1, 2}},
    {"pending wrap then CR stays on the line",
     "0123456789\rX",
     {"X123456789", "", "", ""},
     Point{0, 1}},
    {"pending wrap then LF keeps the column",
     "0123456789\nX",
     {"0123456789", "         X", "", ""}},
    {"no autowrap overwrites the last column",
     "\x1b[?7l"
     "0123456789abc",
     {"012345678c", "", "", ""},
     Point{0, 9}},
    {"wide character",
     "a\xe4\xb8\xad"
     "b",
     {"a\xe4\xb8\xad"
      "b",
      "", "", ""},
     Point{0, 4}},
    {"wide character that does not fit wraps",
     "012345678\xe4\xb8\xad",
     {"012345678", "\xe4\xb8\xad", "", ""},
     Point{1, 2}},
    {"combining mark joins the previous cell",
     "e\xcc\x81x",
     {"e\xcc\x81x", "", "", ""},
     Point{0, 2}},
    {"writing on a spacer clears its wide character", "\xe4\xb8\xad\x1b[1;2Hx", {" x", "", "", ""}},
    {"writing on a wide character clears its spacer", "\xe4\xb8\xad\x1b[1;1Hx", {"x", "", "", ""}},
    {"backspace", "abc\b\bX\r\b", {"aXc", "", "", ""}, Point{0, 0}},
    {"vt and ff feed lines",
     "a\x0b"
     "b\x0c"
     "c",
     {"a", " b", "  c", ""}},
    {"full screen scrolls", "1\r\n2\r\n3\r\n4\r\n5", {"2", "3", "4", "5"}, Point{3, 1}},
    {"REP repeats the last character", "ab\x1b[3b", {"abbbb", "", "", ""}, Point{0, 5}},

    // Cursor movement.
    {"CUU CUD CUF CUB clamp",
     "\x1b[3;5Hx\x1b[2Ay\x1b[5Bz\x1b[20Cw\x1b[3Dv",
     {"     y", "", "    x", "      v  w"},
     Point{3, 7}},
    {"CNL CPL CHA HPA VPA HPR VPR",
     "abc\x1b[2E"
     "d\x1b[F"
     "e\x1b[5G"
     "f\x1b[2`g\x1b[4dh\x1b[2ai\x1b[ej",
     {"abc", "eg  f", "d", "  h  ij"},
     Point{3, 7}},
    {"CUP and HVP",
     "\x1b[2;2fX\x1b[H"
     "Y\x1b[4;10HZ",
     {"Y", " X", "", "         Z"}},
    {"origin mode addresses the region",
     "\x1b[2;3r\x1b[?6h\x1b[1;1Hx\x1b[9;1Hy",
     {"", "x", "y", ""}},
    {"CUU stops at the top margin", "\x1b[2;3r\x1b[3;1H\x1b[9Ax", {"", "x", "", ""}},
    {"CUD below the region goes to the screen bottom",
     "\x1b[1;2r\x1b[3;1H\x1b[9Bx",
     {"", "", "", "x"}},

    // Index, reverse index and scroll regions.
    {"IND and NEL",
     "a\x1b"
     "Db\x1b"
     "Ec",
     {"a", " b", "c", ""}},
    {"LF at the region bottom scrolls the region",
     four_lines + "\x1b[2;3r\x1b[3;1H\nX",
     {"1", "3", "X", "4"}},
    {"RI at the region top scrolls it down",
     four_lines + "\x1b[2;3r\x1b[2;1H\x1bMX",
     {"1", "X", "2", "4"}},
    {"RI at the screen top inserts a line", "a\x1b[H\x1bMb", {"b", "a", "", ""}},
    {"invalid region is ignored", four_lines + "\x1b[3;2r\x1b[4;1H\nX", {"2", "3", "4", "X"}},

    // Tabs.
    {"default tab stops", "a\tb\tc", {"a       b       c", "", "", ""}, std::nullopt, 20},
    {"tab stops at the last column", "\t\t\tX", {"         X", "", "", ""}},
    {"HTS TBC CBT",
     "\x1b[3g\x1b[5G\x1bH\x1b[1G\tX\x1b[Z\x1b[ZY",
     {"Y   X", "", "", ""},
     std::nullopt,
     20},
    {"TBC 0 clears one stop",
     "\x1b[9G\x1b[g\r\tX",
     {"                X", "", "", ""},
     std::nullopt,
     20},
    {"CHT", "\x1b[2IX", {"                X", "", "", ""}, std::nullopt, 20},

    // Insert mode and automatic newline.
    {"IRM inserts", "abcdef\r\x1b[4hXY", {"XYabcdef", "", "", ""}},
    {"IRM pushes off the end", "abcdefghij\r\x1b[4hX", {"Xabcdefghi", "", "", ""}},
    {"IRM keeps a wide character it pushes",
     "\xf0\x9f\x98\x80\xc3\xa9\r\x1b[4hu",
     {"u\xf0\x9f\x98\x80\xc3\xa9", "", "", ""},
     Point{0, 1}},
    {"IRM reset", "abc\r\x1b[4h\x1b[4lX", {"Xbc", "", "", ""}},
    {"LNM makes LF return",
     "\x1b[20h"
     "a\nb",
     {"a", "b", "", ""}},

    // Erasing and editing.
    {"ED 0", "aaaa\r\nbbbb\r\ncccc\x1b[2;3H\x1b[J", {"aaaa", "bb", "", ""}, Point{1, 2}},
    {"ED 1", "aaaa\r\nbbbb\r\ncccc\x1b[2;3H\x1b[1J", {"", "   b", "cccc", ""}},
    {"ED 2", "aaaa\r\nbbbb\x1b[2J", {"", "", "", ""}, Point{1, 4}},
    {"EL 0", "abcdef\x1b[1;3H\x1b[K", {"ab", "", "", ""}},
    {"EL 1", "abcdef\x1b[1;3H\x1b[1K", {"   def", "", "", ""}},
    {"EL 2", "abcdef\x1b[1;3H\x1b[2K", {"", "", "", ""}, Point{0, 2}},
    {"ECH", "abcdef\x1b[1;2H\x1b[3X", {"a   ef", "", "", ""}, Point{0, 1}},
    {"ECH past the end", "abcdef\x1b[1;5H\x1b[99X", {"abcd", "", "", ""}},
    {"ICH", "abcdef\x1b[1;2H\x1b[2@", {"a  bcdef", "", "", ""}, Point{0, 1}},
    {"ICH past the end", "abcdef\x1b[1;2H\x1b[99@", {"a", "", "", ""}},
    {"ICH splits a wide character",
     "a\xe4\xb8\xad"
     "b\x1b[1;3H\x1b[@",
     {"a   b", "", "", ""}},
    {"DCH", "abcdef\x1b[1;2H\x1b[2P", {"adef", "", "", ""}},
    {"DCH on a spacer removes the wide character",
     "a\xe4\xb8\xad"
     "bc\x1b[1;3H\x1b[P",
     {"a bc", "", "", ""}},
    {"IL", four_lines + "\x1b[2;2H\x1b[L", {"1", "", "2", "3"}, Point{1, 0}},
    {"DL", four_lines + "\x1b[2;2H\x1b[M", {"1", "3", "4", ""}, Point{1, 0}},
    {"IL inside a region", four_lines + "\x1b[1;3r\x1b[2;1H\x1b[L", {"1", "", "2", "4"}},
    {"IL outside the region does nothing",
     four_lines + "\x1b[1;2r\x1b[4;1H\x1b[L",
     {"1", "2", "3", "4"}},
    {"SU", four_lines + "\x1b[2S", {"3", "4", "", ""}},
    {"SD", four_lines + "\x1b[T", {"", "1", "2", "3"}},
    {"SU inside a region", four_lines + "\x1b[2;3r\x1b[S", {"1", "3", "", "4"}},

    // Saved cursor, charsets, resets.
    {"DECSC DECRC",
     "\x1b[2;3H\x1b"
     "7\x1b[Hx\x1b"
     "8y",
     {"x", "  y", "", ""}},
    {"SCOSC SCORC", "\x1b[2;3H\x1b[s\x1b[Hx\x1b[uy", {"x", "  y", "", ""}},
    {"DECRC without a save homes",
     "\x1b[3;3H\x1b"
     "8x",
     {"x", "", "", ""}},
    {"DEC line drawing", "\x1b(0lqk\x1b(B x", {"\u250c\u2500\u2510 x", "", "", ""}},
    {"SO and SI switch G1", "\x1b)0a\x0eq\x0fq", {"a\u2500q", "", "", ""}},
    {"DECRC restores the charset",
     "\x1b(0\x1b"
     "7\x1b(B\x1b"
     "8q",
     {"\u2500", "", "", ""}},
    {"DECALN", "\x1b#8", {"EEEEEEEEEE", "EEEEEEEEEE", "EEEEEEEEEE", "EEEEEEEEEE"}, Point{0, 0}},
    {"RIS",
     "abc\x1b[2;3r\x1b"
     "cd\n",
     {"d", "", "", ""},
     Point{1, 1}},
    {"DECSTR restores autowrap", "\x1b[?7l\x1b[!p0123456789ab", {"0123456789", "ab", "", ""}},

    // Alternate screens.
    {"1049 saves and restores the cursor",
     "main\x1b[?1049h"
     "alt\x1b[?1049l",
     {"main", "", "", ""},
     Point{0, 4}},
    {"47 shares the cursor", "main\x1b[?47hX\x1b[?47l", {"main", "", "", ""}, Point{0, 5}},
    {"47 keeps the alternate screen", "\x1b[?47hX\x1b[?47l\x1b[?47h", {"X", "", "", ""}},
    {"1047 clears it on leaving", "\x1b[?1047hX\x1b[?1047l\x1b[?47h", {"", "", "", ""}},
    {"1049 clears it on entering", "\x1b[?47hX\x1b[?47l\x1b[?1049h", {"", "", "", ""}},
};

TEST(Screen, Operations) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Vt vt(c.cols, 4);
        vt.feed(c.input);
        EXPECT_EQ(vt.screen(), join(c.screen));
        if (c.cursor) {
            EXPECT_EQ(vt.cursor(), *c.cursor);
        }
    }
}

TEST(Screen, SameResultWhenSplitAtEveryByte) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Vt whole(c.cols, 4);
        whole.feed(c.input);
        Vt split(c.cols, 4);
        for (char ch : c.input)
            split.feed(std::string_view(&ch, 1));
        EXPECT_EQ(split.screen(), whole.screen());
        EXPECT_EQ(split.cursor(), whole.cursor());
    }
}

TEST(Screen, EraseUsesTheCurrentBackground) {
    Vt vt;
    vt.feed("\x1b[41m\x1b[2J\x1b[0mx");
    EXPECT_EQ(vt.term.cell({1, 3}).bg(), Color::make_named(1));
    EXPECT_EQ(vt.term.cell({0, 0}).bg(), Color::make_named(named::background));
}

TEST(Screen, ZeroWidthCharactersAreBounded) {
    Vt vt;
    std::string input = "e";
    for (int i = 0; i < 40; ++i)
        input += "\xcc\x81";
    vt.feed(input);
    EXPECT_EQ(vt.term.zerowidth({0, 0}).size(), max_zerowidth_per_cell);
    EXPECT_EQ(vt.cursor(), (Point{0, 1}));
}

TEST(Screen, ZeroWidthOnAWideCharacterAttachesToItsFirstHalf) {
    Vt vt;
    vt.feed(
        "\xf0\x9f\x91\x8d\xef\xb8\x8f"
        "x");  // thumbs up + VS16
    EXPECT_TRUE(vt.term.cell({0, 0}).has(flag::wide));
    ASSERT_EQ(vt.term.zerowidth({0, 0}).size(), 1u);
    EXPECT_EQ(vt.term.zerowidth({0, 0})[0], U'\uFE0F');
    EXPECT_EQ(vt.term.cell({0, 2}).ch, U'x');
}

TEST(Screen, OverwritingDropsZeroWidthCharacters) {
    Vt vt;
    vt.feed("e\xcc\x81\rx");
    EXPECT_TRUE(vt.term.zerowidth({0, 0}).empty());
}

TEST(Screen, WrapFlagMarksContinuedLines) {
    Vt vt;
    vt.feed("0123456789ab\r\ncd");
    EXPECT_TRUE(vt.term.line(0).wrapped);
    EXPECT_FALSE(vt.term.line(1).wrapped);
    vt.feed("\x1b[1;5H\x1b[K");  // erasing to the end ends the continuation
    EXPECT_FALSE(vt.term.line(0).wrapped);
}

TEST(Screen, BellIsReported) {
    Vt vt;
    vt.feed(
        "a\x07"
        "b\x07");
    EXPECT_EQ(vt.recorder.all<event::Bell>().size(), 2u);
}

}  // namespace
}  // namespace kestrum::vt
