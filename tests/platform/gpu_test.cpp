// The GL implementation of the GPU layer on a headless device: textures, libraries,
// pipelines, encoders and the layer, checked by reading pixels back.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include <epoxy/gl.h>

#include "platform/gl/blit.hpp"
#include "platform/gl/headless.hpp"
#include "platform/gpu.hpp"

namespace kestrum::platform {
namespace {

// Fills rects: each instance is two float4s, rect (x, y, w, h in pixels from the
// top-left) and colour.
constexpr const char* kFillSource = R"(
#pragma entry vertex fill_vertex
#pragma entry fragment fill_fragment
#pragma entry fragment texture_fragment
layout(std140) uniform VertexBytes0 { vec2 viewport; vec2 origin; };
#ifdef KESTRUM_VERTEX
uniform samplerBuffer vertex_buffer1;
uniform int vertex_buffer1_base;
flat out vec4 color;
out vec2 uv;
const vec2 corners[6] = vec2[6](vec2(0, 0), vec2(1, 0), vec2(0, 1), vec2(0, 1), vec2(1, 0), vec2(1, 1));
void fill_vertex() {
    int i = vertex_buffer1_base + gl_InstanceID * 2;
    vec4 rect = texelFetch(vertex_buffer1, i);
    color = texelFetch(vertex_buffer1, i + 1);
    uv = corners[gl_VertexID];
    vec2 n = (rect.xy + corners[gl_VertexID] * rect.zw + origin) / viewport;
    gl_Position = vec4(n.x * 2.0 - 1.0, 1.0 - n.y * 2.0, 0.0, 1.0);
}
#endif
#ifdef KESTRUM_FRAGMENT
uniform sampler2D fragment_texture0;
flat in vec4 color;
in vec2 uv;
out vec4 fragment_color;
void fill_fragment() { fragment_color = color; }
void texture_fragment() { fragment_color = texture(fragment_texture0, uv); }
#endif
)";

struct Fill {
    std::array<float, 4> rect;
    std::array<float, 4> color;
};

class GpuTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        auto d = gl::create_headless_device();
        ASSERT_TRUE(d.has_value()) << fmt::format("{:#}", d.error());
        device_ = *d;
        auto lib = device_->new_library_with_source(kFillSource);
        ASSERT_TRUE(lib.has_value()) << fmt::format("{:#}", lib.error());
        library_ = *lib;
    }
    static void TearDownTestSuite() {
        library_.reset();
        device_.reset();
    }

    void SetUp() override { ASSERT_TRUE(device_ && library_); }

    std::shared_ptr<RenderPipelineState> pipeline(const char* fragment, PixelFormat format) {
        RenderPipelineDescriptor d;
        d.vertex_function = library_->new_function_with_name("fill_vertex");
        d.fragment_function = library_->new_function_with_name(fragment);
        d.color_attachment.pixel_format = format;
        auto p = device_->new_render_pipeline_state(d);
        EXPECT_TRUE(p.has_value()) << fmt::format("{:#}", p.error());
        return p ? *p : nullptr;
    }

    std::shared_ptr<Texture> target(std::uint32_t w, std::uint32_t h,
                                    PixelFormat format = PixelFormat::RGBA8Unorm) {
        auto t = device_->new_texture({format, w, h});
        EXPECT_TRUE(t);
        return t;
    }

    // Clears `t` to `clear`, then draws `fills` with `pipe` (after `setup`, if any).
    void draw(const std::shared_ptr<Texture>& t, const std::shared_ptr<RenderPipelineState>& pipe,
              const std::vector<Fill>& fills, ClearColor clear = {0, 0, 0, 0},
              const std::function<void(RenderCommandEncoder&)>& setup = {},
              std::array<float, 2> origin = {0, 0}) {
        auto queue = device_->new_command_queue();
        auto cb = queue->new_command_buffer();
        RenderPassDescriptor pass;
        pass.color_attachment.texture = t;
        pass.color_attachment.load_action = LoadAction::Clear;
        pass.color_attachment.clear_color = clear;
        auto enc = cb->new_render_command_encoder(pass);
        ASSERT_TRUE(enc);
        const std::array<float, 4> uniforms = {float(t->width()), float(t->height()), origin[0],
                                               origin[1]};
        enc->set_render_pipeline_state(pipe);
        enc->set_vertex_bytes(uniforms.data(), sizeof uniforms, 0);
        if (!fills.empty()) {
            auto buffer = device_->new_buffer_with_bytes(fills.data(), fills.size() * sizeof(Fill));
            ASSERT_TRUE(buffer);
            enc->set_vertex_buffer(buffer, 0, 1);
        }
        if (setup) setup(*enc);
        enc->draw_primitives(PrimitiveType::Triangle, 0, 6, std::uint32_t(fills.size()));
        enc->end_encoding();
        cb->commit();
        cb->wait_until_completed();
    }

    static std::vector<std::uint8_t> read(const Texture& t) {
        const std::size_t bpp = bytes_per_pixel(t.pixel_format());
        std::vector<std::uint8_t> out(t.width() * t.height() * bpp);
        t.get_bytes(out.data(), t.width() * bpp, {0, 0, t.width(), t.height()});
        return out;
    }

    static std::array<std::uint8_t, 4> pixel(const std::vector<std::uint8_t>& px, const Texture& t,
                                             std::uint32_t x, std::uint32_t y) {
        const std::size_t i = (std::size_t{y} * t.width() + x) * 4;
        return {px[i], px[i + 1], px[i + 2], px[i + 3]};
    }

    static inline std::shared_ptr<Device> device_;
    static inline std::shared_ptr<Library> library_;
};

