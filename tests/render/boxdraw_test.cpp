// Box-drawing rectangles: thickness and centre rounding, arm order, block elements.
#include "render/boxdraw.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "render_printers.hpp"

namespace kestrum_render {
namespace {

std::vector<Rect> rects(char32_t c, CellMetrics m) {
    const Segments s = segments(c, m);
    return {s.begin(), s.end()};
}

CellMetrics cell(float cw, float ch, float thickness) {
    CellMetrics m;
    m.cell_width = cw;
    m.cell_height = ch;
    m.line_thickness = thickness;
    return m;
}

struct Case {
    const char* what;
    char32_t c;
    CellMetrics metrics;
    std::vector<Rect> want;
};

TEST(BoxDraw, Rectangles) {
    const CellMetrics m = cell(9, 18, 1);
    const Case cases[] = {
        // Light lines: ox = round(4.0) = 4, oy = round(8.5) = 9.
        {"light horizontal", U'─', m, {{0, 9, 5, 1}, {4, 9, 5, 1}}},
        {"light vertical", U'│', m, {{4, 0, 1, 10}, {4, 9, 1, 9}}},
        {"light cross: up, down, left, right",
         U'┼',
         m,
         {{4, 0, 1, 10}, {4, 9, 1, 9}, {0, 9, 5, 1}, {4, 9, 5, 1}}},
        {"light corner", U'┌', m, {{4, 9, 1, 9}, {4, 9, 5, 1}}},
        {"light tee", U'┤', m, {{4, 0, 1, 10}, {4, 9, 1, 9}, {0, 9, 5, 1}}},
        // Heavy: min(2, max(4.5, 1)) = 2; ox = round(3.5) = 4, oy = round(8.0) = 8.
        {"heavy horizontal", U'━', m, {{0, 8, 6, 2}, {4, 8, 5, 2}}},
        {"heavy up-left corner", U'┛', m, {{4, 0, 2, 10}, {0, 8, 6, 2}}},
        {"thin strokes round up to one pixel",
         U'─',
         cell(9, 18, 0.4f),
         {{0, 9, 5, 1}, {4, 9, 5, 1}}},
        {"heavy from a thin stroke is two pixels",
         U'━',
         cell(9, 18, 0.4f),
         {{0, 8, 6, 2}, {4, 8, 5, 2}}},
        {"tiny cell keeps heavy at one pixel", U'━', cell(2, 2, 1), {{0, 1, 2, 1}, {1, 1, 1, 1}}},
        {"thick strokes on a small cell never start left of it",
         U'│',
         cell(2, 6, 3),
         {{0, 0, 3, 5}, {0, 2, 3, 4}}},
        // Block elements.
        {"upper half", U'▀', cell(9, 17, 1), {{0, 0, 9, 9}}},
        {"lower half of an odd height", U'▄', cell(9, 17, 1), {{0, 8, 9, 9}}},
        {"lower one eighth", U'▁', m, {{0, 16, 9, 2}}},
        {"lower seven eighths", U'▇', m, {{0, 2, 9, 16}}},
        {"full block", U'█', m, {{0, 0, 9, 18}}},
        {"left seven eighths", U'▉', m, {{0, 0, 8, 18}}},
        {"left one eighth", U'▏', m, {{0, 0, 1, 18}}},
        {"right half", U'▐', m, {{4, 0, 5, 18}}},
        {"upper one eighth", U'▔', m, {{0, 0, 9, 2}}},
        {"right one eighth", U'▕', m, {{8, 0, 1, 18}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rects(c.c, c.metrics), c.want) << c.what;
    }
}

TEST(BoxDraw, FontDrawsEverythingElse) {
    const CellMetrics m = cell(9, 18, 1);
    for (char32_t c : {U'a', U' ', U'═', U'╭', U'┄', U'╱', U'┍', U'░', U'▒', U'▓', U'▖', U'▟',
                       U'\u24FF', U'\u2596', U'\u2591', U'\u2601'}) {
        EXPECT_TRUE(segments(c, m).empty()) << std::hex << static_cast<unsigned>(c);
    }
}

TEST(BoxDraw, AllTwentyTwoLinesAreHandled) {
    const CellMetrics m = cell(9, 18, 1);
    int handled = 0;
    for (char32_t c = U'\u2500'; c <= U'\u257F'; ++c)
        handled += segments(c, m).empty() ? 0 : 1;
    EXPECT_EQ(handled, 22);
}

}  // namespace
}  // namespace kestrum_render
