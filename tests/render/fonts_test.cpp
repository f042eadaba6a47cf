// Font on real fonts: the bundled Commit Mono, DejaVu Sans Mono and Noto Color Emoji.
#include "render/fonts.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <mutex>
#include <string>

#include "core/log.hpp"

namespace kestrum_render {
namespace {

using kestrum::platform::FontFace;

const std::string kBundled = std::string(KESTRUM_SOURCE_DIR) + "/assets/fonts/CommitMonoV143/";

class FontTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static std::once_flag once;
        std::call_once(once, [] {
            kestrum::core::init_logging(kestrum::core::LogFilter::parse("debug"),
                                        kestrum::core::ColorMode::never);
        });
        for (const char* file : {"CommitMono-400-Regular.otf", "CommitMono-400-Italic.otf",
                                 "CommitMono-700-Regular.otf", "CommitMono-700-Italic.otf"}) {
            ASSERT_TRUE(kestrum::platform::register_font_file(kBundled + file)) << file;
        }
    }

    // Runs `body` and returns what it logged.
    template <typename F>
    static std::string logged(F&& body) {
        ::testing::internal::CaptureStderr();
        body();
        return ::testing::internal::GetCapturedStderr();
    }

    static Font font(std::string_view family, float size = 14) {
        auto f = Font::create(family, size);
        if (!f) throw std::runtime_error("no font for " + std::string(family));
        return std::move(*f);
    }
};

TEST(FontNameTest, NormalisationDropsSpacesAndHyphensAndLowersAscii) {
    const std::pair<const char*, const char*> cases[] = {
        {"Commit Mono", "commitmono"},
        {"commitmono", "commitmono"},
        {"Commit-Mono", "commitmono"},
        {" -DejaVu--Sans  Mono- ", "dejavusansmono"},
        {"Font_Name.2", "font_name.2"},
        {"Ärger Mono", "Ärgermono"},  // only ASCII letters change case
        {"Tab\tName", "tab\tname"},
        {"", ""},
    };
    for (auto [in, out] : cases)
        EXPECT_EQ(normalized_font_name(in), out) << in;
}

TEST_F(FontTest, ResolvingAcceptsNamesOfTheFaceAndInstalledOnes) {
    const std::pair<const char*, const char*> cases[] = {
        {"CommitMono", "CommitMono-400Regular"},
        {"Commit Mono", "CommitMono-400Regular"},
        {"COMMIT MONO", "CommitMono-400Regular"},
        {"DejaVuSansMono-Bold", "DejaVuSansMono-Bold"},
        {"DejaVu Sans Mono Bold", "DejaVuSansMono-Bold"},
        // The generic family: none of the face's names, but the configuration's own.
        {"monospace", "DejaVuSansMono"},
    };
    for (auto [name, postscript] : cases) {
        std::optional<FontFace> face;
        const std::string log = logged([&] { face = new_resolving_name(name, 14); });
        ASSERT_TRUE(face) << name;
        EXPECT_EQ(face->postscript_name(), postscript) << name;
        EXPECT_EQ(log, "") << name;
    }
}

TEST_F(FontTest, ResolvingRefusesASubstitutedFaceWithAWarning) {
    const std::pair<const char*, const char*> cases[] = {
        {"Nonexistent Sans", R"("Nonexistent Sans")"},
        {"No\"Such\\Font", R"("No\"Such\\Font")"},
        {"Odd\nName\x01", R"("Odd\nName\u{1}")"},
    };
    for (auto [name, shown] : cases) {
        std::optional<FontFace> face;
        const std::string log = logged([&] { face = new_resolving_name(name, 14); });
        EXPECT_FALSE(face) << name;
        const auto substitute = FontFace::create_with_name(name, 14)->postscript_name();
        EXPECT_NE(log.find(fmt::format("WARN  kestrum_render::atlas: font {} does not match any "
                                       "installed font; Core Text substituted \"{}\"",
                                       shown, substitute)),
                  std::string::npos)
            << log;
    }
}

