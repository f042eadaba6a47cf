// The glyph atlas on a headless GL device with real fonts: placement and upload,
// the gutter, cached misses, colour glyphs, shaped glyph keys, growth and a full atlas.
#include "render/atlas.hpp"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/log.hpp"
#include "platform/gl/headless.hpp"

namespace kestrum_render {
namespace {

const std::string kBundled = std::string(KESTRUM_SOURCE_DIR) + "/assets/fonts/CommitMonoV143/";

// An atlas entry's pixel rectangle in its layer.
struct PixelRect {
    std::uint32_t x, y, width, height;
};

class AtlasTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static std::once_flag once;
        std::call_once(once, [] {
            kestrum::core::init_logging(kestrum::core::LogFilter::parse("info"),
                                        kestrum::core::ColorMode::never);
        });
        for (const char* file : {"CommitMono-400-Regular.otf", "CommitMono-400-Italic.otf",
                                 "CommitMono-700-Regular.otf", "CommitMono-700-Italic.otf"}) {
            ASSERT_TRUE(kestrum::platform::register_font_file(kBundled + file)) << file;
        }
        auto d = kestrum::platform::gl::create_headless_device();
        ASSERT_TRUE(d.has_value()) << fmt::format("{:#}", d.error());
        device_ = *d;
    }
    static void TearDownTestSuite() { device_.reset(); }
    void SetUp() override { ASSERT_TRUE(device_); }

    static GlyphAtlas atlas(float size = 14, std::string_view family = "CommitMono") {
        auto font = Font::create(family, size);
        if (!font) throw std::runtime_error("no font");
        auto a = GlyphAtlas::create(device_, std::move(*font));
        if (!a) throw std::runtime_error("no atlas");
        return std::move(*a);
    }

    static PixelRect pixels_of(const AtlasEntry& e, std::uint32_t side) {
        const auto s = static_cast<float>(side);
        return {static_cast<std::uint32_t>(e.uv[0] * s), static_cast<std::uint32_t>(e.uv[1] * s),
                static_cast<std::uint32_t>(e.size[0]), static_cast<std::uint32_t>(e.size[1])};
    }

    // What the layer holds where `e` points.
    static std::vector<std::uint8_t> read_back(const AtlasLayer& layer, const AtlasEntry& e) {
        const PixelRect r = pixels_of(e, layer.side);
        const std::size_t bpp = e.color ? 4 : 1;
        std::vector<std::uint8_t> out(r.width * r.height * bpp);
        layer.texture->get_bytes(out.data(), r.width * bpp, {r.x, r.y, r.width, r.height});
        return out;
    }

    template <typename F>
    static std::string logged(F&& body) {
        ::testing::internal::CaptureStderr();
        body();
        return ::testing::internal::GetCapturedStderr();
    }

    static inline std::shared_ptr<kestrum::platform::Device> device_;
};

TEST_F(AtlasTest, GlyphIsUploadedAsRasterisedWithItsOffset) {
    GlyphAtlas a = atlas();
    for (auto [c, bold, italic] : {std::tuple{U'A', false, false}, std::tuple{U'g', true, false},
                                   std::tuple{U'f', false, true}, std::tuple{U'@', true, true}}) {
        const auto e = a.entry(GlyphKey::character(c, bold, italic));
        ASSERT_TRUE(e) << char(c);
        // The same glyph rasterised directly from the styled face.
        Font font = *Font::create("CommitMono", 14);
        const auto glyph = font.glyph_for_character(c, bold, italic);
        ASSERT_TRUE(glyph);
        const auto raster =
            Font::rasterize_glyph_in(font.metrics().baseline, glyph->face, glyph->glyph);
        ASSERT_TRUE(raster);
        EXPECT_FALSE(e->color);
        EXPECT_EQ(e->size[0], float(raster->width)) << char(c);
        EXPECT_EQ(e->size[1], float(raster->height)) << char(c);
        EXPECT_EQ(e->offset, raster->offset) << char(c);
        // uv spans exactly the glyph's pixels.
        const PixelRect r = pixels_of(*e, a.coverage().side);
        EXPECT_FLOAT_EQ(e->uv[2] * 1024, float(r.x + raster->width));
        EXPECT_FLOAT_EQ(e->uv[3] * 1024, float(r.y + raster->height));
        EXPECT_EQ(read_back(a.coverage(), *e), raster->pixels) << char(c);
    }
}

