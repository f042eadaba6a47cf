// The text platform layer on real fonts: DejaVu (fonts-dejavu-core), Noto Color
// Emoji (fonts-noto-color-emoji) and the bundled Commit Mono faces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "platform/text.hpp"

namespace kestrum::platform {
namespace {

const std::string kBundled = std::string(KESTRUM_SOURCE_DIR) + "/assets/fonts/CommitMonoV143/";

class TextTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (const char* file : {"CommitMono-400-Regular.otf", "CommitMono-400-Italic.otf",
                                 "CommitMono-700-Regular.otf", "CommitMono-700-Italic.otf"}) {
            ASSERT_TRUE(register_font_file(kBundled + file)) << file;
        }
    }

    static FontFace face(std::string_view name, double size = 14) {
        auto f = FontFace::create_with_name(name, size);
        if (!f) throw std::runtime_error("no face for " + std::string(name));
        return *f;
    }

    static std::uint16_t glyph(const FontFace& f, std::u16string_view text) {
        std::uint16_t glyphs[2] = {0, 0};
        f.glyphs_for_characters(text, std::span(glyphs, text.size()));
        return glyphs[0];
    }
};

// Pixels with any ink, as [left, right) x [top, bottom) rows of the bitmap.
struct Ink {
    int left = std::numeric_limits<int>::max();
    int right = std::numeric_limits<int>::min();
    int top = std::numeric_limits<int>::max();
    int bottom = std::numeric_limits<int>::min();
    bool empty() const { return right < left; }
};

Ink ink_of(const GlyphBitmap& bitmap) {
    Ink ink;
    const std::size_t bpp = bitmap.bytes_per_pixel();
    for (std::uint32_t y = 0; y < bitmap.height(); ++y) {
        auto row = bitmap.row(y);
        for (std::uint32_t x = 0; x < bitmap.width(); ++x) {
            // Gray: the value; RGBA: the alpha.
            if (row[x * bpp + bpp - 1] == 0) continue;
            ink.left = std::min<int>(ink.left, x);
            ink.right = std::max<int>(ink.right, x + 1);
            ink.top = std::min<int>(ink.top, y);
            ink.bottom = std::max<int>(ink.bottom, y + 1);
        }
    }
    return ink;
}

TEST_F(TextTest, NamesPickFacesByPostScriptFullOrFamilyName) {
    struct Case {
        const char* name;
        const char* postscript;
    };
    const Case cases[] = {
        {"DejaVu Sans Mono", "DejaVuSansMono"},
        {"dejavu sans mono", "DejaVuSansMono"},
        {"DejaVuSansMono-Bold", "DejaVuSansMono-Bold"},
        {"DejaVu Sans Mono Bold Oblique", "DejaVuSansMono-BoldOblique"},
        {"CommitMono", "CommitMono-400Regular"},
        {"Commit Mono", "CommitMono-400Regular"},
        {"CommitMono-700Italic", "CommitMono-700Italic"},
        {"Noto Color Emoji", "NotoColorEmoji"},
    };
    for (const Case& c : cases) {
        auto f = FontFace::create_with_name(c.name, 14);
        ASSERT_TRUE(f) << c.name;
        EXPECT_EQ(f->postscript_name(), c.postscript) << c.name;
        EXPECT_TRUE(FontFace::name_has_installed_match(c.name)) << c.name;
    }
    const FontFace commit = face("CommitMono");
    EXPECT_EQ(commit.family_name(), "CommitMono");
    EXPECT_EQ(commit.full_name(), "CommitMono 400Regular");
}

TEST_F(TextTest, UnknownNameGetsASubstituteThatNoInstalledFontMatches) {
    auto f = FontFace::create_with_name("No Such Family 7", 14);
    ASSERT_TRUE(f);
    EXPECT_NE(f->family_name(), "No Such Family 7");
    EXPECT_FALSE(FontFace::name_has_installed_match("No Such Family 7"));
    EXPECT_FALSE(FontFace::name_has_installed_match(""));
    // Generic families are what the configuration maps to installed faces.
    EXPECT_TRUE(FontFace::name_has_installed_match("monospace"));
    EXPECT_TRUE(FontFace::name_has_installed_match("Sans-Serif"));
}

