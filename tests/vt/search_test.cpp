// Regex search over the grid.
#include "vt/search.hpp"

#include <gtest/gtest.h>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

std::vector<Match> all_matches(const Terminal& term, std::string_view pattern, Point start,
                               Point end, Direction dir, bool case_sensitive = true) {
    auto search = RegexSearch::compile(pattern, case_sensitive);
    EXPECT_TRUE(search.has_value());
    std::vector<Match> out;
    if (!search) return out;
    MatchIter it(term, *search, start, end, dir);
    while (auto m = it.next())
        out.push_back(*m);
    return out;
}

Point last_cell(const Terminal& t) {
    return {t.bottom_line(), t.cols() - 1u};
}
Point first_cell(const Terminal& t) {
    return {t.top_line(), 0};
}

TEST(Search, InvalidPatternsFailToCompile) {
    EXPECT_FALSE(RegexSearch::compile("(", true).has_value());
    EXPECT_FALSE(RegexSearch::compile("[a-", true).has_value());
    EXPECT_TRUE(RegexSearch::compile("a(b|c)*", true).has_value());
}

TEST(Search, CaseSensitivityIsTheCallersChoice) {
    Vt vt(20, 3);
    vt.feed("Foo foo FOO");
    EXPECT_EQ(all_matches(vt.term, "foo", first_cell(vt.term), last_cell(vt.term),
                          Direction::forward, false)
                  .size(),
              3u);
    auto exact = all_matches(vt.term, "Foo", first_cell(vt.term), last_cell(vt.term),
                             Direction::forward, true);
    ASSERT_EQ(exact.size(), 1u);
    EXPECT_EQ(exact[0], (Match{{0, 0}, {0, 2}}));
}

TEST(Search, ForwardAndBackwardOverHistoryAndScreen) {
    Vt vt(10, 2, 10);
    vt.feed("a1\r\nb\r\na2 a3\r\na4");  // lines -2 .. 1
    const std::vector<Match> forward = {
        {{-2, 0}, {-2, 1}}, {{0, 0}, {0, 1}}, {{0, 3}, {0, 4}}, {{1, 0}, {1, 1}}};
    EXPECT_EQ(
        all_matches(vt.term, "a\\d", first_cell(vt.term), last_cell(vt.term), Direction::forward),
        forward);
    std::vector<Match> backward(forward.rbegin(), forward.rend());
    EXPECT_EQ(
        all_matches(vt.term, "a\\d", last_cell(vt.term), first_cell(vt.term), Direction::backward),
        backward);
}

TEST(Search, RangeWrapsAroundTheBuffer) {
    Vt vt(10, 3, 10);
    vt.feed("x1\r\nx2\r\nx3");
    // From line 1 to just before it: every match once, starting at line 1.
    auto m = all_matches(vt.term, "x\\d", {1, 0}, {0, 9}, Direction::forward);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].start, (Point{1, 0}));
    EXPECT_EQ(m[1].start, (Point{2, 0}));
    EXPECT_EQ(m[2].start, (Point{0, 0}));
    auto b = all_matches(vt.term, "x\\d", {1, 9}, {2, 0}, Direction::backward);
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].start, (Point{1, 0}));
    EXPECT_EQ(b[1].start, (Point{0, 0}));
    EXPECT_EQ(b[2].start, (Point{2, 0}));
}

TEST(Search, WrappedOnTheSameLineYieldsEachMatchOnce) {
    Vt vt(20, 2, 10);
    vt.feed("ab ab ab");
    auto m = all_matches(vt.term, "ab", {0, 4}, {0, 3}, Direction::forward);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].start, (Point{0, 3}));
    EXPECT_EQ(m[1].start, (Point{0, 6}));
    EXPECT_EQ(m[2].start, (Point{0, 0}));
}

TEST(Search, MatchSpansWrappedLines) {
    Vt vt(5, 3, 10);
    vt.feed("xxxhello");
    auto m =
        all_matches(vt.term, "hello", first_cell(vt.term), last_cell(vt.term), Direction::forward);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], (Match{{0, 3}, {1, 2}}));
}