TEST_F(AtlasTest, GlyphsNeverTouchTheirNeighbours) {
    GlyphAtlas a = atlas(24);
    std::vector<PixelRect> placed;
    for (char32_t c = U'!'; c <= U'~'; ++c) {
        for (int style = 0; style < 4; ++style) {
            const auto e = a.entry(GlyphKey::character(c, style & 1, style & 2));
            ASSERT_TRUE(e) << char(c);
            placed.push_back(pixels_of(*e, a.coverage().side));
        }
    }
    ASSERT_EQ(a.coverage().side, 1024u);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const PixelRect p = placed[i];
        ASSERT_LE(p.x + p.width + 1, 1024u);
        ASSERT_LE(p.y + p.height + 1, 1024u);
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            const PixelRect q = placed[j];
            // With the one-pixel gutter, the grown rectangles may not overlap.
            const bool apart = p.x + p.width + 1 <= q.x || q.x + q.width + 1 <= p.x ||
                               p.y + p.height + 1 <= q.y || q.y + q.height + 1 <= p.y;
            ASSERT_TRUE(apart) << i << " and " << j;
        }
    }
}

TEST_F(AtlasTest, NothingToDrawIsRememberedOnce) {
    GlyphAtlas a = atlas();
    const GlyphKey keys[] = {
        GlyphKey::character(U' ', false, false),           // no ink
        GlyphKey::character(U'\U0010FFFD', false, false),  // no face has it
        GlyphKey::character(0xD800, true, false),          // a surrogate, not a character
        GlyphKey::font_glyph(0xFFFF, 0),                   // past the face's glyphs
    };
    std::size_t cached = a.cached_entries();
    for (const GlyphKey& key : keys) {
        EXPECT_FALSE(a.entry(key)) << key.scalar;
        EXPECT_EQ(a.cached_entries(), ++cached) << key.scalar;
        EXPECT_FALSE(a.entry(key)) << key.scalar;
        EXPECT_EQ(a.cached_entries(), cached) << key.scalar;
    }
    // A value past Unicode is drawn as the replacement character.
    EXPECT_EQ(GlyphKey::character(0x110001, false, true).scalar, 0xFFFDu);
}

TEST_F(AtlasTest, EmojiFromTheFallbackLandInTheColourLayer) {
    GlyphAtlas a = atlas(28);
    const auto e = a.entry(GlyphKey::character(U'\U0001F600', false, false));
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->color);
    // Scaled to the requested size, not the face's 109-pixel strikes.
    EXPECT_LE(e->size[1], 40.0f);
    EXPECT_GE(e->size[1], 20.0f);
    const auto px = read_back(a.color_layer(), *e);
    int opaque = 0;
    for (std::size_t i = 0; i < px.size(); i += 4) {
        // Premultiplied: no channel exceeds alpha.
        ASSERT_LE(px[i], px[i + 3]);
        ASSERT_LE(px[i + 1], px[i + 3]);
        ASSERT_LE(px[i + 2], px[i + 3]);
        opaque += px[i + 3] == 255;
    }
    EXPECT_GT(opaque, 100);
    // Text next to it still goes to the coverage layer.
    const auto text = a.entry(GlyphKey::character(U'x', false, false));
    ASSERT_TRUE(text);
    EXPECT_FALSE(text->color);
}