TEST_F(TextTest, RefusesEmptyNamesAndSizesOutOfRange) {
    EXPECT_FALSE(FontFace::create_with_name("", 14));
    for (double size : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity(),
                        FontFace::kMaxSize * 2}) {
        EXPECT_FALSE(FontFace::create_with_name("DejaVu Sans Mono", size)) << size;
    }
    EXPECT_TRUE(FontFace::create_with_name("DejaVu Sans Mono", FontFace::kMaxSize));
    EXPECT_TRUE(FontFace::create_with_name("DejaVu Sans Mono", 0.5));
}

TEST_F(TextTest, MetricsScaleFontUnitsToTheSize) {
    // DejaVu Sans Mono: 2048 units per em, ascender 1901, descender 483, no line gap,
    // underline at -40 with thickness 90, x-height 1120, "M" advance 1233.
    for (double size : {14.0, 27.5}) {
        const FontFace f = face("DejaVu Sans Mono", size);
        const double s = size / 2048;
        EXPECT_DOUBLE_EQ(f.size(), size);
        EXPECT_NEAR(f.ascent(), 1901 * s, 1e-9);
        EXPECT_NEAR(f.descent(), 483 * s, 1e-9);
        EXPECT_NEAR(f.leading(), 0, 1e-9);
        EXPECT_NEAR(f.underline_position(), -40 * s, 1e-9);
        EXPECT_NEAR(f.underline_thickness(), 90 * s, 1e-9);
        EXPECT_NEAR(f.x_height(), 1120 * s, 1e-9);
        const std::uint16_t m = glyph(f, u"M");
        double advance = 0;
        EXPECT_NEAR(f.advances_for_glyphs(std::span(&m, 1), std::span(&advance, 1)), 1233 * s,
                    1e-9);
        EXPECT_NEAR(advance, 1233 * s, 1e-9);
    }
}

TEST_F(TextTest, AdvancesSumOverGlyphs) {
    const FontFace f = face("DejaVu Sans", 20);
    const std::uint16_t glyphs[3] = {glyph(f, u"i"), glyph(f, u"W"), glyph(f, u"i")};
    double advances[3] = {};
    const double total = f.advances_for_glyphs(glyphs, advances);
    EXPECT_GT(advances[1], advances[0]);
    EXPECT_DOUBLE_EQ(advances[0], advances[2]);
    EXPECT_DOUBLE_EQ(total, advances[0] + advances[1] + advances[2]);
}

TEST_F(TextTest, CharacterMappingFollowsUtf16Units) {
    const FontFace mono = face("DejaVu Sans Mono");
    const FontFace emoji = face("Noto Color Emoji", 20);
    struct Case {
        const FontFace* face;
        std::u16string text;
        bool all;
        std::vector<bool> nonzero;  // per slot
    };
    const Case cases[] = {
        {&mono, u"Mé", true, {true, true}},
        {&mono, u"\U0010FFFD", false, {false, false}},  // in no font
        {&emoji, u"\U0001F600", true, {true, false}},   // pair: glyph, then 0
        {&mono, u"A\U0001F600", false, {true, false, false}},
        {&mono, std::u16string(1, u'\xD800') + u"A", false, {false, true}},  // unpaired
        {&mono, u"A" + std::u16string(1, u'\xDC00'), false, {true, false}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint16_t> glyphs(c.text.size(), 0xFFFF);
        EXPECT_EQ(c.face->glyphs_for_characters(c.text, glyphs), c.all);
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            EXPECT_EQ(glyphs[i] != 0, c.nonzero[i]) << "slot " << i;
        }
    }
    std::uint16_t one[1];
    EXPECT_FALSE(mono.glyphs_for_characters(u"AB", one));
}

