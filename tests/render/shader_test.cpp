// The draw program on a headless GL device: solids sharp and rounded, glyph
// coverage and colour glyphs, the wallpaper, and blending per pipeline.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "platform/gl/headless.hpp"
#include "render/pipelines.hpp"
#include "render/shaders.hpp"

namespace kestrum_render {
namespace {

using kestrum::platform::PixelFormat;
using Px = std::array<int, 4>;

constexpr PixelFormat kFormat = PixelFormat::RGBA8Unorm;

class ShaderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        auto d = kestrum::platform::gl::create_headless_device();
        ASSERT_TRUE(d.has_value()) << fmt::format("{:#}", d.error());
        device_ = *d;
        auto lib = device_->new_library_with_source(shader_source());
        ASSERT_TRUE(lib.has_value()) << fmt::format("{:#}", lib.error());
        library_ = *lib;
    }
    static void TearDownTestSuite() {
        library_.reset();
        device_.reset();
    }
    void SetUp() override { ASSERT_TRUE(device_ && library_); }

    static std::shared_ptr<const kestrum::platform::Function> fn(std::string_view name) {
        auto f = library_->new_function_with_name(name);
        EXPECT_TRUE(f) << name;
        return f;
    }

    enum class Mode { Replace, Straight, Premultiplied };

    static std::shared_ptr<kestrum::platform::RenderPipelineState> pipeline(
        std::string_view vertex, std::string_view fragment, Mode mode) {
        auto p = mode == Mode::Replace
                     ? build_replace_pipeline(*device_, fn(vertex), fn(fragment), kFormat)
                     : build_pipeline(
                           *device_, fn(vertex), fn(fragment), kFormat,
                           mode == Mode::Straight ? AlphaMode::Straight : AlphaMode::Premultiplied);
        EXPECT_TRUE(p.has_value()) << fmt::format("{:#}", p.error());
        return p ? *p : nullptr;
    }

    // Clears a w x h target, draws `instances` (48 bytes each) with `pipe`, reads back.
    template <typename Instance>
    std::vector<std::uint8_t> draw(
        std::uint32_t w, std::uint32_t h,
        const std::shared_ptr<kestrum::platform::RenderPipelineState>& pipe,
        const std::vector<Instance>& instances, kestrum::platform::ClearColor clear = {0, 0, 0, 0},
        std::array<float, 2> origin = {0, 0},
        std::shared_ptr<kestrum::platform::Texture> atlas = nullptr) {
        target_ = device_->new_texture({kFormat, w, h});
        auto cb = device_->new_command_queue()->new_command_buffer();
        kestrum::platform::RenderPassDescriptor pass;
        pass.color_attachment = {target_, kestrum::platform::LoadAction::Clear,
                                 kestrum::platform::StoreAction::Store, clear};
        auto enc = cb->new_render_command_encoder(pass);
        const Uniforms uniforms{{float(w), float(h)}, origin};
        auto buffer =
            device_->new_buffer_with_bytes(instances.data(), instances.size() * sizeof(Instance));
        enc->set_render_pipeline_state(pipe);
        enc->set_vertex_bytes(&uniforms, sizeof uniforms, 0);
        enc->set_vertex_buffer(buffer, 0, 1);
        if (atlas) {
            enc->set_fragment_texture(atlas, 0);
            enc->set_fragment_sampler_state(device_->new_sampler_state({}), 0);
        }
        enc->draw_primitives(kestrum::platform::PrimitiveType::Triangle, 0, 6,
                             std::uint32_t(instances.size()));
        enc->end_encoding();
        cb->commit();
        std::vector<std::uint8_t> px(w * h * 4);
        target_->get_bytes(px.data(), w * 4, {0, 0, w, h});
        return px;
    }

    Px at(const std::vector<std::uint8_t>& px, std::uint32_t x, std::uint32_t y) const {
        const std::size_t i = (std::size_t{y} * target_->width() + x) * 4;
        return {px[i], px[i + 1], px[i + 2], px[i + 3]};
    }

    static inline std::shared_ptr<kestrum::platform::Device> device_;
    static inline std::shared_ptr<kestrum::platform::Library> library_;
    std::shared_ptr<kestrum::platform::Texture> target_;
};

void expect_near(Px got, Px want, int tolerance, const std::string& what) {
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(got[i], want[i], tolerance) << what << " channel " << i << ": got " << got[0]
                                                << "," << got[1] << "," << got[2] << "," << got[3];
    }
}

TEST_F(ShaderTest, EveryRendererPipelineBuilds) {
    EXPECT_TRUE(pipeline(kSolidVertex, kSolidFragment, Mode::Straight));
    EXPECT_TRUE(pipeline(kSolidVertex, kSolidFragment, Mode::Replace));
    EXPECT_TRUE(pipeline(kGlyphVertex, kGlyphFragment, Mode::Straight));
    EXPECT_TRUE(pipeline(kGlyphVertex, kColorGlyphFragment, Mode::Premultiplied));
    EXPECT_TRUE(pipeline(kGradientVertex, kGradientFragment, Mode::Replace));
    EXPECT_EQ(library_->function_names().size(), 7u);
}