TEST_F(AtlasTest, ShapedGlyphKeysDrawFromTheirStyledFace) {
    GlyphAtlas a = atlas();
    for (std::uint8_t style = 0; style < 4; ++style) {
        const bool bold = style & 1, italic = style & 2;
        const auto shaped = a.shape_run("ab", bold, italic);
        ASSERT_EQ(shaped.size(), 2u);
        EXPECT_EQ(shaped[1].x, a.metrics().cell_width);
        for (const ShapedGlyph& g : shaped) {
            ASSERT_TRUE(g.key.is_glyph());
            EXPECT_EQ(g.key.style(), style);
        }
        // Alone (no neighbour to pick a contextual alternate), the shaped 'a' is the
        // bitmap of the character 'a' of that style.
        const auto alone = a.shape_run("a", bold, italic);
        ASSERT_EQ(alone.size(), 1u);
        const auto by_glyph = a.entry(alone[0].key);
        const auto by_char = a.entry(GlyphKey::character(U'a', bold, italic));
        ASSERT_TRUE(by_glyph && by_char);
        EXPECT_EQ(by_glyph->size, by_char->size);
        EXPECT_EQ(by_glyph->offset, by_char->offset);
        EXPECT_NE(by_glyph->uv, by_char->uv);
        EXPECT_EQ(read_back(a.coverage(), *by_glyph), read_back(a.coverage(), *by_char));
    }
}

TEST_F(AtlasTest, GrowthEmptiesOnlyTheGrownLayersEntries) {
    // Glyphs about 120 x 150 pixels: a few dozen fill 1024 x 1024.
    GlyphAtlas a = atlas(200);
    const auto emoji = a.entry(GlyphKey::character(U'\U0001F600', false, false));
    ASSERT_TRUE(emoji && emoji->color);
    const auto space = a.entry(GlyphKey::character(U' ', false, false));
    ASSERT_FALSE(space);

    std::vector<std::pair<GlyphKey, AtlasEntry>> before;
    char32_t c = U'!';
    for (; c <= U'~' && a.coverage().side == 1024; ++c) {
        const GlyphKey key = GlyphKey::character(c, false, false);
        const auto e = a.entry(key);
        ASSERT_TRUE(e) << char(c);
        if (a.coverage().side == 1024) before.emplace_back(key, *e);
    }
    ASSERT_EQ(a.coverage().side, 2048u) << "the glyphs did not fill the first layer";
    ASSERT_GT(before.size(), 10u);
    EXPECT_TRUE(a.take_was_reset());
    EXPECT_FALSE(a.take_was_reset());
    // Left: the glyph that grew the layer, the emoji and the remembered space.
    EXPECT_EQ(a.cached_entries(), 3u);
    EXPECT_EQ(a.entry(GlyphKey::character(U'\U0001F600', false, false)), emoji);
    EXPECT_EQ(a.color_layer().side, 1024u);

    // Older glyphs come back at new places in the larger texture, with their pixels.
    const auto [key, old] = before.front();
    const auto again = a.entry(key);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->size, old.size);
    EXPECT_EQ(again->offset, old.offset);
    Font font = *Font::create("CommitMono", 200);
    const auto glyph = font.glyph_for_character(key.scalar, false, false);
    const auto raster =
        Font::rasterize_glyph_in(font.metrics().baseline, glyph->face, glyph->glyph);
    EXPECT_EQ(read_back(a.coverage(), *again), raster->pixels);
    EXPECT_LE(again->uv[2], 1.0f);
    EXPECT_FALSE(a.take_was_reset());
}

TEST_F(AtlasTest, FullAtlasWarnsOnceAndRemembersTheMiss) {
    // Glyphs of about 2400 x 2900 pixels: six fill the largest layer.
    GlyphAtlas a = atlas(4000);
    std::optional<GlyphKey> missed;
    std::string log;
    for (char32_t c = U'A'; c <= U'Z' && !missed; ++c) {
        const GlyphKey key = GlyphKey::character(c, false, false);
        std::optional<AtlasEntry> e;
        log += logged([&] { e = a.entry(key); });
        if (!e) missed = key;
    }
    ASSERT_TRUE(missed) << "the largest layer never filled";
    EXPECT_EQ(a.coverage().side, 8192u);
    EXPECT_NE(log.find("glyph atlas maxed out at 8192x8192; some glyphs may not render"),
              std::string::npos)
        << log;
    const std::size_t cached = a.cached_entries();
    // Remembered as undrawable: no second attempt and no second warning.
    EXPECT_EQ(logged([&] {
                  EXPECT_FALSE(a.entry(*missed));
                  EXPECT_FALSE(a.entry(GlyphKey::character(U'W', true, false)));
              }),
              "");
    EXPECT_EQ(a.cached_entries(), cached + 1);
}

}  // namespace
}  // namespace kestrum_render