TEST_F(FontTest, UnknownFamilyFallsBackToMonospace) {
    std::optional<Font> f;
    const std::string log = logged([&] { f = Font::create("Nonexistent Sans", 14); });
    ASSERT_TRUE(f);
    EXPECT_EQ(f->face(0).postscript_name(), "DejaVuSansMono");
    EXPECT_EQ(f->face(3).postscript_name(), "DejaVuSansMono-BoldOblique");
    // Both the refusal and the fallback are reported, in that order.
    const auto refused = log.find("does not match any installed font");
    const auto fallback = log.find(
        "WARN  kestrum_render::atlas: font family \"Nonexistent Sans\" unavailable; falling back "
        "to monospace");
    ASSERT_NE(refused, std::string::npos) << log;
    ASSERT_NE(fallback, std::string::npos) << log;
    EXPECT_LT(refused, fallback);
}

TEST_F(FontTest, SizesOutOfRangeBuildNoFont) {
    for (float size : {0.0f, -12.0f, std::nanf(""), std::numeric_limits<float>::infinity(), 1e9f}) {
        std::optional<Font> f;
        const std::string log = logged([&] { f = Font::create("CommitMono", size); });
        EXPECT_FALSE(f) << size;
        EXPECT_NE(log.find("WARN  kestrum_render::fonts: font size"), std::string::npos) << log;
        EXPECT_EQ(log.find("falling back"), std::string::npos) << log;
    }
}

TEST_F(FontTest, MetricsFollowTheRegularFace) {
    struct Case {
        const char* family;
        float size;
        CellMetrics metrics;
    };
    // Commit Mono: 1000 units per em, advance 600, ascender 900, descender 200,
    // underline at -100 with thickness 50, x-height 540.
    // DejaVu Sans Mono: 2048 units per em, advance 1233, ascender 1901, descender
    // 483, underline at -40 with thickness 90, x-height 1120.
    const Case cases[] = {
        // 14 px: advance 8.4, ascent 12.6, descent 2.8, underline 13 + 1.4, x-height 7.56.
        {"CommitMono", 14, {9, 16, 13, 14, 9, 1}},
        // 30 px: advance 18, ascent 27, descent 6, underline 27 + 3, thickness 1.5 -> 2.
        {"CommitMono", 30, {18, 33, 27, 30, 19, 2}},
        // 14 px: advance 8.43, ascent 12.99, descent 3.30, underline 13 + 0.27.
        {"DejaVu Sans Mono", 14, {9, 17, 13, 13, 9, 1}},
        // 3 px: strokes stay inside the 4-pixel cell.
        {"CommitMono", 3, {2, 4, 3, 3, 2, 1}},
    };
    for (const Case& c : cases) {
        const Font f = font(c.family, c.size);
        EXPECT_EQ(f.metrics(), c.metrics)
            << c.family << " " << c.size << ": " << f.metrics().cell_width << " "
            << f.metrics().cell_height << " " << f.metrics().baseline << " "
            << f.metrics().underline_y << " " << f.metrics().strikeout_y << " "
            << f.metrics().line_thickness;
    }
}

TEST_F(FontTest, StylesUseTheFamilysFacesOrTheRegularOne) {
    const Font commit = font("CommitMono");
    EXPECT_EQ(commit.face(0).postscript_name(), "CommitMono-400Regular");
    EXPECT_EQ(commit.face(1).postscript_name(), "CommitMono-700Regular");
    EXPECT_EQ(commit.face(2).postscript_name(), "CommitMono-400Italic");
    EXPECT_EQ(commit.face(3).postscript_name(), "CommitMono-700Italic");
    for (std::uint8_t s = 0; s < 4; ++s)
        EXPECT_FLOAT_EQ(commit.style_advance(s), 8.4f);

    // The emoji family has no bold or italic: every style draws with the regular face.
    const Font emoji = font("Noto Color Emoji", 20);
    for (std::uint8_t s = 1; s < 4; ++s)
        EXPECT_EQ(emoji.face(s), emoji.face(0));
}