TEST_F(TextTest, BoundingRectsAreInkBoundsInPixels) {
    const FontFace f = face("DejaVu Sans Mono");
    // "M" sits on the baseline and reaches the cap height (1493 units).
    const GlyphRect m = f.bounding_rect(glyph(f, u"M"));
    EXPECT_NEAR(m.y, 0, 1e-9);
    EXPECT_NEAR(m.height, 1493 * 14.0 / 2048, 1e-9);
    EXPECT_GT(m.x, 0);
    EXPECT_LT(m.x + m.width, 1233 * 14.0 / 2048);
    // "g" descends below it.
    EXPECT_LT(f.bounding_rect(glyph(f, u"g")).y, 0);
    EXPECT_EQ(f.bounding_rect(glyph(f, u" ")), GlyphRect{});
    EXPECT_EQ(f.bounding_rect(60000), GlyphRect{});

    // Colour bitmaps come from a 109-pixel strike and scale to the face's size.
    const FontFace small = face("Noto Color Emoji", 20);
    const FontFace large = face("Noto Color Emoji", 40);
    const GlyphRect a = small.bounding_rect(glyph(small, u"\U0001F600"));
    const GlyphRect b = large.bounding_rect(glyph(large, u"\U0001F600"));
    EXPECT_GT(a.width, 20 * 0.9);
    EXPECT_LT(a.width, 20 * 1.4);
    EXPECT_NEAR(b.width, a.width * 2, 1e-9);
    EXPECT_NEAR(b.y, a.y * 2, 1e-9);
}

TEST_F(TextTest, StyledCopiesFindTheFamilysFaces) {
    struct Case {
        const char* from;
        std::uint32_t value;
        std::uint32_t mask;
        const char* expected;  // nullptr: no such face
    };
    const Case cases[] = {
        {"DejaVu Sans Mono", kTraitBold, 3, "DejaVuSansMono-Bold"},
        {"DejaVu Sans Mono", kTraitItalic, 3, "DejaVuSansMono-Oblique"},
        {"DejaVu Sans Mono", 3, 3, "DejaVuSansMono-BoldOblique"},
        {"DejaVuSansMono-BoldOblique", 0, kTraitBold, "DejaVuSansMono-Oblique"},
        {"DejaVuSansMono-Bold", 0, 3, "DejaVuSansMono"},
        // Same width: the condensed faces share the family name.
        {"DejaVu Sans", kTraitBold, 3, "DejaVuSans-Bold"},
        {"DejaVuSansCondensed", kTraitBold, 3, "DejaVuSansCondensed-Bold"},
        {"CommitMono", 3, 3, "CommitMono-700Italic"},
        {"CommitMono", kTraitItalic, kTraitItalic, "CommitMono-400Italic"},
        {"Noto Color Emoji", kTraitBold, 3, nullptr},
    };
    for (const Case& c : cases) {
        auto copy = face(c.from).copy_with_symbolic_traits(c.value, c.mask);
        if (c.expected == nullptr) {
            EXPECT_FALSE(copy) << c.from;
        } else {
            ASSERT_TRUE(copy) << c.from;
            EXPECT_EQ(copy->postscript_name(), c.expected) << c.from;
            EXPECT_EQ(copy->size(), 14);
        }
    }
    // Asking for the traits a face already has gives that face back.
    const FontFace bold = face("DejaVuSansMono-Bold");
    EXPECT_EQ(bold.copy_with_symbolic_traits(kTraitBold, kTraitBold), bold);
}

TEST_F(TextTest, TraitsReportStyleAndColour) {
    EXPECT_EQ(face("DejaVu Sans Mono").symbolic_traits(), 0u);
    EXPECT_EQ(face("DejaVuSansMono-BoldOblique").symbolic_traits(), kTraitBold | kTraitItalic);
    EXPECT_EQ(face("CommitMono-400Italic").symbolic_traits(), kTraitItalic);
    EXPECT_EQ(face("Noto Color Emoji").symbolic_traits() & kTraitColorGlyphs, kTraitColorGlyphs);
}