using Px = std::array<std::uint8_t, 4>;

TEST_F(GpuTest, DeviceDescribesItself) {
    EXPECT_FALSE(device_->name().empty());
    EXPECT_GE(device_->max_texture_side(), 4096u);
}

TEST_F(GpuTest, TextureRegionsRoundTripTopRowFirst) {
    for (auto format : {PixelFormat::R8Unorm, PixelFormat::RGBA8Unorm, PixelFormat::BGRA8Unorm}) {
        SCOPED_TRACE(static_cast<int>(format));
        const std::uint32_t bpp = bytes_per_pixel(format);
        auto t = device_->new_texture({format, 5, 4});
        ASSERT_TRUE(t);
        std::vector<std::uint8_t> zero(5 * 4 * bpp, 0);
        t->replace_region({0, 0, 5, 4}, zero.data(), 5 * bpp);
        // A 2 x 3 region at (2, 1), rows padded to 16 bytes.
        std::vector<std::uint8_t> src(16 * 3, 0xEE);
        for (std::uint32_t y = 0; y < 3; ++y) {
            for (std::uint32_t b = 0; b < 2 * bpp; ++b)
                src[y * 16 + b] = std::uint8_t(y * 40 + b + 1);
        }
        t->replace_region({2, 1, 2, 3}, src.data(), 16);
        auto px = read(*t);
        for (std::uint32_t y = 0; y < 4; ++y) {
            for (std::uint32_t x = 0; x < 5; ++x) {
                for (std::uint32_t b = 0; b < bpp; ++b) {
                    const bool inside = x >= 2 && x < 4 && y >= 1;
                    const std::uint8_t want =
                        inside ? std::uint8_t((y - 1) * 40 + (x - 2) * bpp + b + 1) : 0;
                    ASSERT_EQ(px[(y * 5 + x) * bpp + b], want) << x << "," << y << " byte " << b;
                }
            }
        }
    }
}

TEST_F(GpuTest, BadTextureRequestsAreRefused) {
    EXPECT_FALSE(device_->new_texture({PixelFormat::Invalid, 4, 4}));
    EXPECT_FALSE(device_->new_texture({PixelFormat::RGBA8Unorm, 0, 4}));
    EXPECT_FALSE(
        device_->new_texture({PixelFormat::RGBA8Unorm, 4, device_->max_texture_side() + 1}));
    EXPECT_FALSE(device_->new_buffer_with_bytes("x", 0));

    auto t = target(4, 4);
    std::vector<std::uint8_t> bytes(4 * 4 * 4, 7);
    t->replace_region({0, 0, 4, 4}, bytes.data(), 16);
    std::vector<std::uint8_t> other(64, 9);
    t->replace_region({2, 2, 3, 1}, other.data(), 64);  // past the right edge
    t->replace_region({0, 0, 4, 1}, other.data(), 8);   // pitch shorter than a row
    t->replace_region({0, 0, 4, 1}, other.data(), 18);  // pitch not a whole pixel
    std::vector<std::uint8_t> out(64, 1);
    t->get_bytes(out.data(), 16, {0, 3, 4, 2});  // past the bottom: out untouched
    EXPECT_EQ(out, std::vector<std::uint8_t>(64, 1));
    EXPECT_EQ(read(*t), bytes);
}

