// Resizing: reflow of the primary screen and its history, cut and pad of the
// alternate screen.
#include <gtest/gtest.h>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

struct Case {
    const char* name;
    std::uint16_t cols, rows;  // starting size
    std::string input;
    std::uint16_t new_cols, new_rows;
    std::string all;  // history and screen after the resize
    Point cursor;
};

const std::vector<Case> cases = {
    {"narrower wraps, room below keeps it on screen", 10, 4, "abcdefgh\r\nxy", 5, 4,
     "abcde\nfgh\nxy\n", Point{2, 2}},
    {"wider re-joins", 5, 4, "abcdefgh\r\nxy", 10, 4, "abcdefgh\nxy\n\n", Point{1, 2}},
    {"narrower without room pushes lines into history", 8, 4,
     "aaaaaaaa\r\nbbbbbbbb\r\ncccccccc\r\ndddd", 4, 4, "aaaa\naaaa\nbbbb\nbbbb\ncccc\ncccc\ndddd",
     Point{3, 3}},
    {"history lines are reflowed too", 10, 2, "abcdefgh\r\n1\r\n2\r\n3", 4, 2,
     "abcd\nefgh\n1\n2\n3", Point{1, 1}},
    {"a wide character that no longer fits moves down", 10, 4, "ab\xe4\xb8\xad", 3, 4,
     "ab\n\xe4\xb8\xad\n\n", Point{1, 2}},
    {"the leading spacer is dropped when joining", 3, 4, "ab\xe4\xb8\xad", 10, 4,
     "ab\xe4\xb8\xad\n\n\n", Point{0, 4}},
    {"the cursor stays with its text", 20, 4, "hello world\x1b[1;7H", 5, 4, "hello\n worl\nd\n",
     Point{1, 1}},
    {"fewer rows push lines above the cursor into history", 10, 4, "1\r\n2\r\n3\r\n4", 10, 2,
     "1\n2\n3\n4", Point{1, 1}},
    {"fewer rows drop blank lines under the cursor", 10, 4, "x", 10, 2, "x\n", Point{0, 1}},
    {"more rows pull nothing out of history", 10, 2, "1\r\n2\r\n3\r\n4", 10, 4, "1\n2\n3\n4\n\n",
     Point{1, 1}},
    {"trailing blanks of a wrapped line are not kept", 5, 4, "ab   cd\x1b[2;1H\x1b[K\x1b[1;1H", 3,
     4, "ab\n\n\n", Point{0, 0}},
    {"zero size becomes one cell", 10, 4, "", 0, 0, "", Point{0, 0}},
};

TEST(Resize, Reflow) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Vt vt(c.cols, c.rows, 100);
        vt.feed(c.input);
        vt.term.resize(c.new_cols, c.new_rows);
        EXPECT_EQ(vt.term.cols(), std::max<std::uint16_t>(c.new_cols, 1));
        EXPECT_EQ(vt.term.rows(), std::max<std::uint16_t>(c.new_rows, 1));
        EXPECT_EQ(vt.all(), c.all);
        EXPECT_EQ(vt.cursor(), c.cursor);
    }
}

TEST(Resize, RoundTripRestoresTheText) {
    Vt vt(12, 5, 100);
    vt.feed("the quick brown fox\r\njumps \xe4\xb8\xad\xe6\x96\x87 over\r\nthe lazy dog");
    const std::string before = vt.all();
    const Point cursor = vt.cursor();
    for (std::uint16_t cols : {7, 3, 2, 1, 9, 30})
        vt.term.resize(cols, 5);
    vt.term.resize(12, 5);
    EXPECT_EQ(vt.all(), before);
    EXPECT_EQ(vt.cursor(), cursor);
}

TEST(Resize, PendingWrapSurvivesAndTheNextCharacterWraps) {
    Vt vt(8, 4, 100);
    vt.feed("abcdefgh");
    vt.term.resize(4, 4);
    EXPECT_TRUE(vt.term.renderable_cursor().pending_wrap);
    vt.feed("X");
    EXPECT_EQ(vt.screen(), "abcd\nefgh\nX\n");
}

TEST(Resize, HistoryLimitHoldsAfterReflow) {
    Vt vt(10, 2, 3);
    vt.feed("aaaaaaaaaa\r\nbbbbbbbbbb\r\ncccccccccc\r\ndd\r\nee");
    vt.term.resize(2, 2);
    EXPECT_EQ(vt.term.history_size(), 3u);
    EXPECT_EQ(vt.screen(), "dd\nee");
}

TEST(Resize, AScrolledBackViewStaysScrolledBack) {
    Vt vt(10, 4, 100);
    for (int i = 0; i < 30; ++i)
        vt.feed("line\r\n");
    vt.term.scroll_display(10);
    vt.term.resize(12, 4);
    EXPECT_EQ(vt.term.display_offset(), 10u);
}

TEST(Resize, AlternateScreenIsCutNotReflowed) {
    Vt vt(10, 4, 100);
    vt.feed(
        "primary text\x1b[?1049h\x1b[H"
        "0123456789\r\nabc");
    vt.term.resize(5, 4);
    EXPECT_EQ(vt.screen(), "01234\nabc\n\n");
    EXPECT_EQ(vt.cursor(), (Point{1, 3}));
    vt.term.resize(10, 4);
    EXPECT_EQ(vt.screen(), "01234\nabc\n\n");
    vt.feed("\x1b[?1049l");
    EXPECT_EQ(vt.screen(), "primary te\nxt\n\n");
}

TEST(Resize, AlternateScreenKeepsTheCursorLine) {
    Vt vt(10, 4, 100);
    vt.feed(
        "\x1b[?1049h"
        "1\r\n2\r\n3\r\n4");
    vt.term.resize(10, 2);
    EXPECT_EQ(vt.screen(), "3\n4");
    EXPECT_EQ(vt.cursor(), (Point{1, 1}));
}

TEST(Resize, SavedPrimaryCursorIsReflowedWhileTheAlternateScreenShows) {
    Vt vt(10, 4, 100);
    vt.feed("abcdefgh\x1b[?1049h");
    vt.term.resize(4, 4);
    vt.feed("\x1b[?1049lX");
    EXPECT_EQ(vt.screen(), "abcd\nefgh\nX\n");
}

TEST(Resize, WideCharactersKeepTheirSpacers) {
    Vt vt(6, 3, 100);
    vt.feed("\xe4\xb8\xad\xe4\xb8\xad\xe4\xb8\xad\xe4\xb8\xad");
    for (std::uint16_t cols : {5, 4, 3, 7, 1, 2}) {
        vt.term.resize(cols, 3);
        for (std::int32_t l = vt.term.top_line(); l <= vt.term.bottom_line(); ++l) {
            for (std::uint32_t x = 0; x < vt.term.cols(); ++x) {
                if (vt.term.cell({l, x}).has(flag::wide)) {
                    ASSERT_LT(x + 1, vt.term.cols());
                    EXPECT_TRUE(vt.term.cell({l, x + 1}).has(flag::wide_spacer));
                }
            }
        }
    }
}

}  // namespace
}  // namespace kestrum::vt