TEST_F(TextTest, FallbackIsTheBestFaceCoveringTheText) {
    const FontFace mono = face("DejaVu Sans Mono");
    // Emoji go to the colour face although DejaVu Sans has monochrome ones.
    const FontFace emoji = mono.create_for_string(u"\U0001F600");
    EXPECT_EQ(emoji.postscript_name(), "NotoColorEmoji");
    EXPECT_EQ(emoji.size(), 14);
    EXPECT_EQ(mono.create_for_string(u"\U0001F600"), emoji);  // the cached answer
    // A character this face has, one no face has, and text that is no text all
    // answer with the face itself.
    EXPECT_EQ(mono.create_for_string(u"A"), mono);
    EXPECT_EQ(mono.create_for_string(u"\U0010FFFD"), mono);
    EXPECT_EQ(mono.create_for_string(std::u16string(1, u'\xD83D')), mono);
    EXPECT_EQ(mono.create_for_string(u""), mono);
    // Commit Mono has no Cyrillic: it comes from a face that has it.
    const FontFace commit = face("CommitMono");
    const FontFace cyrillic = commit.create_for_string(u"Ж");
    EXPECT_NE(cyrillic, commit);
    std::uint16_t g = 0;
    EXPECT_TRUE(cyrillic.glyphs_for_characters(u"Ж", std::span(&g, 1)));
    EXPECT_EQ(commit.create_for_string(u"λ"), commit);
}

TEST_F(TextTest, GrayDrawingPutsTheInkWhereTheBoundsSay) {
    const FontFace f = face("DejaVu Sans Mono", 30);
    for (char16_t c : std::u16string(u"Mgj_|")) {
        const std::uint16_t g = glyph(f, std::u16string(1, c));
        const GlyphRect r = f.bounding_rect(g);
        // A 60x60 bitmap with the origin at (10, 20) from its bottom-left corner.
        GlyphBitmap bitmap(BitmapFormat::gray, 60, 60);
        f.draw_glyph(g, bitmap, 10, 20);
        const Ink ink = ink_of(bitmap);
        ASSERT_FALSE(ink.empty());
        EXPECT_EQ(ink.left, 10 + static_cast<int>(std::floor(r.x))) << char(c);
        EXPECT_EQ(ink.right, 10 + static_cast<int>(std::ceil(r.x + r.width))) << char(c);
        EXPECT_EQ(ink.bottom, 60 - (20 + static_cast<int>(std::floor(r.y)))) << char(c);
        EXPECT_EQ(ink.top, 60 - (20 + static_cast<int>(std::ceil(r.y + r.height)))) << char(c);
    }
    // The vertical bar's stem is covered fully somewhere.
    GlyphBitmap bar(BitmapFormat::gray, 60, 60);
    f.draw_glyph(glyph(f, u"|"), bar, 10, 20);
    std::uint8_t peak = 0;
    for (std::uint32_t y = 0; y < 60; ++y) {
        for (std::uint8_t v : bar.row(y))
            peak = std::max(peak, v);
    }
    EXPECT_EQ(peak, 255);
}

TEST_F(TextTest, DrawingCompositesAndClips) {
    const FontFace f = face("DejaVu Sans Mono", 30);
    const std::uint16_t m = glyph(f, u"M");
    GlyphBitmap once(BitmapFormat::gray, 40, 40);
    GlyphBitmap twice(BitmapFormat::gray, 40, 40);
    f.draw_glyph(m, once, 5, 10);
    f.draw_glyph(m, twice, 5, 10);
    f.draw_glyph(m, twice, 5, 10);
    // Drawing over ink never lightens it and never wraps past white.
    for (std::uint32_t y = 0; y < 40; ++y) {
        for (std::uint32_t x = 0; x < 40; ++x) {
            EXPECT_GE(twice.row(y)[x], once.row(y)[x]);
        }
    }
    // Origins that put the glyph partly or wholly outside draw only what fits.
    for (auto [x, y] : {std::pair{-10, 5}, {30, 30}, {-100, -100}, {1000, 0}, {5, -25}}) {
        GlyphBitmap clipped(BitmapFormat::gray, 20, 20);
        f.draw_glyph(m, clipped, x, y);
    }
    GlyphBitmap partial(BitmapFormat::gray, 20, 20);
    f.draw_glyph(m, partial, -10, 5);
    EXPECT_EQ(ink_of(partial).left, 0);
    // A zero-sized target takes nothing.
    GlyphBitmap none(BitmapFormat::gray, 0, 0);
    f.draw_glyph(m, none, 0, 0);
}