TEST_F(GpuTest, LibraryFindsDeclaredEntryPoints) {
    EXPECT_EQ(library_->function_names(),
              (std::vector<std::string>{"fill_vertex", "fill_fragment", "texture_fragment"}));
    auto f = library_->new_function_with_name("fill_fragment");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->function_type(), FunctionType::Fragment);
    EXPECT_FALSE(library_->new_function_with_name("fill"));
    EXPECT_FALSE(library_->new_function_with_name("main"));
}

TEST_F(GpuTest, LibraryErrorsCarryTheReason) {
    struct Case {
        const char* source;
        const char* needle;
    };
    const Case cases[] = {
        {"#pragma entry vertex v\nvoid v() { gl_Position = vec4(undefined_thing); }\n",
         "vertex stage"},
        {"#pragma entry geometry g\n", "#pragma entry vertex|fragment NAME"},
        {"#pragma entry vertex 1v\n", "line 1"},
        {"\n#pragma entry vertex v\n#pragma entry fragment v\n",
         "line 3: entry point 'v' declared twice"},
    };
    for (const auto& c : cases) {
        auto lib = device_->new_library_with_source(c.source);
        ASSERT_FALSE(lib.has_value()) << c.source;
        EXPECT_NE(fmt::format("{:#}", lib.error()).find(c.needle), std::string::npos)
            << fmt::format("{:#}", lib.error());
    }
}

TEST_F(GpuTest, PipelineNeedsMatchingStagesAndAKnownFormat) {
    RenderPipelineDescriptor d;
    d.vertex_function = library_->new_function_with_name("fill_fragment");
    d.fragment_function = library_->new_function_with_name("fill_fragment");
    d.color_attachment.pixel_format = PixelFormat::RGBA8Unorm;
    EXPECT_FALSE(device_->new_render_pipeline_state(d).has_value());
    d.vertex_function = library_->new_function_with_name("fill_vertex");
    d.color_attachment.pixel_format = PixelFormat::Invalid;
    EXPECT_FALSE(device_->new_render_pipeline_state(d).has_value());
    d.color_attachment.pixel_format = PixelFormat::BGRA8Unorm;
    d.color_attachment.blending_enabled = true;
    d.color_attachment.source_rgb_blend_factor = static_cast<BlendFactor>(99);
    EXPECT_FALSE(device_->new_render_pipeline_state(d).has_value());
}

TEST_F(GpuTest, PixelSpaceIsTopDownWithTheOriginAdded) {
    auto t = target(8, 6);
    auto pipe = pipeline("fill_fragment", PixelFormat::RGBA8Unorm);
    // A 2 x 1 rect at (1, 0) shifted by the origin (2, 1) covers pixels (3..4, 1).
    draw(t, pipe, {{{1, 0, 2, 1}, {1, 0, 0, 1}}}, {0, 0, 1, 1}, {}, {2, 1});
    auto px = read(*t);
    for (std::uint32_t y = 0; y < 6; ++y) {
        for (std::uint32_t x = 0; x < 8; ++x) {
            const bool hit = y == 1 && (x == 3 || x == 4);
            EXPECT_EQ(pixel(px, *t, x, y), (hit ? Px{255, 0, 0, 255} : Px{0, 0, 255, 255}))
                << x << "," << y;
        }
    }
}

TEST_F(GpuTest, BgraTargetsStoreBlueFirst) {
    auto t = target(2, 2, PixelFormat::BGRA8Unorm);
    auto pipe = pipeline("fill_fragment", PixelFormat::BGRA8Unorm);
    draw(t, pipe, {{{0, 0, 1, 1}, {1, 0.5f, 0, 1}}}, {0, 0, 0, 1});
    auto px = read(*t);
    EXPECT_EQ(pixel(px, *t, 0, 0), (Px{0, 128, 255, 255}));
    EXPECT_EQ(pixel(px, *t, 1, 1), (Px{0, 0, 0, 255}));
}

TEST_F(GpuTest, ScissorIsTopLeftAndClippedToTheTarget) {
    auto t = target(6, 6);
    auto pipe = pipeline("fill_fragment", PixelFormat::RGBA8Unorm);
    draw(t, pipe, {{{0, 0, 6, 6}, {1, 1, 1, 1}}}, {0, 0, 0, 0}, [](RenderCommandEncoder& e) {
        e.set_scissor_rect({4, 1, 100, 2});
    });
    auto px = read(*t);
    for (std::uint32_t y = 0; y < 6; ++y) {
        for (std::uint32_t x = 0; x < 6; ++x) {
            const bool in = x >= 4 && y >= 1 && y < 3;
            EXPECT_EQ(pixel(px, *t, x, y)[0], in ? 255 : 0) << x << "," << y;
        }
    }
    // A scissor with no area inside the target draws nothing.
    draw(t, pipe, {{{0, 0, 6, 6}, {1, 1, 1, 1}}}, {0, 0, 0, 0}, [](RenderCommandEncoder& e) {
        e.set_scissor_rect({10, 10, 5, 5});
    });
    EXPECT_EQ(read(*t), std::vector<std::uint8_t>(6 * 6 * 4, 0));
}