TEST_F(ShaderTest, SharpSolidWritesItsColourExactlyAtItsPlace) {
    auto pipe = pipeline(kSolidVertex, kSolidFragment, Mode::Replace);
    // A 2 x 1 solid at (1, 0), shifted by the origin (3, 2).
    const std::vector<SolidInstance> solids = {{{1, 0, 2, 1}, {0.2f, 0.4f, 0.6f, 0.5f}, {}}};
    auto px = draw(8, 4, pipe, solids, {0, 0, 0, 0}, {3, 2});
    for (std::uint32_t y = 0; y < 4; ++y) {
        for (std::uint32_t x = 0; x < 8; ++x) {
            const Px p = at(px, x, y);
            if (y == 2 && (x == 4 || x == 5)) {
                EXPECT_EQ((Px{p[0], p[1], p[2]}), (Px{51, 102, 153})) << x << "," << y;
                EXPECT_NEAR(p[3], 127.5, 0.5);
            } else {
                EXPECT_EQ(p, (Px{0, 0, 0, 0})) << x << "," << y;
            }
        }
    }
}

TEST_F(ShaderTest, RoundedSolidCoverage) {
    auto pipe = pipeline(kSolidVertex, kSolidFragment, Mode::Replace);
    // 20 x 10 with radius 5: a pill. Placed on half pixels so that pixel centres fall
    // exactly on its edge.
    const std::vector<SolidInstance> solids = {
        {{10.5f, 10.5f, 20, 10}, {1, 1, 1, 1}, {5, 0, 0, 0}}};
    auto px = draw(40, 30, pipe, solids);
    EXPECT_EQ(at(px, 10, 10)[3], 0) << "top-left corner";
    EXPECT_EQ(at(px, 29, 19)[3], 0) << "bottom-right corner";
    EXPECT_EQ(at(px, 20, 15)[3], 255) << "middle";
    EXPECT_NEAR(at(px, 10, 15)[3], 128, 2) << "leftmost point of the round end";
    EXPECT_NEAR(at(px, 20, 10)[3], 128, 2) << "top edge";
    EXPECT_EQ(at(px, 20, 15)[0], 255) << "colour is not premultiplied by coverage";
    EXPECT_EQ(at(px, 10, 15)[0], 255);
}

TEST_F(ShaderTest, GlyphCoverageScalesAlphaOnly) {
    auto atlas = device_->new_texture({PixelFormat::R8Unorm, 2, 2});
    const std::uint8_t texels[] = {64, 255, 0, 128};
    atlas->replace_region({0, 0, 2, 2}, texels, 2);
    auto pipe = pipeline(kGlyphVertex, kGlyphFragment, Mode::Replace);
    const std::vector<GlyphInstance> glyphs = {{{0, 0, 2, 2}, {0, 0, 1, 1}, {0.2f, 0.4f, 0.6f, 1}}};
    auto px = draw(2, 2, pipe, glyphs, {0, 0, 0, 0}, {0, 0}, atlas);
    EXPECT_EQ(at(px, 0, 0), (Px{51, 102, 153, 64}));
    EXPECT_EQ(at(px, 1, 0), (Px{51, 102, 153, 255}));
    EXPECT_EQ(at(px, 0, 1), (Px{51, 102, 153, 0}));
    EXPECT_EQ(at(px, 1, 1), (Px{51, 102, 153, 128}));
}

TEST_F(ShaderTest, GlyphUvSelectsItsAtlasCell) {
    // A 4 x 2 atlas; the glyph takes texels (2..3, 1) at the origin (1, 1).
    auto atlas = device_->new_texture({PixelFormat::R8Unorm, 4, 2});
    const std::uint8_t texels[] = {0, 0, 0, 0, 0, 0, 10, 20};
    atlas->replace_region({0, 0, 4, 2}, texels, 4);
    auto pipe = pipeline(kGlyphVertex, kGlyphFragment, Mode::Replace);
    const std::vector<GlyphInstance> glyphs = {{{0, 0, 2, 1}, {0.5f, 0.5f, 1, 1}, {1, 1, 1, 1}}};
    auto px = draw(4, 3, pipe, glyphs, {0, 0, 0, 0}, {1, 1}, atlas);
    EXPECT_EQ(at(px, 1, 1)[3], 10);
    EXPECT_EQ(at(px, 2, 1)[3], 20);
    EXPECT_EQ(at(px, 0, 1), (Px{0, 0, 0, 0}));
    EXPECT_EQ(at(px, 1, 0), (Px{0, 0, 0, 0}));
}

TEST_F(ShaderTest, ColourGlyphsIgnoreTheInstanceColour) {
    auto atlas = device_->new_texture({PixelFormat::RGBA8Unorm, 1, 1});
    const std::uint8_t texel[] = {100, 50, 25, 128};  // premultiplied
    atlas->replace_region({0, 0, 1, 1}, texel, 4);
    auto pipe = pipeline(kGlyphVertex, kColorGlyphFragment, Mode::Replace);
    const std::vector<GlyphInstance> glyphs = {{{0, 0, 1, 1}, {0, 0, 1, 1}, {1, 0, 1, 0.2f}}};
    auto px = draw(1, 1, pipe, glyphs, {0, 0, 0, 0}, {0, 0}, atlas);
    EXPECT_EQ(at(px, 0, 0), (Px{100, 50, 25, 128}));
}