TEST(Search, NoMatchAcrossALineFeed) {
    Vt vt(10, 3, 10);
    vt.feed("hel\r\nlo");
    EXPECT_TRUE(
        all_matches(vt.term, "hel+o", first_cell(vt.term), last_cell(vt.term), Direction::forward)
            .empty());
    EXPECT_EQ(
        all_matches(vt.term, "^lo$", first_cell(vt.term), last_cell(vt.term), Direction::forward)
            .size(),
        1u);
}

TEST(Search, WideCharacters) {
    Vt vt(10, 3, 10);
    vt.feed(
        "\xe4\xb8\xad\xe6\x96\x87"
        "abc\r\na\xe4\xb8\xad");
    auto m = all_matches(vt.term,
                         "\xe6\x96\x87"
                         "a",
                         first_cell(vt.term), last_cell(vt.term), Direction::forward);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], (Match{{0, 2}, {0, 4}}));
    // A match ending on a wide character covers its spacer.
    auto w = all_matches(vt.term, "a\xe4\xb8\xad", first_cell(vt.term), last_cell(vt.term),
                         Direction::forward);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0], (Match{{1, 0}, {1, 2}}));
}

TEST(Search, WideCharacterAfterALeadingSpacer) {
    Vt vt(3, 3, 10);
    vt.feed(
        "ab\xe4\xb8\xad"
        "c");
    auto m = all_matches(vt.term,
                         "b\xe4\xb8\xad"
                         "c",
                         first_cell(vt.term), last_cell(vt.term), Direction::forward);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], (Match{{0, 1}, {1, 2}}));
}

TEST(Search, AdjustWide) {
    Vt vt(3, 3, 10);
    vt.feed(
        "\xe4\xb8\xad"
        "abc\xe4\xb8\xad");  // line 0: wide at 0, 'a'; line 1: "bc", leading spacer
    EXPECT_EQ(adjust_wide(vt.term, {0, 0}, Direction::forward), (Point{0, 1}));
    EXPECT_EQ(adjust_wide(vt.term, {0, 1}, Direction::backward), (Point{0, 0}));
    EXPECT_EQ(adjust_wide(vt.term, {1, 2}, Direction::forward), (Point{2, 0}));
    EXPECT_EQ(adjust_wide(vt.term, {0, 2}, Direction::forward), (Point{0, 2}));
}

TEST(Search, EmptyMatchesAreSkipped) {
    Vt vt(10, 2, 10);
    vt.feed("bab");
    auto m =
        all_matches(vt.term, "a*", first_cell(vt.term), last_cell(vt.term), Direction::forward);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], (Match{{0, 1}, {0, 1}}));
}

TEST(Search, TooComplexPatternFindsNothing) {
    auto search = RegexSearch::compile("((((a{100}){100}){100}){100})", true);
    ASSERT_TRUE(search.has_value());
    EXPECT_TRUE(search->too_complex());
    Vt vt(10, 2, 10);
    vt.feed("aaaa");
    MatchIter it(vt.term, *search, first_cell(vt.term), last_cell(vt.term), Direction::forward);
    EXPECT_FALSE(it.next());
}

TEST(Search, AHugeLogicalLineIsSearchedInPieces) {
    Vt vt(10, 5, 2000);
    vt.feed(std::string(10 * 1000, 'x') + "needle");
    auto m = all_matches(vt.term, "needle", {vt.term.bottom_line(), 0}, {vt.term.bottom_line(), 9},
                         Direction::forward);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].start, (Point{vt.term.bottom_line(), 0}));
    // Every match once over the whole buffer, pieces and all.
    auto all =
        all_matches(vt.term, "x{10}", first_cell(vt.term), last_cell(vt.term), Direction::forward);
    EXPECT_EQ(all.size(), 1000u);
}

TEST(Search, ViewportRangeYieldsMatchesTouchingIt) {
    Vt vt(5, 2, 10);
    vt.feed("xxxhello\r\nhello");  // "hello" spans lines -1 and 0; another on line 1
    auto m = all_matches(vt.term, "hello", {0, 0}, {1, 4}, Direction::forward);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0], (Match{{-1, 3}, {0, 2}}));
    EXPECT_EQ(m[1], (Match{{1, 0}, {1, 4}}));
}

}  // namespace
}  // namespace kestrum::vt
