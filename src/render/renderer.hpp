// The GPU side of drawing: the program's pipelines, the sampler, the glyph atlas and
// the command queue. Each frame it decides whether anything changed since the last
// presented one and, if so, builds geometry, encodes one pass over the wallpaper and
// presents. Main thread only.
#pragma once

#include <array>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "platform/gpu.hpp"
#include "render/atlas.hpp"
#include "render/geometry.hpp"
#include "render/render_error.hpp"
#include "term/frame.hpp"

namespace kestrum_render {

// The overlays of one frame, borrowed; null when absent.
struct Overlays {
    const TabBar* tab_bar = nullptr;
    const SearchBar* search_bar = nullptr;
    const Scrollbar* scrollbar = nullptr;
};

// While a smooth-scroll row is shown the grid moves down by `offset_y` and is
// clipped to `rect` (drawable pixels).
struct ScrollClip {
    Rect rect;
    float offset_y = 0.0f;
};

struct RenderOptions {
    std::optional<ScrollClip> scroll_clip;
    bool present_with_transaction = false;
};

// Drawable width and height in pixels.
using Viewport = std::array<float, 2>;

class Renderer {
  public:
    // Compiles the program, builds the pipelines, the sampler, the font at
    // `font_size` pixels with its atlas and the command queue, stopping at the first
    // failure. `pixel_format` is the drawables'.
    static std::expected<Renderer, RenderError> create(
        std::shared_ptr<kestrum::platform::Device> device,
        kestrum::platform::PixelFormat pixel_format, std::string_view font_family, float font_size);

    // The setters force the next frame to be encoded only when the value changes.
    void set_padding(float x, float y);
    void set_ligatures(bool enabled);
    // Clamped to [0, 1].
    void set_background_alpha(float alpha);
    // A new font and atlas; on failure the old ones stay.
    std::expected<void, RenderError> rebuild_font(std::string_view family, float size);

    // True when these inputs equal those of the last presented frame, so there is
    // nothing to draw.
    bool is_unchanged(const kestrum_term::Frame& frame, const Overlays& overlays, Viewport viewport,
                      float scroll_offset) const;

    // Encodes the frame into `texture`, commits and presents `drawable` (may be null:
    // nothing is presented). A frame that cannot be encoded is dropped silently.
    void render(const kestrum_term::Frame& frame, const Overlays& overlays,
                const std::shared_ptr<kestrum::platform::Texture>& texture,
                const std::shared_ptr<kestrum::platform::Drawable>& drawable, Viewport viewport,
                const RenderOptions& options);

    // The frame's command buffer, not yet committed; null when there is no command
    // buffer or encoder. Sets `incomplete` when a list could not be uploaded.
    std::shared_ptr<kestrum::platform::CommandBuffer> encode(
        const kestrum_term::Frame& frame, const Overlays& overlays,
        const std::shared_ptr<kestrum::platform::Texture>& texture, Viewport viewport,
        const RenderOptions& options);

    // Whether the presented frame cannot be trusted and must be drawn again; reading
    // clears it.
    bool take_needs_redraw() {
        const bool r = needs_redraw_;
        needs_redraw_ = false;
        return r;
    }

    const CellMetrics& metrics() const { return atlas_.metrics(); }
    float cell_width() const { return atlas_.metrics().cell_width; }
    float cell_height() const { return atlas_.metrics().cell_height; }
    GlyphAtlas& atlas() { return atlas_; }
    const kestrum::platform::SamplerState& sampler() const { return *sampler_; }
    float background_alpha() const { return background_alpha_; }

  private:
    using Pipeline = std::shared_ptr<const kestrum::platform::RenderPipelineState>;

    struct Pipelines {
        Pipeline solid;        // straight alpha
        Pipeline background;   // replace
        Pipeline glyph;        // straight alpha, coverage atlas
        Pipeline color_glyph;  // premultiplied, colour atlas
        Pipeline gradient;     // replace
    };

    Renderer(std::shared_ptr<kestrum::platform::Device> device,
             std::shared_ptr<kestrum::platform::CommandQueue> queue, Pipelines pipelines,
             std::shared_ptr<kestrum::platform::SamplerState> sampler, GlyphAtlas atlas)
        : atlas_(std::move(atlas)),
          device_(std::move(device)),
          queue_(std::move(queue)),
          pipelines_(std::move(pipelines)),
          sampler_(std::move(sampler)) {}

    // Forget the last presented frame so that the next one is encoded.
    void invalidate() {
        cached_frame_.reset();
        cached_tab_bar_.reset();
    }
    void draw_wallpaper(kestrum::platform::RenderCommandEncoder& encoder, Viewport viewport);
    bool encode_solids(kestrum::platform::RenderCommandEncoder& encoder, const Uniforms& uniforms,
                       std::span<const SolidInstance> instances, const Pipeline& pipeline);
    bool encode_glyphs(kestrum::platform::RenderCommandEncoder& encoder, const Uniforms& uniforms,
                       std::span<const GlyphInstance> instances);
    bool encode_color_glyphs(kestrum::platform::RenderCommandEncoder& encoder,
                             const Uniforms& uniforms, std::span<const GlyphInstance> instances);
    bool encode_instances(kestrum::platform::RenderCommandEncoder& encoder,
                          const Uniforms& uniforms, const void* bytes, std::size_t count,
                          const Pipeline& pipeline,
                          const std::shared_ptr<kestrum::platform::Texture>& texture);

    // Inputs of the last presented frame; an empty cached_frame means none is known.
    std::optional<kestrum_term::Frame> cached_frame_;
    std::optional<TabBar> cached_tab_bar_;
    std::optional<SearchBar> cached_search_bar_;
    std::optional<Scrollbar> cached_scrollbar_;

    GlyphAtlas atlas_;
    std::shared_ptr<kestrum::platform::Device> device_;
    std::shared_ptr<kestrum::platform::CommandQueue> queue_;
    Pipelines pipelines_;
    std::shared_ptr<kestrum::platform::SamplerState> sampler_;

    std::array<float, 2> padding_{0.0f, 0.0f};
    Viewport last_viewport_{0.0f, 0.0f};
    float background_alpha_ = 1.0f;
    float last_scroll_offset_ = 0.0f;
    bool ligatures_ = false;
    bool needs_redraw_ = false;
    bool incomplete_ = false;
};

}  // namespace kestrum_render
