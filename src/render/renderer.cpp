#include "render/renderer.hpp"

#include <algorithm>
#include <cmath>

#include "core/fatal.hpp"
#include "core/log.hpp"
#include "render/pipelines.hpp"
#include "render/shaders.hpp"

namespace kestrum_render {

namespace {

using kestrum::platform::RenderCommandEncoder;

constexpr const char* kLogTarget = "kestrum_render::renderer";

// Six vertices make the unit quad every instance is drawn as.
constexpr std::uint32_t kQuadVertices = 6;

// A pixel coordinate as a scissor value: truncated, and kept inside uint32 so
// that a huge float cannot overflow the conversion.
std::uint32_t to_pixels(float v) {
    if (!(v > 0.0f)) return 0;
    return static_cast<std::uint32_t>(std::min(v, 4294967040.0f));
}

kestrum::platform::ScissorRect whole_viewport(Viewport viewport) {
    return {0, 0, to_pixels(std::max(viewport[0], 1.0f)), to_pixels(std::max(viewport[1], 1.0f))};
}

template <typename T>
bool same_overlay(const std::optional<T>& cached, const T* now) {
    if (!cached || !now) return !cached && !now;
    return *cached == *now;
}

template <typename T>
void store_overlay(std::optional<T>& cached, const T* now) {
    if (now) {
        cached = *now;  // assigning into a held value reuses its storage
    } else {
        cached.reset();
    }
}

}  // namespace

std::expected<Renderer, RenderError> Renderer::create(
    std::shared_ptr<kestrum::platform::Device> device, kestrum::platform::PixelFormat pixel_format,
    std::string_view font_family, float font_size) {
    using Kind = RenderError::Kind;
    if (!device) kestrum::core::fatal("a renderer needs a GPU device");
    auto library = device->new_library_with_source(shader_source());
    if (!library) {
        return std::unexpected(
            RenderError{Kind::CompileShaders, fmt::format("{:#}", library.error())});
    }
    auto function = [&](std::string_view name)
        -> std::expected<std::shared_ptr<const kestrum::platform::Function>, RenderError> {
        auto f = (*library)->new_function_with_name(name);
        if (!f) return std::unexpected(RenderError{Kind::MissingFunction, std::string(name)});
        return f;
    };
    auto pipeline =
        [](kestrum::core::Result<std::shared_ptr<kestrum::platform::RenderPipelineState>> built)
        -> std::expected<Pipeline, RenderError> {
        if (!built)
            return std::unexpected(RenderError{Kind::Pipeline, fmt::format("{:#}", built.error())});
        return Pipeline(std::move(*built));
    };

    auto solid_vertex = function(kSolidVertex);
    if (!solid_vertex) return std::unexpected(solid_vertex.error());
    auto solid_fragment = function(kSolidFragment);
    if (!solid_fragment) return std::unexpected(solid_fragment.error());
    auto glyph_vertex = function(kGlyphVertex);
    if (!glyph_vertex) return std::unexpected(glyph_vertex.error());
    auto glyph_fragment = function(kGlyphFragment);
    if (!glyph_fragment) return std::unexpected(glyph_fragment.error());
    auto color_glyph_fragment = function(kColorGlyphFragment);
    if (!color_glyph_fragment) return std::unexpected(color_glyph_fragment.error());

    Pipelines pipelines;
    auto solid = pipeline(
        build_pipeline(*device, *solid_vertex, *solid_fragment, pixel_format, AlphaMode::Straight));
    if (!solid) return std::unexpected(solid.error());
    pipelines.solid = std::move(*solid);
    auto background =
        pipeline(build_replace_pipeline(*device, *solid_vertex, *solid_fragment, pixel_format));
    if (!background) return std::unexpected(background.error());
    pipelines.background = std::move(*background);
    auto glyph = pipeline(
        build_pipeline(*device, *glyph_vertex, *glyph_fragment, pixel_format, AlphaMode::Straight));
    if (!glyph) return std::unexpected(glyph.error());
    pipelines.glyph = std::move(*glyph);
    auto color_glyph = pipeline(build_pipeline(*device, *glyph_vertex, *color_glyph_fragment,
                                               pixel_format, AlphaMode::Premultiplied));
    if (!color_glyph) return std::unexpected(color_glyph.error());
    pipelines.color_glyph = std::move(*color_glyph);

    auto gradient_vertex = function(kGradientVertex);
    if (!gradient_vertex) return std::unexpected(gradient_vertex.error());
    auto gradient_fragment = function(kGradientFragment);
    if (!gradient_fragment) return std::unexpected(gradient_fragment.error());
    auto gradient = pipeline(
        build_replace_pipeline(*device, *gradient_vertex, *gradient_fragment, pixel_format));
    if (!gradient) return std::unexpected(gradient.error());
    pipelines.gradient = std::move(*gradient);

    auto sampler = device->new_sampler_state({kestrum::platform::SamplerMinMagFilter::Nearest,
                                              kestrum::platform::SamplerMinMagFilter::Nearest});
    if (!sampler) return std::unexpected(RenderError{Kind::Sampler, {}});

    auto font = Font::create(font_family, font_size);
    if (!font) return std::unexpected(RenderError{Kind::Font, std::string(font_family)});
    auto atlas = GlyphAtlas::create(device, std::move(*font));
    if (!atlas) return std::unexpected(RenderError{Kind::Atlas, {}});

    auto queue = device->new_command_queue();
    if (!queue) return std::unexpected(RenderError{Kind::CommandQueue, {}});

    return Renderer(std::move(device), std::move(queue), std::move(pipelines), std::move(sampler),
                    std::move(*atlas));
}

void Renderer::set_padding(float x, float y) {
    if (!std::isfinite(x) || !std::isfinite(y)) {
        KLOG_WARN(kLogTarget, "padding ({}, {}) is not a number of pixels; keeping ({}, {})", x, y,
                  padding_[0], padding_[1]);
        return;
    }
    if (x == padding_[0] && y == padding_[1]) return;
    invalidate();
    padding_ = {x, y};
}

void Renderer::set_ligatures(bool enabled) {
    if (enabled == ligatures_) return;
    invalidate();
    ligatures_ = enabled;
}

void Renderer::set_background_alpha(float alpha) {
    if (std::isnan(alpha)) {
        KLOG_WARN(kLogTarget, "background alpha is not a number; keeping {}", background_alpha_);
        return;
    }
    alpha = std::clamp(alpha, 0.0f, 1.0f);
    if (alpha == background_alpha_) return;
    invalidate();
    // The search bar and scrollbar sit over the glass too.
    cached_search_bar_.reset();
    cached_scrollbar_.reset();
    background_alpha_ = alpha;
}

std::expected<void, RenderError> Renderer::rebuild_font(std::string_view family, float size) {
    auto font = Font::create(family, size);
    if (!font) return std::unexpected(RenderError{RenderError::Kind::Font, std::string(family)});
    auto atlas = GlyphAtlas::create(device_, std::move(*font));
    if (!atlas) return std::unexpected(RenderError{RenderError::Kind::Atlas, {}});
    atlas_ = std::move(*atlas);
    invalidate();
    return {};
}

bool Renderer::is_unchanged(const kestrum_term::Frame& frame, const Overlays& overlays,
                            Viewport viewport, float scroll_offset) const {
    return viewport == last_viewport_ && scroll_offset == last_scroll_offset_ && cached_frame_ &&
           *cached_frame_ == frame && same_overlay(cached_tab_bar_, overlays.tab_bar) &&
           same_overlay(cached_search_bar_, overlays.search_bar) &&
           same_overlay(cached_scrollbar_, overlays.scrollbar);
}

void Renderer::render(const kestrum_term::Frame& frame, const Overlays& overlays,
                      const std::shared_ptr<kestrum::platform::Texture>& texture,
                      const std::shared_ptr<kestrum::platform::Drawable>& drawable,
                      Viewport viewport, const RenderOptions& options) {
    auto commands = encode(frame, overlays, texture, viewport, options);
    if (!commands) return;
    if (options.present_with_transaction) {
        commands->commit();
        commands->wait_until_scheduled();
        if (drawable) drawable->present();
    } else {
        if (drawable) commands->present_drawable(drawable);
        commands->commit();
    }
    last_viewport_ = viewport;
    last_scroll_offset_ = options.scroll_clip ? options.scroll_clip->offset_y : 0.0f;

    // A layer that grew while encoding replaced a texture that earlier lookups in this
    // frame pointed into; a list that was not uploaded is missing. Either way the
    // frame just shown is drawn again.
    const bool was_reset = atlas_.take_was_reset();
    if (was_reset || incomplete_) {
        cached_frame_.reset();
        cached_tab_bar_.reset();
        cached_search_bar_.reset();
        cached_scrollbar_.reset();
        needs_redraw_ = true;
        return;
    }
    if (cached_frame_) {
        *cached_frame_ = frame;  // reuses the cell storage of the last copy
    } else {
        cached_frame_ = frame;
    }
    store_overlay(cached_tab_bar_, overlays.tab_bar);
    store_overlay(cached_search_bar_, overlays.search_bar);
    store_overlay(cached_scrollbar_, overlays.scrollbar);
}

std::shared_ptr<kestrum::platform::CommandBuffer> Renderer::encode(
    const kestrum_term::Frame& frame, const Overlays& overlays,
    const std::shared_ptr<kestrum::platform::Texture>& texture, Viewport viewport,
    const RenderOptions& options) {
    incomplete_ = false;
    const CellMetrics metrics = atlas_.metrics();

    // Glyph lookups happen here and may grow the atlas.
    const Geometry grid =
        build_grid_geometry(frame, metrics, background_alpha_, ligatures_, atlas_);
    std::optional<Geometry> tab_bar;
    if (overlays.tab_bar) tab_bar = build_tab_bar_geometry(*overlays.tab_bar, metrics, atlas_);
    std::optional<Geometry> search_bar;
    if (overlays.search_bar) {
        search_bar = build_search_geometry(*overlays.search_bar, metrics.cell_width,
                                           metrics.cell_height, atlas_);
    }
    std::optional<Geometry> scrollbar;
    if (overlays.scrollbar) scrollbar = build_scrollbar_geometry(*overlays.scrollbar);

    // Cleared to the default background over the glass, premultiplied.
    const double a = background_alpha_;
    kestrum::platform::RenderPassDescriptor pass;
    pass.color_attachment.texture = texture;
    pass.color_attachment.load_action = kestrum::platform::LoadAction::Clear;
    pass.color_attachment.store_action = kestrum::platform::StoreAction::Store;
    pass.color_attachment.clear_color = {frame.background.r / 255.0 * a,
                                         frame.background.g / 255.0 * a,
                                         frame.background.b / 255.0 * a, a};

    auto commands = queue_->new_command_buffer();
    if (!commands) return nullptr;
    auto encoder = commands->new_render_command_encoder(pass);
    if (!encoder) {
        commands->commit();
        return nullptr;
    }
    RenderCommandEncoder& enc = *encoder;

    const float scroll_y = options.scroll_clip ? options.scroll_clip->offset_y : 0.0f;
    const Uniforms grid_uniforms{viewport, {padding_[0], padding_[1] + scroll_y}};
    const Uniforms overlay_uniforms{viewport, {0.0f, 0.0f}};

    draw_wallpaper(enc, viewport);

    bool grid_clipped = false;
    if (options.scroll_clip) {
        const Rect& r = options.scroll_clip->rect;
        const float lo_x = std::max(r.x, 0.0f);
        const float lo_y = std::max(r.y, 0.0f);
        const float hi_x = std::min(r.x + r.width, viewport[0]);
        const float hi_y = std::min(r.y + r.height, viewport[1]);
        // An empty clip sets nothing: the grid is drawn unclipped.
        if (hi_x > lo_x && hi_y > lo_y) {
            enc.set_scissor_rect(
                {to_pixels(lo_x), to_pixels(lo_y), to_pixels(hi_x - lo_x), to_pixels(hi_y - lo_y)});
            grid_clipped = true;
        }
    }

    bool ok = true;
    ok &= encode_solids(enc, grid_uniforms, grid.backgrounds, pipelines_.background);
    ok &= encode_solids(enc, grid_uniforms, grid.fills, pipelines_.solid);
    ok &= encode_glyphs(enc, grid_uniforms, grid.glyphs);
    ok &= encode_color_glyphs(enc, grid_uniforms, grid.color_glyphs);
    ok &= encode_solids(enc, grid_uniforms, grid.overlays, pipelines_.solid);
    if (grid_clipped) enc.set_scissor_rect(whole_viewport(viewport));

    if (tab_bar) {
        // Nothing is drawn left of clip_left, where the window buttons are.
        const float clip_left = overlays.tab_bar->clip_left;
        const bool clipped = clip_left > 0.0f && clip_left < viewport[0];
        if (clipped) {
            enc.set_scissor_rect({to_pixels(clip_left), 0,
                                  to_pixels(std::max(viewport[0] - clip_left, 1.0f)),
                                  to_pixels(std::max(viewport[1], 1.0f))});
        }
        ok &= encode_solids(enc, overlay_uniforms, tab_bar->fills, pipelines_.solid);
        ok &= encode_glyphs(enc, overlay_uniforms, tab_bar->glyphs);
        ok &= encode_color_glyphs(enc, overlay_uniforms, tab_bar->color_glyphs);
        if (clipped) enc.set_scissor_rect(whole_viewport(viewport));
    }
    if (search_bar) {
        ok &= encode_solids(enc, overlay_uniforms, search_bar->fills, pipelines_.solid);
        ok &= encode_glyphs(enc, overlay_uniforms, search_bar->glyphs);
        ok &= encode_color_glyphs(enc, overlay_uniforms, search_bar->color_glyphs);
        ok &= encode_solids(enc, overlay_uniforms, search_bar->overlays, pipelines_.solid);
    }
    if (scrollbar) ok &= encode_solids(enc, overlay_uniforms, scrollbar->fills, pipelines_.solid);

    incomplete_ = !ok;
    enc.end_encoding();
    return commands;
}

void Renderer::draw_wallpaper(RenderCommandEncoder& encoder, Viewport viewport) {
    const SolidInstance wallpaper{
        {0.0f, 0.0f, viewport[0], viewport[1]}, {0.0f, 0.0f, 0.0f, background_alpha_}, {}};
    auto buffer = device_->new_buffer_with_bytes(&wallpaper, sizeof wallpaper);
    // Without it this frame shows the clear colour instead.
    if (!buffer) return;
    const Uniforms uniforms{viewport, {0.0f, 0.0f}};
    encoder.set_render_pipeline_state(pipelines_.gradient);
    encoder.set_vertex_bytes(&uniforms, sizeof uniforms, 0);
    encoder.set_vertex_buffer(std::move(buffer), 0, 1);
    encoder.draw_primitives(kestrum::platform::PrimitiveType::Triangle, 0, kQuadVertices, 1);
}

bool Renderer::encode_solids(RenderCommandEncoder& encoder, const Uniforms& uniforms,
                             std::span<const SolidInstance> instances, const Pipeline& pipeline) {
    return encode_instances(encoder, uniforms, instances.data(), instances.size(), pipeline,
                            nullptr);
}

bool Renderer::encode_glyphs(RenderCommandEncoder& encoder, const Uniforms& uniforms,
                             std::span<const GlyphInstance> instances) {
    return encode_instances(encoder, uniforms, instances.data(), instances.size(), pipelines_.glyph,
                            atlas_.coverage().texture);
}

bool Renderer::encode_color_glyphs(RenderCommandEncoder& encoder, const Uniforms& uniforms,
                                   std::span<const GlyphInstance> instances) {
    return encode_instances(encoder, uniforms, instances.data(), instances.size(),
                            pipelines_.color_glyph, atlas_.color_layer().texture);
}

bool Renderer::encode_instances(RenderCommandEncoder& encoder, const Uniforms& uniforms,
                                const void* bytes, std::size_t count, const Pipeline& pipeline,
                                const std::shared_ptr<kestrum::platform::Texture>& texture) {
    static_assert(sizeof(SolidInstance) == sizeof(GlyphInstance));
    if (count == 0) return true;
    // More instances than a draw can count: drop the list rather than wrap around.
    if (count > UINT32_MAX) return false;
    auto buffer = device_->new_buffer_with_bytes(bytes, count * sizeof(SolidInstance));
    if (!buffer) return false;
    encoder.set_render_pipeline_state(pipeline);
    encoder.set_vertex_bytes(&uniforms, sizeof uniforms, 0);
    encoder.set_vertex_buffer(std::move(buffer), 0, 1);
    if (texture) {
        encoder.set_fragment_texture(texture, 0);
        encoder.set_fragment_sampler_state(sampler_, 0);
    }
    encoder.draw_primitives(kestrum::platform::PrimitiveType::Triangle, 0, kQuadVertices,
                            static_cast<std::uint32_t>(count));
    return true;
}

}  // namespace kestrum_render
