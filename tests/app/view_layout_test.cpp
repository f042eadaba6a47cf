// The grid-size rule, the tab bar's layout and its hit test, on plain numbers:
// cells 10 x 20 px at scale 1, so the strip starts at x = 80.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/tab_layout.hpp"
#include "app/terminal_view.hpp"

namespace kestrum_app {
namespace {

constexpr float kCw = 10;
constexpr float kCh = 20;

TEST(GridSize, EdgeCases) {
    struct Case {
        const char* what;
        float width, height, pad_x, pad_y, cw, ch;
        std::optional<GridSize> expected;
    };
    const Case cases[] = {
        {"narrower than its padding", 10, 600, 8, 6, kCw, kCh, std::nullopt},
        {"less than one cell high", 800, 19.9f + 12, 8, 6, kCw, kCh, std::nullopt},
        {"one cell high keeps one row", 100, 20 + 12, 8, 6, kCw, kCh, GridSize{8, 1}},
        {"two cells high: still one row", 100, 40 + 12, 8, 6, kCw, kCh, GridSize{8, 1}},
        {"three cells high: the bar takes two", 100, 60 + 12, 8, 6, kCw, kCh, GridSize{8, 1}},
        {"four cells high", 100, 80 + 12, 8, 6, kCw, kCh, GridSize{8, 2}},
        {"partial cells are floored", 99.9f, 239.9f, 0, 0, kCw, kCh, GridSize{9, 9}},
        {"exactly one cell wide", 10, 100, 0, 0, kCw, kCh, GridSize{1, 3}},
        {"counts saturate", 1e9f, 1e9f, 0, 0, kCw, kCh, GridSize{65535, 65533}},
        {"no cell size", 800, 600, 0, 0, 0, kCh, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto got = grid_size(c.width, c.height, c.pad_x, c.pad_y, c.cw, c.ch);
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (!got) continue;
        EXPECT_EQ(got->cols, c.expected->cols);
        EXPECT_EQ(got->rows, c.expected->rows);
    }
}

TEST(TabLayout, TitleWidthCountsCharactersUpTo22) {
    auto width_of = [](const std::string& title) {
        return tab_layout({title}, 2000, kCw, kCh, 1.0).pills.at(0).width;
    };
    EXPECT_EQ(width_of(std::string(30, 'x')), width_of(std::string(22, 'x')));
    EXPECT_GT(width_of(std::string(22, 'x')), width_of(std::string(21, 'x')));
    // Characters, not bytes: four accented letters and the rename caret.
    EXPECT_EQ(width_of("\u00e9\u00e9\u00e9\u00e9"), width_of("abcd"));
    EXPECT_EQ(width_of("ab\u258F"), width_of("abc"));
    EXPECT_FLOAT_EQ(width_of("abcd") - width_of("abc"), kCw);
}

TEST(TabLayout, StripStartsAfterTheWindowButtonsAndScrollsOnlyWhenItOverflows) {
    TabLayout none = tab_layout({}, 1000, kCw, kCh, 1.0);
    EXPECT_TRUE(none.pills.empty());
    EXPECT_FLOAT_EQ(none.new_tab_rect.x, 80);
    EXPECT_FLOAT_EQ(none.scroll_max, 0);

    TabLayout two = tab_layout({"a", "b"}, 1000, kCw, kCh, 2.0);
    EXPECT_FLOAT_EQ(two.clip_left, 160);
    EXPECT_FLOAT_EQ(two.pills[0].x, 160);
    EXPECT_FLOAT_EQ(two.pills[1].x, two.pills[0].x + two.pills[0].width + two.pill_gap);
    EXPECT_FLOAT_EQ(two.new_tab_rect.x, two.pills[1].x + two.pills[1].width + two.pill_gap);
    EXPECT_FLOAT_EQ(two.bar_height, 2 * kCh);
    EXPECT_FLOAT_EQ(two.scroll_max, 0);

    // Just too narrow: the overflow is what the strip, the button and a two-cell
    // margin need beyond the drawable.
    const TabLayout& l = two;
    float needed = l.new_tab_rect.x + l.new_tab_rect.width + 2 * kCw;
    EXPECT_FLOAT_EQ(tab_layout({"a", "b"}, needed - 30, kCw, kCh, 2.0).scroll_max, 30);
    EXPECT_FLOAT_EQ(tab_layout({"a", "b"}, needed, kCw, kCh, 2.0).scroll_max, 0);
}

// A point `from_top` points below the top of a 600-point view, at scale 1.
BarHit hit(const TabLayout& l, double x, double from_top, float drawable_width = 1000,
           float tab_scroll = 0) {
    return bar_hit(l, x, 600 - from_top, 600, 1.0, kCh, drawable_width, tab_scroll);
}

TEST(BarHit, FittingTabs) {
    TabLayout l = tab_layout({"one", "two", "three"}, 1000, kCw, kCh, 1.0);
    const Rect& p0 = l.pills[0];
    const Rect& p2 = l.pills[2];
    const float gap_after_p0 = p0.x + p0.width + l.pill_gap * 0.5f;
    const float gap_after_p2 = p2.x + p2.width + l.pill_gap * 0.5f;
    struct Case {
        const char* what;
        double x, from_top;
        BarHit expected;
    };
    const Case cases[] = {
        {"inside the first pill", p0.x + 1, 20, BarHit::tab(0)},
        {"the gap after a pill is that pill's", gap_after_p0, 20, BarHit::tab(0)},
        {"the next pill's first pixel", l.pills[1].x, 20, BarHit::tab(1)},
        {"the gap after the last pill is background", gap_after_p2, 20, BarHit::background()},
        {"the + button starts after that gap", l.new_tab_rect.x, 20, BarHit::new_tab_button()},
        {"right of the button", l.new_tab_rect.x + l.new_tab_rect.width, 20, BarHit::background()},
        {"left of the strip", 10, 20, BarHit::background()},
        {"the top edge of the bar", p0.x + 1, 0, BarHit::tab(0)},
        {"the pill band is not tested vertically", p0.x + 1, 39.9, BarHit::tab(0)},
        {"below the two top rows", p0.x + 1, 40, BarHit::none()},
        {"far below, whatever x", l.new_tab_rect.x, 300, BarHit::none()},
        {"left of the view", -1, 20, BarHit::none()},
        {"above the view", p0.x + 1, -1, BarHit::none()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hit(l, c.x, c.from_top), c.expected);
    }
}

TEST(BarHit, OverflowingStripScrolledAndClipped) {
    std::vector<std::string> titles(10, std::string(22, 't'));
    const float width = 400;
    TabLayout l = tab_layout(titles, width, kCw, kCh, 1.0);
    ASSERT_GT(l.scroll_max, 400);
    // Pill 0 covers the strip from 80 to its successor's start (past 300).
    ASSERT_GT(l.pills[1].x, 300);
    ASSERT_LT(l.pills[1].x, 390);
    // Unscrolled, x = 90 is on pill 0; scrolled by 300 it is strip position 390.
    EXPECT_EQ(hit(l, 90, 10, width, 0), BarHit::tab(0));
    EXPECT_EQ(hit(l, 90, 10, width, 300), BarHit::tab(1));
    // Left of the strip's start nothing is hit while it overflows, scrolled or not.
    EXPECT_EQ(hit(l, 79, 10, width, 300), BarHit::background());
    EXPECT_EQ(hit(l, 0, 10, width, 0), BarHit::background());
    // The scroll is clamped to the strip's end: the last pill, never past it.
    EXPECT_EQ(hit(l, width - 1, 10, width, 1e6f), hit(l, width - 1, 10, width, l.scroll_max));
    EXPECT_EQ(hit(l, 90, 10, width, -50), BarHit::tab(0));
}

TEST(BarHit, NothingWithoutAScaleOrACellHeight) {
    TabLayout l = tab_layout({"a"}, 1000, kCw, kCh, 1.0);
    EXPECT_EQ(bar_hit(l, l.pills[0].x + 1, 590, 600, 0.0, kCh, 1000, 0), BarHit::none());
    EXPECT_EQ(bar_hit(l, l.pills[0].x + 1, 590, 600, 1.0, 0, 1000, 0), BarHit::none());
}

}  // namespace
}  // namespace kestrum_app