TEST_F(GpuTest, InstancesComeFromTheBufferAtItsOffset) {
    auto t = target(4, 1);
    auto pipe = pipeline("fill_fragment", PixelFormat::RGBA8Unorm);
    const std::vector<Fill> fills = {
        {{0, 0, 1, 1}, {1, 0, 0, 1}}, {{1, 0, 1, 1}, {0, 1, 0, 1}}, {{2, 0, 1, 1}, {0, 0, 1, 1}}};
    auto buffer = device_->new_buffer_with_bytes(fills.data(), fills.size() * sizeof(Fill));
    ASSERT_TRUE(buffer);
    // Skip the first instance: two instances drawn from offset 32.
    auto queue = device_->new_command_queue();
    auto cb = queue->new_command_buffer();
    RenderPassDescriptor pass;
    pass.color_attachment = {t, LoadAction::Clear, StoreAction::Store, {0, 0, 0, 0}};
    auto enc = cb->new_render_command_encoder(pass);
    const std::array<float, 4> uniforms = {4, 1, 0, 0};
    enc->set_render_pipeline_state(pipe);
    enc->set_vertex_bytes(uniforms.data(), 16, 0);
    enc->set_vertex_buffer(buffer, 32, 1);
    enc->draw_primitives(PrimitiveType::Triangle, 0, 6, 2);
    enc->end_encoding();
    cb->commit();
    auto px = read(*t);
    EXPECT_EQ(pixel(px, *t, 0, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(pixel(px, *t, 1, 0), (Px{0, 255, 0, 255}));
    EXPECT_EQ(pixel(px, *t, 2, 0), (Px{0, 0, 255, 255}));
}

TEST_F(GpuTest, SampledTexturesAreTopDown) {
    auto atlas = device_->new_texture({PixelFormat::RGBA8Unorm, 1, 2});
    const std::uint8_t texels[] = {255, 0, 0, 255, 0, 255, 0, 255};  // red row above green
    atlas->replace_region({0, 0, 1, 2}, texels, 4);
    auto sampler = device_->new_sampler_state({});
    ASSERT_TRUE(sampler);
    auto t = target(2, 4);
    auto pipe = pipeline("texture_fragment", PixelFormat::RGBA8Unorm);
    draw(t, pipe, {{{0, 0, 2, 4}, {0, 0, 0, 0}}}, {}, [&](RenderCommandEncoder& e) {
        e.set_fragment_texture(atlas, 0);
        e.set_fragment_sampler_state(sampler, 0);
    });
    auto px = read(*t);
    EXPECT_EQ(pixel(px, *t, 0, 0), (Px{255, 0, 0, 255}));
    EXPECT_EQ(pixel(px, *t, 1, 1), (Px{255, 0, 0, 255}));
    EXPECT_EQ(pixel(px, *t, 0, 2), (Px{0, 255, 0, 255}));
    EXPECT_EQ(pixel(px, *t, 1, 3), (Px{0, 255, 0, 255}));
}

TEST_F(GpuTest, LoadActionLoadKeepsEarlierPasses) {
    auto t = target(2, 1);
    auto pipe = pipeline("fill_fragment", PixelFormat::RGBA8Unorm);
    draw(t, pipe, {{{0, 0, 1, 1}, {1, 0, 0, 1}}}, {0, 0, 1, 1});
    auto queue = device_->new_command_queue();
    auto cb = queue->new_command_buffer();
    RenderPassDescriptor pass;
    pass.color_attachment = {t, LoadAction::Load, StoreAction::Store, {}};
    auto enc = cb->new_render_command_encoder(pass);
    enc->end_encoding();
    cb->commit();
    auto px = read(*t);
    EXPECT_EQ(pixel(px, *t, 0, 0), (Px{255, 0, 0, 255}));
    EXPECT_EQ(pixel(px, *t, 1, 0), (Px{0, 0, 255, 255}));
}

TEST_F(GpuTest, MisuseIsRefusedWithoutDrawing) {
    auto t = target(2, 2);
    auto queue = device_->new_command_queue();
    auto cb = queue->new_command_buffer();
    EXPECT_FALSE(cb->new_render_command_encoder({}));  // no texture
    RenderPassDescriptor pass;
    pass.color_attachment = {t, LoadAction::Clear, StoreAction::Store, {0, 0, 0, 0}};
    auto enc = cb->new_render_command_encoder(pass);
    // No pipeline, then a pipeline of another format.
    enc->draw_primitives(PrimitiveType::Triangle, 0, 6, 1);
    enc->set_render_pipeline_state(pipeline("fill_fragment", PixelFormat::BGRA8Unorm));
    enc->draw_primitives(PrimitiveType::Triangle, 0, 6, 1);
    enc->set_vertex_bytes("0123456789abcdef", 16, 2);
    enc->set_vertex_buffer(nullptr, 8, 1);
    enc->end_encoding();
    enc->end_encoding();
    enc->draw_primitives(PrimitiveType::Triangle, 0, 6, 1);
    cb->commit();
    cb->commit();
    EXPECT_FALSE(cb->new_render_command_encoder(pass));
    EXPECT_EQ(read(*t), std::vector<std::uint8_t>(16, 0));
}

TEST_F(GpuTest, LayerCyclesThreeDrawablesAndShowsTheNewestPresent) {
    Layer layer(device_, PixelFormat::BGRA8Unorm);
    EXPECT_FALSE(layer.next_drawable());  // no size yet
    layer.set_drawable_size({4, 3});
    int presents = 0;
    layer.set_present_callback([&] { ++presents; });

    auto a = layer.next_drawable();
    auto b = layer.next_drawable();
    auto c = layer.next_drawable();
    ASSERT_TRUE(a && b && c);
    EXPECT_FALSE(layer.next_drawable());  // all three held
    EXPECT_EQ(a->texture()->width(), 4u);
    EXPECT_EQ(a->texture()->pixel_format(), PixelFormat::BGRA8Unorm);

    auto cb = device_->new_command_queue()->new_command_buffer();
    cb->present_drawable(b);
    EXPECT_EQ(presents, 0);  // presents wait for the commit
    cb->commit();
    EXPECT_EQ(presents, 1);
    EXPECT_EQ(layer.presented_texture(), b->texture());
    auto shown = b->texture();
    a.reset();
    b.reset();
    c.reset();
    // The presented texture is not handed out again until another one replaces it.
    auto d = layer.next_drawable();
    auto e = layer.next_drawable();
    ASSERT_TRUE(d && e);
    EXPECT_NE(d->texture(), shown);
    EXPECT_NE(e->texture(), shown);
    EXPECT_FALSE(layer.next_drawable());
    d->present();
    EXPECT_EQ(presents, 2);
    EXPECT_EQ(layer.presented_texture(), d->texture());

    layer.set_drawable_size({8, 8});
    auto f = layer.next_drawable();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->texture()->width(), 8u);
}

TEST_F(GpuTest, PresentingAfterTheLayerIsGoneDoesNothing) {
    std::shared_ptr<Drawable> d;
    {
        Layer layer(device_, PixelFormat::BGRA8Unorm);
        layer.set_drawable_size({2, 2});
        d = layer.next_drawable();
    }
    ASSERT_TRUE(d);
    d->present();
}

TEST_F(GpuTest, BlitToAWindowFramebufferPutsTheTopRowAtTheTop) {
    auto source = device_->new_texture({PixelFormat::RGBA8Unorm, 1, 2});
    const std::uint8_t rows[] = {255, 0, 0, 255, 0, 255, 0, 255};  // red above green
    source->replace_region({0, 0, 1, 2}, rows, 4);
    // A window framebuffer stands in as a framebuffer over another texture; in GL's
    // window coordinates its row 0 is the bottom.
    auto window = target(2, 4);
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           window->native_handle(), 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gl::blit_to_framebuffer(*source, fbo, 2, 4);
    glDeleteFramebuffers(1, &fbo);
    auto px = read(*window);
    EXPECT_EQ(pixel(px, *window, 0, 0), (Px{0, 255, 0, 255}));  // window bottom
    EXPECT_EQ(pixel(px, *window, 1, 1), (Px{0, 255, 0, 255}));
    EXPECT_EQ(pixel(px, *window, 0, 2), (Px{255, 0, 0, 255}));
    EXPECT_EQ(pixel(px, *window, 1, 3), (Px{255, 0, 0, 255}));  // window top
}

}  // namespace
}  // namespace kestrum::platform
