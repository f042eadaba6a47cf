// Grid and overlay geometry against a fake glyph provider.
#include "render/geometry.hpp"

#include <gtest/gtest.h>

#include "fake_glyph_provider.hpp"
#include "render_printers.hpp"

namespace kestrum_render {
namespace {

using kestrum::core::Rgb;
using kestrum_term::FrameCell;
using kestrum_term::MatchState;

constexpr Rgb kDefaultBg{25, 23, 29};
constexpr Rgb kSelection{60, 60, 80};
constexpr Rgb kMatch{100, 80, 0};
constexpr Rgb kFocused{200, 120, 0};
constexpr Rgb kFg{220, 220, 220};
constexpr Rgb kCursorColor{240, 200, 0};

CellMetrics metrics() {
    CellMetrics m;
    m.cell_width = 10;
    m.cell_height = 20;
    m.baseline = 15;
    m.underline_y = 17;
    m.strikeout_y = 10;
    m.line_thickness = 1;
    return m;
}

FrameCell cell(std::uint16_t col, std::uint16_t row, char32_t c, Rgb fg = kFg,
               Rgb bg = kDefaultBg) {
    FrameCell f;
    f.c = c;
    f.col = col;
    f.row = row;
    f.fg = fg;
    f.bg = bg;
    return f;
}

kestrum_term::Frame frame(std::vector<FrameCell> cells = {}) {
    kestrum_term::Frame f;
    f.cells = std::move(cells);
    f.cols = 80;
    f.rows = 24;
    f.background = kDefaultBg;
    f.selection_bg = kSelection;
    f.match_bg = kMatch;
    f.focused_match_bg = kFocused;
    return f;
}

kestrum_term::Cursor cursor(std::uint16_t col, std::uint16_t row, std::uint8_t shape,
                            float opacity = 1.0f) {
    kestrum_term::Cursor c;
    c.opacity = opacity;
    c.x = col;
    c.col = col;
    c.row = row;
    c.color = kCursorColor;
    c.shape = shape;
    c.visible = true;
    return c;
}

std::array<float, 4> rgba(Rgb c, float a = 1.0f) {
    return {c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, a};
}

SolidInstance solid(Rect r, Rgb c, float a = 1.0f, float radius = 0.0f) {
    return {{r.x, r.y, r.width, r.height}, rgba(c, a), {radius, 0, 0, 0}};
}

// The fake provider's glyph for `key` at pen (x, y).
GlyphInstance glyph(GlyphKey key, float x, float y, Rgb color = kFg) {
    const AtlasEntry e = FakeGlyphProvider::entry_for(key);
    return {{x + 1, y + 2, 6, 10}, e.uv, rgba(color)};
}

GlyphInstance character(char32_t c, float x, float y, Rgb color = kFg, bool bold = false,
                        bool italic = false) {
    return glyph(GlyphKey::character(c, bold, italic), x, y, color);
}

TEST(GridGeometry, EmptyFrameDrawsOnlyTheCursor) {
    FakeGlyphProvider provider;
    auto f = frame();
    f.cursor = cursor(2, 1, kestrum_term::cursor_shape::Block);
    for (bool ligatures : {false, true}) {
        const Geometry g = build_grid_geometry(f, metrics(), 1.0f, ligatures, provider);
        EXPECT_TRUE(g.backgrounds.empty() && g.glyphs.empty() && g.color_glyphs.empty() &&
                    g.overlays.empty());
        EXPECT_EQ(g.fills, (std::vector{solid({20, 20, 10, 20}, kCursorColor)}));
    }
}

TEST(GridGeometry, BackgroundsOnlyForColoursOffTheDefault) {
    const Rgb red{200, 0, 0};
    struct Case {
        const char* what;
        FrameCell cell;
        float background_alpha;
        std::optional<SolidInstance> want;
    };
    auto with = [](FrameCell c, auto&& change) {
        change(c);
        return c;
    };
    const FrameCell plain = cell(3, 2, U'x');
    const FrameCell coloured = cell(3, 2, U'x', kFg, red);
    const Case cases[] = {
        {"default colour, translucent window", plain, 0.5f, std::nullopt},
        {"coloured cell carries premultiplied glass alpha", coloured, 0.5f,
         SolidInstance{{30, 40, 10, 20}, {200 / 255.0f * 0.5f, 0, 0, 0.5f}, {}}},
        {"glass alpha is clamped", coloured, 1.5f, solid({30, 40, 10, 20}, red)},
        {"wide cell covers two columns", with(coloured, [](auto& c) { c.wide = true; }), 1.0f,
         solid({30, 40, 20, 20}, red)},
        {"selection is opaque", with(plain, [](auto& c) { c.selected = true; }), 0.5f,
         solid({30, 40, 10, 20}, kSelection)},
        {"match wins over selection",
         with(coloured,
              [](auto& c) {
                  c.selected = true;
                  c.search = MatchState::Match;
              }),
         0.5f, solid({30, 40, 10, 20}, kMatch)},
        {"focused match", with(plain, [](auto& c) { c.search = MatchState::Focused; }), 0.5f,
         solid({30, 40, 10, 20}, kFocused)},
    };
    FakeGlyphProvider provider;
    for (const auto& c : cases) {
        const Geometry g =
            build_grid_geometry(frame({c.cell}), metrics(), c.background_alpha, false, provider);
        std::vector<SolidInstance> want;
        if (c.want) want.push_back(*c.want);
        EXPECT_EQ(g.backgrounds, want) << c.what;
    }

    // A selection colour equal to the default background draws nothing.
    auto f = frame({with(plain, [](auto& c) { c.selected = true; })});
    f.selection_bg = kDefaultBg;
    EXPECT_TRUE(build_grid_geometry(f, metrics(), 1.0f, false, provider).backgrounds.empty());
}

TEST(GridGeometry, PlainPassDrawsCharactersAndTheirMarks) {
    FakeGlyphProvider provider;
    provider.missing = {U'\uE000'};
    FrameCell bold_a = cell(0, 0, U'a');
    bold_a.bold = true;
    FrameCell accented = cell(5, 0, U'e');
    accented.zerowidth = {U'\u0301', U'\u0323'};
    accented.italic = true;
    FrameCell mark_on_space = cell(6, 0, U' ');
    mark_on_space.zerowidth = {U'\u0301'};
    FrameCell emoji = cell(7, 0, U'\U0001F600');
    emoji.wide = true;
    auto f = frame({bold_a, cell(1, 0, U' '), cell(2, 0, U'\u00A0'), cell(3, 0, U'\0'),
                    cell(4, 0, U'─'), accented, mark_on_space, emoji, cell(9, 0, U'\uE000'),
                    cell(0, 1, U'z'), cell(1, 1, char32_t{0x110000})});

    const Geometry g = build_grid_geometry(f, metrics(), 1.0f, false, provider);
    EXPECT_EQ(
        g.glyphs,
        (std::vector{
            character(U'a', 0, 0, kFg, true), character(U'e', 50, 0, kFg, false, true),
            character(U'\u0301', 50, 0, kFg, false, true),
            character(U'\u0323', 50, 0, kFg, false, true), character(U'\u0301', 60, 0),
            character(U'z', 0, 20), character(U'\uFFFD', 10, 20),  // not a character: replaced
        }));
    EXPECT_EQ(g.color_glyphs, (std::vector{character(U'\U0001F600', 70, 0)}));
    // The box-drawing character became strokes instead of a glyph.
    EXPECT_EQ(g.overlays, (std::vector{solid({40, 10, 6, 1}, kFg), solid({45, 10, 5, 1}, kFg)}));
}

TEST(GridGeometry, DecorationsAreStraightStrokesInTheCellsOwnColour) {
    FakeGlyphProvider provider;
    const Rgb fg{10, 200, 30};
    FrameCell c = cell(2, 1, U'│', fg);
    c.underline = true;
    c.strikeout = true;
    c.wide = true;
    const Geometry g = build_grid_geometry(frame({c}), metrics(), 1.0f, false, provider);
    EXPECT_EQ(g.overlays, (std::vector{
                              solid({25, 20, 1, 11}, fg),  // box drawing: up, then down
                              solid({25, 30, 1, 10}, fg),
                              solid({20, 37, 20, 1}, fg),  // underline over both columns
                              solid({20, 30, 20, 1}, fg),  // strikeout
                          }));
    EXPECT_TRUE(g.glyphs.empty());
}

TEST(GridGeometry, BlockCursorRecoloursTheTextBeneathIt) {
    FakeGlyphProvider provider;
    const Rgb fg{200, 100, 0};
    const Rgb faded{113, 62, 15};  // halfway to (25, 23, 29), halves rounded away from zero
    FrameCell under = cell(3, 0, U'x', fg);
    under.underline = true;
    auto f = frame({cell(2, 0, U'w', fg), under, cell(4, 0, U'┼', fg)});

    for (bool ligatures : {false, true}) {
        SCOPED_TRACE(ligatures ? "ligatures" : "plain");
        f.cursor = cursor(3, 0, kestrum_term::cursor_shape::Block, 0.5f);
        Geometry g = build_grid_geometry(f, metrics(), 1.0f, ligatures, provider);
        ASSERT_EQ(g.glyphs.size(), 2u);
        EXPECT_EQ(g.glyphs[1].color, rgba(faded)) << "the cursor cell's glyph";
        EXPECT_EQ(g.overlays.front().color, rgba(fg)) << "underline keeps the cell's colour";
        EXPECT_EQ(g.fills, (std::vector{solid({30, 0, 10, 20}, kCursorColor, 0.5f)}));

        // Box drawing under the cursor takes the cursor-cell colour too.
        f.cursor = cursor(4, 0, kestrum_term::cursor_shape::Block, 1.0f);
        g = build_grid_geometry(f, metrics(), 1.0f, ligatures, provider);
        for (std::size_t i = 1; i < g.overlays.size(); ++i) {
            EXPECT_EQ(g.overlays[i].color, rgba(kDefaultBg)) << i;
        }

        // A gliding cursor is drawn between cells and recolours nothing.
        f.cursor = cursor(3, 0, kestrum_term::cursor_shape::Block);
        f.cursor.x = 3.5f;
        g = build_grid_geometry(f, metrics(), 1.0f, ligatures, provider);
        for (const auto& gl : g.glyphs)
            EXPECT_EQ(gl.color, rgba(fg));
        EXPECT_EQ(g.fills, (std::vector{solid({35, 0, 10, 20}, kCursorColor)}));

        // A thin cursor recolours nothing either.
        f.cursor = cursor(3, 0, kestrum_term::cursor_shape::Beam);
        g = build_grid_geometry(f, metrics(), 1.0f, ligatures, provider);
        for (const auto& gl : g.glyphs)
            EXPECT_EQ(gl.color, rgba(fg));
    }
}

TEST(GridGeometry, CursorShapesAndWidths) {
    struct Case {
        const char* what;
        std::uint8_t shape;
        bool wide_cell;
        float opacity;
        std::vector<SolidInstance> fills;
        std::vector<SolidInstance> overlays;
    };
    const Rgb c = kCursorColor;
    const Case cases[] = {
        {"block", kestrum_term::cursor_shape::Block, false, 1, {solid({30, 20, 10, 20}, c)}, {}},
        {"block over a wide character",
         kestrum_term::cursor_shape::Block,
         true,
         1,
         {solid({30, 20, 20, 20}, c)},
         {}},
        {"underline",
         kestrum_term::cursor_shape::Underline,
         true,
         1,
         {},
         {solid({30, 40 - 20 * 0.12f, 20, 20 * 0.12f}, c)}},
        {"beam never widens",
         kestrum_term::cursor_shape::Beam,
         true,
         1,
         {},
         {solid({30, 20, 10 * 0.12f, 20}, c)}},
        {"hollow block: top, bottom, left, right",
         kestrum_term::cursor_shape::HollowBlock,
         true,
         1,
         {},
         {solid({30, 20, 20, 1}, c), solid({30, 39, 20, 1}, c), solid({30, 20, 1, 20}, c),
          solid({49, 20, 1, 20}, c)}},
        {"unknown shapes draw hollow",
         9,
         false,
         0.5f,
         {},
         {solid({30, 20, 10, 1}, c, 0.5f), solid({30, 39, 10, 1}, c, 0.5f),
          solid({30, 20, 1, 20}, c, 0.5f), solid({39, 20, 1, 20}, c, 0.5f)}},
        {"opacity above 1 is clamped",
         kestrum_term::cursor_shape::Block,
         false,
         3,
         {solid({30, 20, 10, 20}, c)},
         {}},
        {"blinked out", kestrum_term::cursor_shape::Block, false, 0.004f, {}, {}},
    };
    FakeGlyphProvider provider;
    for (const auto& k : cases) {
        FrameCell under = cell(3, 1, U' ');
        under.wide = k.wide_cell;
        // A wide cell elsewhere does not widen the cursor.
        FrameCell other = cell(3, 2, U' ');
        other.wide = true;
        auto f = frame({cell(2, 1, U' '), under, other});
        f.cursor = cursor(3, 1, k.shape, k.opacity);
        const Geometry g = build_grid_geometry(f, metrics(), 1.0f, false, provider);
        EXPECT_EQ(g.fills, k.fills) << k.what;
        EXPECT_EQ(g.overlays, k.overlays) << k.what;
    }

    auto f = frame();
    f.cursor = cursor(3, 1, kestrum_term::cursor_shape::Block);
    f.cursor.visible = false;
    EXPECT_TRUE(build_grid_geometry(f, metrics(), 1.0f, false, provider).fills.empty());
}

TEST(GridGeometry, LigatureRunsShareRowStyleAndColour) {
    const Rgb other_fg{255, 0, 0};
    auto bold = [](FrameCell c) {
        c.bold = true;
        return c;
    };
    FrameCell wide = cell(4, 1, U'W');
    wide.wide = true;
    FrameCell marked = cell(6, 1, U'e');
    marked.zerowidth = {U'\u0301'};
    struct Case {
        const char* what;
        std::vector<FrameCell> cells;
        std::vector<FakeGlyphProvider::Run> runs;
    };
    const Case cases[] = {
        {"one run",
         {cell(0, 0, U'a'), cell(1, 0, U'='), cell(2, 0, U'>'), cell(3, 0, U'b')},
         {{"a=>b", false, false}}},
        {"colour splits",
         {cell(0, 0, U'a'), cell(1, 0, U'='), cell(2, 0, U'>', other_fg),
          cell(3, 0, U'b', other_fg)},
         {{"a=", false, false}, {">b", false, false}}},
        {"space splits and is not shaped",
         {cell(0, 0, U'a'), cell(1, 0, U' '), cell(2, 0, U'b')},
         {{"a", false, false}, {"b", false, false}}},
        {"style splits",
         {cell(0, 0, U'a'), bold(cell(1, 0, U'b')), bold(cell(2, 0, U'c'))},
         {{"a", false, false}, {"bc", true, false}}},
        {"a gap in columns splits",
         {cell(0, 0, U'a'), cell(2, 0, U'b')},
         {{"a", false, false}, {"b", false, false}}},
        {"rows split",
         {cell(79, 0, U'a'), cell(0, 1, U'b')},
         {{"a", false, false}, {"b", false, false}}},
        {"wide, marked and non-ASCII cells stand alone",
         {cell(3, 1, U'a'), wide, marked, cell(7, 1, U'é'), cell(8, 1, U'b')},
         {{"a", false, false}, {"b", false, false}}},
    };
    for (const auto& c : cases) {
        FakeGlyphProvider provider;
        build_grid_geometry(frame(c.cells), metrics(), 1.0f, true, provider);
        EXPECT_EQ(provider.runs, c.runs) << c.what;
    }
}

TEST(GridGeometry, LigatureGlyphsSitAtTheirShapedOffsets) {
    FakeGlyphProvider provider;
    auto f = frame({cell(2, 1, U'a'), cell(3, 1, U'='), cell(4, 1, U'>'), cell(5, 1, U'b'),
                    cell(6, 1, U'\U0001F600'), cell(8, 1, U'c')});
    f.cells[4].wide = true;
    const Geometry g = build_grid_geometry(f, metrics(), 1.0f, true, provider);
    EXPECT_EQ(g.glyphs,
              (std::vector{
                  glyph(GlyphKey::font_glyph('a', 0), 20, 20),
                  glyph(GlyphKey::font_glyph(FakeGlyphProvider::kArrowLigature, 0), 30, 20),
                  glyph(GlyphKey::font_glyph('b', 0), 50, 20),
                  glyph(GlyphKey::font_glyph('c', 0), 80, 20),
              }));
    EXPECT_EQ(g.color_glyphs, (std::vector{character(U'\U0001F600', 60, 20)}));
}

TEST(GridGeometry, SameInputsSameLists) {
    FakeGlyphProvider provider;
    std::vector<FrameCell> cells;
    for (std::uint16_t i = 0; i < 40; ++i) {
        FrameCell c = cell(
            i % 20, i / 20, U"ab=>c ─▄x" [i % 9], Rgb { std::uint8_t(i * 5), 0, 0 },
            i % 3 ? kDefaultBg : Rgb{0, 0, std::uint8_t(i)});
        c.underline = i % 4 == 0;
        cells.push_back(c);
    }
    auto f = frame(cells);
    f.cursor = cursor(5, 1, kestrum_term::cursor_shape::HollowBlock);
    for (bool ligatures : {false, true}) {
        const Geometry a = build_grid_geometry(f, metrics(), 0.8f, ligatures, provider);
        const Geometry b = build_grid_geometry(f, metrics(), 0.8f, ligatures, provider);
        EXPECT_EQ(a.backgrounds, b.backgrounds);
        EXPECT_EQ(a.fills, b.fills);
        EXPECT_EQ(a.glyphs, b.glyphs);
        EXPECT_EQ(a.overlays, b.overlays);
    }
}

TEST(GridGeometry, StepsAddUpToTheWholeBuild) {
    FakeGlyphProvider provider;
    FrameCell underlined = cell(3, 0, U'c', {1, 2, 3}, {9, 9, 9});
    underlined.underline = true;
    auto f =
        frame({cell(0, 0, U'a'), cell(1, 0, U'='), cell(2, 0, U'>'), underlined, cell(4, 0, U'┤')});
    f.cursor = cursor(4, 0, kestrum_term::cursor_shape::Beam);
    const Geometry whole = build_grid_geometry(f, metrics(), 0.7f, true, provider);

    Geometry steps;
    const CursorBlend blend = cursor_blend(f.cursor);
    emit_decorations(steps, f, metrics(), blend, 0.7f);
    std::vector<const FrameCell*> run = {&f.cells[0], &f.cells[1], &f.cells[2]};
    flush_run(steps, run, provider, 10, 20);
    EXPECT_TRUE(run.empty());
    run = {&f.cells[3]};
    flush_run(steps, run, provider, 10, 20);
    emit_cursor(steps, f, metrics(), blend.shown, blend.alpha);

    EXPECT_EQ(steps.backgrounds, whole.backgrounds);
    EXPECT_EQ(steps.glyphs, whole.glyphs);
    EXPECT_EQ(steps.overlays, whole.overlays);
}

// Tab bar: pills 30 high, dot 8 in, 6 wide, 4 before the title; titles start at x + 18.
TabBar tab_bar(std::vector<BarTab> tabs) {
    TabBar bar;
    bar.tabs = std::move(tabs);
    bar.pill_radius = 15;
    bar.dot_inset = 8;
    bar.dot_size = 6;
    bar.dot_gap = 4;
    bar.active_fill = {1, 1, 1};
    bar.active_text = {2, 2, 2};
    bar.inactive_text = {100, 100, 100};
    bar.active_dot = {4, 4, 4};
    bar.inactive_dot = {5, 5, 5};
    bar.active_border = {6, 6, 6};
    bar.hover_text = {200, 200, 200};
    return bar;
}

TEST(TabBarGeometry, TitlesFitTheirBudget) {
    // Budget = floor((w - 8 - 18) / 10 + 0.01).
    struct Case {
        const char* what;
        std::string title;
        float width;
        std::u32string shown;
    };
    const Case cases[] = {
        {"fits", "abcd", 66, U"abcd"},
        {"ten characters in four", "abcdefghij", 66, U"abc…"},
        {"a budget of one is the ellipsis", "abcdefghij", 36, U"…"},
        {"a budget of zero draws nothing", "abcdefghij", 35.8f, U""},
        {"characters, not bytes", "ééé", 56, U"ééé"},
        {"the 0.01 slack absorbs rounding", "abcd", 65.95f, U"abcd"},
        {"a malformed byte is one replacement character", "a\xff", 46, U"a\uFFFD"},
    };
    for (const auto& c : cases) {
        FakeGlyphProvider provider;
        const Geometry g = build_tab_bar_geometry(tab_bar({{c.title, {0, 0, c.width, 30}, false}}),
                                                  metrics(), provider);
        std::vector<GlyphInstance> want;
        for (std::size_t k = 0; k < c.shown.size(); ++k) {
            want.push_back(character(c.shown[k], 18 + 10.0f * k, 5, {100, 100, 100}));
        }
        EXPECT_EQ(g.glyphs, want) << c.what;
    }
}

TEST(TabBarGeometry, PillsDotsAndTitleColours) {
    FakeGlyphProvider provider;
    auto bar = tab_bar({{"a b", {0, 0, 80, 30}, true},
                        {"c", {100, 0, 80, 30}, false},
                        {"d", {200, 0, 80, 30}, false}});
    bar.hovered = 1;
    bar.hover_progress = 0.5f;
    bar.new_tab_button = Rect{300, 2, 26, 26};
    const Geometry g = build_tab_bar_geometry(bar, metrics(), provider);

    const float i2 = 1.35f;  // 30 x 0.045, within 1..2
    const Rgb hover_mix{150, 150, 150};
    EXPECT_EQ(g.fills, (std::vector{
                           solid({0, 0, 80, 30}, {6, 6, 6}, 0.2f, 15),
                           solid({i2, i2, 80 - 2 * i2, 30 - 2 * i2}, {1, 1, 1}, 0.42f, 15 - i2),
                           solid({8, 12, 6, 6}, {4, 4, 4}, 1, 3),
                           solid({100, 0, 80, 30}, {255, 255, 255}, 0.03f, 15),
                           solid({108, 12, 6, 6}, {5, 5, 5}, 1, 3),
                           solid({208, 12, 6, 6}, {5, 5, 5}, 1, 3),
                       }));
    EXPECT_EQ(g.glyphs, (std::vector{
                            character(U'a', 18, 5, {2, 2, 2}),
                            character(U'b', 38, 5, {2, 2, 2}),  // the space still advances
                            character(U'c', 118, 5, hover_mix),
                            character(U'd', 218, 5, {100, 100, 100}),
                            character(U'+', 308, 5, {100, 100, 100}),
                        }));
    EXPECT_TRUE(g.backgrounds.empty() && g.overlays.empty());

    // Hovering the "+" button lights it instead.
    bar.hovered.reset();
    bar.new_tab_hovered = true;
    const Geometry h = build_tab_bar_geometry(bar, metrics(), provider);
    EXPECT_EQ(h.fills.back(), solid({300, 2, 26, 26}, {255, 255, 255}, 0.03f, 13));
    EXPECT_EQ(h.glyphs.back(), character(U'+', 308, 5, hover_mix));
}

SearchBar search_bar(std::string text, Rect rect) {
    return {std::move(text), rect, 8, {30, 30, 30}, {230, 230, 230}, {255, 0, 255}};
}

TEST(SearchGeometry, LongQueriesKeepTheirEndInView) {
    FakeGlyphProvider provider;
    // Budget: floor((200 - 20) / 10) - 1 = 17.
    const Geometry g = build_search_geometry(search_bar("abcdefghijklmnopqrst", {100, 10, 200, 30}),
                                             10, 20, provider);
    EXPECT_EQ(g.fills, (std::vector{solid({100, 10, 200, 30}, {30, 30, 30}, 1, 8)}));
    ASSERT_EQ(g.glyphs.size(), 17u);
    EXPECT_EQ(g.glyphs.front(), character(U'd', 110, 15, {230, 230, 230}));
    EXPECT_EQ(g.glyphs.back(), character(U't', 270, 15, {230, 230, 230}));
    EXPECT_EQ(g.overlays, (std::vector{solid({280, 15, 10 * 0.12f, 20}, {255, 0, 255})}));
}

TEST(SearchGeometry, ShortAndNarrowPanels) {
    FakeGlyphProvider provider;
    provider.missing = {U'q'};
    // Missing glyphs and spaces are skipped but advance the pen.
    Geometry g = build_search_geometry(search_bar("q a", {0, 0, 200, 30}), 10, 20, provider);
    EXPECT_EQ(g.glyphs, (std::vector{character(U'a', 30, 5, {230, 230, 230})}));
    EXPECT_EQ(g.overlays.at(0).rect[0], 40);
    // Narrower than two cells: nothing shown, caret one cell in, radius clamped.
    g = build_search_geometry(search_bar("abc", {0, 0, 15, 10}), 10, 20, provider);
    EXPECT_TRUE(g.glyphs.empty());
    EXPECT_EQ(g.fills.at(0).params[0], 5);
    EXPECT_EQ(g.overlays.at(0).rect, (std::array<float, 4>{10, -5, 10 * 0.12f, 20}));
    // No cell width, no text.
    g = build_search_geometry(search_bar("abc", {0, 0, 200, 30}), 0, 20, provider);
    EXPECT_TRUE(g.glyphs.empty());
}

TEST(ScrollbarGeometry, OneRoundedThumb) {
    const Geometry g = build_scrollbar_geometry({{790, 100, 6, 80}, 10, 1.7f, {200, 200, 200}});
    EXPECT_EQ(g.fills, (std::vector{solid({790, 100, 6, 80}, {200, 200, 200}, 1, 3)}));
    EXPECT_TRUE(g.backgrounds.empty() && g.glyphs.empty() && g.overlays.empty());
}

}  // namespace
}  // namespace kestrum_render