TEST_F(FontTest, RasterPlacesTheGlyphRelativeToTheCellTop) {
    Font f = font("CommitMono");
    const float baseline = f.metrics().baseline;  // 13
    struct Case {
        char32_t character;
        std::uint32_t width;
        std::uint32_t height;
        float offset_x;
        float offset_y;
    };
    // Ink boxes in font units (1000 per em, 14 px: x 0.014).
    const Case cases[] = {
        // "M" (42, 0) to (558, 700): pixels 0..8 x 0..10 above the baseline.
        {U'M', 8, 10, 0, 3},
        // "g" (67, -210) to (544, 550): pixels 0..8 x -3..8.
        {U'g', 8, 11, 0, 5},
        // "_" (70, -122) to (530, -46): pixels 0..8 x -2..0, wholly below the baseline.
        {U'_', 8, 2, 0, 13},
    };
    for (const Case& c : cases) {
        auto glyph = f.glyph_for_character(c.character, false, false);
        ASSERT_TRUE(glyph);
        auto raster = Font::rasterize_glyph_in(baseline, glyph->face, glyph->glyph);
        ASSERT_TRUE(raster);
        EXPECT_EQ(raster->width, c.width);
        EXPECT_EQ(raster->height, c.height);
        EXPECT_EQ(raster->offset[0], c.offset_x);
        EXPECT_EQ(raster->offset[1], c.offset_y);
        EXPECT_FALSE(raster->color);
        EXPECT_EQ(raster->pixels.size(), std::size_t{c.width} * c.height);
    }
}

TEST_F(FontTest, RasterMatchesTheBoundsOfEveryGlyph) {
    Font f = font("DejaVu Sans Mono", 17);
    for (char32_t c : std::u32string(U"Mgjy_|^.,~Q")) {
        auto glyph = f.glyph_for_character(c, false, false);
        ASSERT_TRUE(glyph);
        const kestrum::platform::GlyphRect r = glyph->face.bounding_rect(glyph->glyph);
        auto raster = Font::rasterize_glyph_in(f.metrics().baseline, glyph->face, glyph->glyph);
        ASSERT_TRUE(raster);
        EXPECT_EQ(raster->width, std::ceil(r.x + r.width) - std::floor(r.x));
        EXPECT_EQ(raster->height, std::ceil(r.y + r.height) - std::floor(r.y));
        EXPECT_EQ(raster->offset[0], std::floor(r.x));
        EXPECT_EQ(raster->offset[1], f.metrics().baseline - std::ceil(r.y + r.height));
        // The rows are packed tightly: the first and last row and column all carry ink.
        const auto w = raster->width;
        const auto h = raster->height;
        auto row_ink = [&](std::uint32_t y) {
            int sum = 0;
            for (std::uint32_t x = 0; x < w; ++x)
                sum += raster->pixels[y * w + x];
            return sum;
        };
        auto column_ink = [&](std::uint32_t x) {
            int sum = 0;
            for (std::uint32_t y = 0; y < h; ++y)
                sum += raster->pixels[y * w + x];
            return sum;
        };
        EXPECT_GT(row_ink(0), 0) << char(c);
        EXPECT_GT(row_ink(h - 1), 0) << char(c);
        EXPECT_GT(column_ink(0), 0) << char(c);
        EXPECT_GT(column_ink(w - 1), 0) << char(c);
    }
}

TEST_F(FontTest, SpaceHasNoRaster) {
    Font f = font("CommitMono");
    auto space = f.glyph_for_character(U' ', false, false);
    ASSERT_TRUE(space);
    EXPECT_FALSE(Font::rasterize_glyph_in(f.metrics().baseline, space->face, space->glyph));
}

