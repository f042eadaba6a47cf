// History and the view onto it.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

std::string numbered_lines(int from, int to) {
    std::string s;
    for (int i = from; i <= to; ++i)
        s += fmt::format("{}{}", i == from ? "" : "\r\n", i);
    return s;
}

TEST(History, GrowsAsUsedUpToItsLimit) {
    Vt vt(10, 4, 5);
    EXPECT_EQ(vt.term.history_size(), 0u);
    vt.feed(numbered_lines(1, 6));
    EXPECT_EQ(vt.term.history_size(), 2u);
    vt.feed("\r\n" + numbered_lines(7, 30));
    EXPECT_EQ(vt.term.history_size(), 5u);
    EXPECT_EQ(vt.all(), "22\n23\n24\n25\n26\n27\n28\n29\n30");
    EXPECT_EQ(vt.term.line(-5)[0].ch, U'2');
}

TEST(History, LimitIsCappedAtOneMillionLines) {
    Vt vt(10, 4, 5'000'000);
    EXPECT_EQ(vt.term.scrollback_limit(), max_history_limit);
}

TEST(History, RegionScrollsAndTheAlternateScreenKeepNone) {
    Vt vt(10, 4, 50);
    vt.feed(numbered_lines(1, 4) + "\x1b[1;3r\x1b[3;1H\n\n");
    EXPECT_EQ(vt.term.history_size(), 0u);
    vt.feed("\x1b[r\x1b[?1049h" + numbered_lines(1, 9));
    EXPECT_EQ(vt.term.history_size(), 0u);
    EXPECT_EQ(vt.screen(), "6\n7\n8\n9");
    vt.feed("\x1b[?1049l");
    EXPECT_EQ(vt.screen(), "3\n\n\n4");
}

TEST(History, ClearingKeepsTheScreen) {
    Vt vt(10, 4, 50);
    vt.feed(numbered_lines(1, 10));
    vt.term.scroll_display(3);
    vt.feed("\x1b[3J");
    EXPECT_EQ(vt.term.history_size(), 0u);
    EXPECT_EQ(vt.term.display_offset(), 0u);
    EXPECT_EQ(vt.screen(), "7\n8\n9\n10");
    vt.feed("\r\n11");
    EXPECT_EQ(vt.all(), "7\n8\n9\n10\n11");
}

TEST(History, ClearingAfterTheRingWrappedKeepsTheScreen) {
    Vt vt(10, 4, 5);
    vt.feed(numbered_lines(1, 20));
    vt.term.clear_history();
    EXPECT_EQ(vt.all(), "17\n18\n19\n20");
    vt.feed("\r\n" + numbered_lines(21, 30));
    EXPECT_EQ(vt.all(), "22\n23\n24\n25\n26\n27\n28\n29\n30");
}

TEST(View, ScrollingIsClampedAndFollowsTheText) {
    Vt vt(10, 4, 100);
    vt.feed(numbered_lines(1, 10));
    vt.term.scroll_display(2);
    EXPECT_EQ(vt.term.display_offset(), 2u);
    vt.term.scroll_display(100);
    EXPECT_EQ(vt.term.display_offset(), 6u);
    vt.term.scroll_display(-4);
    EXPECT_EQ(vt.term.display_offset(), 2u);
    // New output while scrolled back keeps the same text in view.
    vt.feed("\r\n11\r\n12");
    EXPECT_EQ(vt.term.display_offset(), 4u);
    EXPECT_EQ(vt.term.line(-4)[0].ch, U'5');
    vt.term.scroll_to_bottom();
    EXPECT_EQ(vt.term.display_offset(), 0u);
    vt.term.scroll_display(-5);
    EXPECT_EQ(vt.term.display_offset(), 0u);
}

TEST(View, ScrollToLineMovesTheLeastNeeded) {
    Vt vt(10, 4, 100);
    vt.feed(numbered_lines(1, 20));  // lines -16 .. 3
    vt.term.scroll_to_line(2);
    EXPECT_EQ(vt.term.display_offset(), 0u);
    vt.term.scroll_to_line(-10);  // above: becomes the top line
    EXPECT_EQ(vt.term.display_offset(), 10u);
    vt.term.scroll_to_line(-8);  // visible: no change
    EXPECT_EQ(vt.term.display_offset(), 10u);
    vt.term.scroll_to_line(-2);  // below: becomes the bottom line
    EXPECT_EQ(vt.term.display_offset(), 5u);
}

TEST(History, ZeroWidthCharactersScrollWithTheirLine) {
    Vt vt(10, 2, 10);
    vt.feed("e\xcc\x81\r\nx\r\ny\r\nz");
    EXPECT_EQ(vt.all(), "e\xcc\x81\nx\ny\nz");
}

}  // namespace
}  // namespace kestrum::vt