TEST_F(ShaderTest, BlendingPerPipeline) {
    struct Case {
        const char* what;
        Mode mode;
        kestrum::platform::ClearColor destination;
        std::array<float, 4> source;
        Px want;
    };
    const Case cases[] = {
        {"straight over opaque", Mode::Straight, {0, 0, 1, 1}, {1, 0, 0, 0.5f}, {128, 0, 128, 255}},
        {"straight over translucent",
         Mode::Straight,
         {0, 0, 0.4, 0.4},
         {1, 0, 0, 0.5f},
         {128, 0, 51, 178}},
        {"premultiplied over opaque",
         Mode::Premultiplied,
         {0, 0, 1, 1},
         {0.5f, 0, 0, 0.5f},
         {128, 0, 128, 255}},
        {"premultiplied adds its colour whole",
         Mode::Premultiplied,
         {0, 0, 1, 1},
         {1, 0, 0, 0.5f},
         {255, 0, 128, 255}},
        {"replace overwrites", Mode::Replace, {0, 0, 1, 1}, {1, 0, 0, 0.5f}, {255, 0, 0, 128}},
    };
    for (const auto& c : cases) {
        auto pipe = pipeline(kSolidVertex, kSolidFragment, c.mode);
        auto px = draw(1, 1, pipe, std::vector<SolidInstance>{{{0, 0, 1, 1}, c.source, {}}},
                       c.destination);
        expect_near(at(px, 0, 0), c.want, 1, c.what);
    }
}

// The wallpaper computed on the CPU without its dither, 0..1 per channel.
std::array<double, 3> wallpaper(double u, double v) {
    auto mix = [](std::array<double, 3> a, std::array<double, 3> b, double t) {
        return std::array<double, 3>{a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t,
                                     a[2] + (b[2] - a[2]) * t};
    };
    auto smoothstep = [](double e0, double e1, double x) {
        const double s = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
        return s * s * (3 - 2 * s);
    };
    auto rgb = [](int r, int g, int b) {
        return std::array<double, 3>{r / 255.0, g / 255.0, b / 255.0};
    };
    const double vig = std::clamp(std::hypot((u - 0.5) / 0.7, (v - 0.5) / 0.7), 0.0, 1.0);
    auto col = mix(rgb(0x11, 0x0D, 0x17), rgb(0x04, 0x03, 0x06), vig);
    double d = std::hypot((u - 0.08) / 0.9, (v - 1.08) / 0.8);
    col = mix(col, rgb(0x30, 0x32, 0x60), 0.6 * (1 - smoothstep(0, 0.6, d)));
    d = std::hypot((u - 0.82) / 1.2, (v + 0.08) / 0.9);
    col = mix(col, rgb(0x90, 0x10, 0x1A), 0.55 * (1 - smoothstep(0, 0.55, d)));
    return col;
}

TEST_F(ShaderTest, WallpaperIsTheDitheredGradientPremultipliedByGlassAlpha) {
    auto pipe = pipeline(kGradientVertex, kGradientFragment, Mode::Replace);
    const std::uint32_t w = 64, h = 48;
    for (float alpha : {1.0f, 0.4f}) {
        SCOPED_TRACE(alpha);
        // The origin is set but ignored: the quad spans the drawable.
        auto px =
            draw(w, h, pipe,
                 std::vector<SolidInstance>{{{0, 0, float(w), float(h)}, {0, 0, 0, alpha}, {}}},
                 {0, 0, 0, 0}, {7, 7});
        int dithered = 0;
        int worst = 0;
        for (std::uint32_t y = 0; y < h; ++y) {
            for (std::uint32_t x = 0; x < w; ++x) {
                const Px p = at(px, x, y);
                ASSERT_EQ(p[3], std::lround(alpha * 255)) << x << "," << y;
                const auto ref = wallpaper((x + 0.5) / w, (y + 0.5) / h);
                for (int c = 0; c < 3; ++c) {
                    const double want = ref[c] * alpha * 255;
                    // The dither moves a channel by at most one step, rounding by half.
                    const int off = std::abs(p[c] - int(std::lround(want)));
                    worst = std::max(worst, off);
                    ASSERT_LE(std::abs(p[c] - want), 1.5 + 1e-3)
                        << x << "," << y << " channel " << c;
                    dithered += off != 0;
                }
            }
        }
        EXPECT_GT(dithered, 0) << "no dither visible";
        EXPECT_LE(worst, 1);
    }
    // The red bloom hangs from the top-right: rows are top-down.
    auto px = draw(w, h, pipe,
                   std::vector<SolidInstance>{{{0, 0, float(w), float(h)}, {0, 0, 0, 1}, {}}});
    EXPECT_GT(at(px, w - 8, 0)[0], at(px, w - 8, h - 1)[0] + 20);
}

}  // namespace
}  // namespace kestrum_render