TEST_F(FontTest, EmojiComeFromTheColourFallback) {
    Font f = font("CommitMono");
    for (bool bold : {false, true}) {
        auto glyph = f.glyph_for_character(U'\U0001F600', bold, false);
        ASSERT_TRUE(glyph);
        EXPECT_EQ(glyph->face.postscript_name(), "NotoColorEmoji");
        auto raster = Font::rasterize_glyph_in(f.metrics().baseline, glyph->face, glyph->glyph);
        ASSERT_TRUE(raster);
        EXPECT_TRUE(raster->color);
        EXPECT_EQ(raster->pixels.size(), std::size_t{raster->width} * raster->height * 4);
        // Scaled to the font's size, not the 109-pixel strike.
        EXPECT_GT(raster->width, 14u);
        EXPECT_LT(raster->width, 22u);
    }
    // One fallback answer per character and style.
    EXPECT_EQ(f.fallback_entries(), 2u);
    f.glyph_for_character(U'\U0001F600', false, false);
    EXPECT_EQ(f.fallback_entries(), 2u);
}

TEST_F(FontTest, CharactersNoFaceHasAreRememberedAsMissing) {
    Font f = font("CommitMono");
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(f.glyph_for_character(U'\U0010FFFD', false, false));
        EXPECT_EQ(f.fallback_entries(), 1u);
    }
    // Not characters at all: nothing to look up.
    EXPECT_FALSE(f.glyph_for_character(0xD800, false, false));
    EXPECT_FALSE(f.glyph_for_character(0x110000, false, false));
    EXPECT_EQ(f.fallback_entries(), 1u);
    // The styled face's own glyphs need no fallback.
    EXPECT_TRUE(f.glyph_for_character(U'a', true, true));
    EXPECT_EQ(f.fallback_entries(), 1u);
}

TEST_F(FontTest, ShapedGlyphsSnapToColumns) {
    Font f = font("CommitMono");  // advance 8.4, cell 9
    const auto shaped = f.shape_run("abc", false, false);
    ASSERT_EQ(shaped.size(), 3u);
    // 8.4 -> round(1.0) x 9, and 16.8 -> round(2.0) x 9 = 18.
    EXPECT_EQ(shaped[0].x, 0);
    EXPECT_EQ(shaped[1].x, 9);
    EXPECT_EQ(shaped[2].x, 18);
    EXPECT_NE(shaped[0].key.glyph, shaped[1].key.glyph);
    EXPECT_EQ(shaped[0].key, GlyphKey::font_glyph(shaped[0].key.glyph, 0));
    // The same text again is answered from the cache; another style shapes anew.
    EXPECT_EQ(f.shape_run("abc", false, false).data(), shaped.data());
    EXPECT_EQ(f.shaped_entries(), 1u);
    const auto bold = f.shape_run("abc", true, false);
    EXPECT_EQ(f.shaped_entries(), 2u);
    EXPECT_NE(bold[0].key.glyph, 0);
    EXPECT_EQ(bold[0].key.style(), 1);

    Font dejavu = font("DejaVu Sans Mono");  // advance 8.43, cell 9
    const auto wide = dejavu.shape_run("0123456789abcdefghij", false, false);
    ASSERT_EQ(wide.size(), 20u);
    for (std::size_t i = 0; i < wide.size(); ++i)
        EXPECT_EQ(wide[i].x, 9.0f * i) << i;
}

TEST_F(FontTest, The4097thShapedTextEmptiesTheCaches) {
    Font f = font("CommitMono");
    for (std::size_t i = 0; i < Font::kShapeCacheLimit; ++i) {
        f.shape_run(std::to_string(i), i % 2 == 1, i % 4 >= 2);
    }
    EXPECT_EQ(f.shaped_entries(), 4096u);
    f.shape_run("0", false, false);  // cached: no change
    EXPECT_EQ(f.shaped_entries(), 4096u);
    const auto last = f.shape_run("new text", false, false);
    EXPECT_EQ(f.shaped_entries(), 1u);
    EXPECT_EQ(last.size(), 8u);
    // "0" was dropped with the rest and is shaped again.
    f.shape_run("0", false, false);
    EXPECT_EQ(f.shaped_entries(), 2u);
}

}  // namespace
}  // namespace kestrum_render