TEST_F(TextTest, ColourGlyphsDrawPremultipliedAtTheFacesSize) {
    for (double size : {12.0, 20.0, 150.0}) {
        const FontFace emoji = face("Noto Color Emoji", size);
        const std::uint16_t g = glyph(emoji, u"\U0001F600");
        const GlyphRect r = emoji.bounding_rect(g);
        const auto w = static_cast<std::uint32_t>(std::ceil(r.x + r.width) - std::floor(r.x));
        const auto h = static_cast<std::uint32_t>(std::ceil(r.y + r.height) - std::floor(r.y));
        GlyphBitmap bitmap(BitmapFormat::rgba_premultiplied, w, h);
        emoji.draw_glyph(g, bitmap, -static_cast<int>(std::floor(r.x)),
                         -static_cast<int>(std::floor(r.y)));
        const Ink ink = ink_of(bitmap);
        ASSERT_FALSE(ink.empty()) << size;
        // The face fills most of its bounds (the strike has a thin transparent margin).
        EXPECT_GE(ink.right - ink.left, 0.8 * w) << size;
        EXPECT_GE(ink.bottom - ink.top, 0.8 * h) << size;
        bool coloured = false;
        for (std::uint32_t y = 0; y < h; ++y) {
            auto row = bitmap.row(y);
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint8_t* p = &row[x * 4];
                EXPECT_LE(std::max({p[0], p[1], p[2]}), p[3]) << "not premultiplied";
                coloured = coloured || p[0] != p[2];
            }
        }
        EXPECT_TRUE(coloured) << size;
    }
    // Outline glyphs on a colour bitmap are black coverage.
    const FontFace f = face("DejaVu Sans Mono", 20);
    GlyphBitmap rgba(BitmapFormat::rgba_premultiplied, 30, 30);
    f.draw_glyph(glyph(f, u"M"), rgba, 5, 5);
    bool any = false;
    for (std::uint32_t y = 0; y < 30; ++y) {
        auto row = rgba.row(y);
        for (std::uint32_t x = 0; x < 30; ++x) {
            EXPECT_EQ(row[x * 4], 0);
            any = any || row[x * 4 + 3] != 0;
        }
    }
    EXPECT_TRUE(any);
}

TEST_F(TextTest, BitmapRowsArePaddedToFourBytes) {
    GlyphBitmap gray(BitmapFormat::gray, 5, 3);
    EXPECT_EQ(gray.bytes_per_row(), 8u);
    EXPECT_EQ(gray.row(2).size(), 5u);
    GlyphBitmap rgba(BitmapFormat::rgba_premultiplied, 5, 3);
    EXPECT_EQ(rgba.bytes_per_row(), 20u);
}

TEST_F(TextTest, ShapingAppliesLigaturesAndReportsPenPositions) {
    const FontFace sans = face("DejaVu Sans", 20);
    auto runs = sans.shape_with_ligatures("ffi");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].glyphs.size(), 1u);  // one ligature glyph
    EXPECT_NE(runs[0].glyphs[0], glyph(sans, u"f"));

    const FontFace mono = face("DejaVu Sans Mono", 14);
    runs = mono.shape_with_ligatures("a b");
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].glyphs.size(), 3u);
    EXPECT_EQ(runs[0].glyphs[0], glyph(mono, u"a"));
    const double advance = 1233 * 14.0 / 2048;
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(runs[0].x[i], advance * i, 1e-9);

    EXPECT_TRUE(mono.shape_with_ligatures("").empty());
    // Invalid UTF-8 shapes as replacement characters rather than failing.
    runs = mono.shape_with_ligatures("a\xff\xfe");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].glyphs.size(), 3u);
}

TEST_F(TextTest, RegistrationRefusesWhatIsNoFont) {
    EXPECT_FALSE(register_font_file("/nonexistent/font.otf"));
    EXPECT_FALSE(register_font_file(kBundled + "README.md"));
    EXPECT_FALSE(register_font_file(""));
}

}  // namespace
}  // namespace kestrum::platform
