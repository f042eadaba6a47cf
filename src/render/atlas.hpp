// The glyph atlas: glyphs rasterised on first use and packed into two square
// textures, coverage (R8) for ordinary text and premultiplied RGBA for colour
// glyphs, with every later lookup answered from a hash map.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "platform/gpu.hpp"
#include "render/fonts.hpp"
#include "render/geometry.hpp"
#include "render/rect_allocator.hpp"

namespace kestrum_render {

// One atlas texture and the space manager over it. Layers only grow.
struct AtlasLayer {
    static constexpr std::uint32_t kInitialSide = 1024;
    static constexpr std::uint32_t kMaxSide = 8192;

    // A kInitialSide square layer of `pixel_format`; empty when the texture cannot be made.
    static std::optional<AtlasLayer> create(kestrum::platform::Device& device,
                                            kestrum::platform::PixelFormat pixel_format);

    // Replaces the texture and the allocator with ones of twice the side. False, with
    // the layer unchanged, at kMaxSide or when the larger texture cannot be made.
    bool grow(kestrum::platform::Device& device);

    RectAllocator allocator;
    std::shared_ptr<kestrum::platform::Texture> texture;
    kestrum::platform::PixelFormat pixel_format = kestrum::platform::PixelFormat::Invalid;
    std::uint32_t side = 0;
};

class GlyphAtlas final : public GlyphProvider {
  public:
    // Both layers for `font`; empty when either texture cannot be made.
    static std::optional<GlyphAtlas> create(std::shared_ptr<kestrum::platform::Device> device,
                                            Font font);

    // The glyph's entry, rasterised and uploaded on first use. Empty, and remembered as
    // such, when there is nothing to draw or the atlas is full at its largest side;
    // empty without being remembered when a larger texture could not be made.
    std::optional<AtlasEntry> entry(GlyphKey key) override;
    std::span<const ShapedGlyph> shape_run(std::string_view text, bool bold, bool italic) override;

    // True once after a layer has grown: entries handed out before then point into
    // a texture that is gone.
    bool take_was_reset() {
        const bool r = was_reset_;
        was_reset_ = false;
        return r;
    }

    const Font& font() const { return font_; }
    const CellMetrics& metrics() const { return font_.metrics(); }
    const AtlasLayer& coverage() const { return coverage_; }
    const AtlasLayer& color_layer() const { return color_layer_; }
    // Cached keys, including those remembered as having nothing to draw.
    std::size_t cached_entries() const { return cache_.size(); }

  private:
    GlyphAtlas(std::shared_ptr<kestrum::platform::Device> device, Font font, AtlasLayer coverage,
               AtlasLayer color_layer)
        : coverage_(std::move(coverage)),
          color_layer_(std::move(color_layer)),
          device_(std::move(device)),
          font_(std::move(font)) {}

    std::optional<Raster> rasterize(GlyphKey key);
    // Places and uploads `raster`, growing its layer when it is full.
    std::optional<AtlasEntry> place(GlyphKey key, const Raster& raster);

    AtlasLayer coverage_;
    AtlasLayer color_layer_;
    std::shared_ptr<kestrum::platform::Device> device_;
    std::unordered_map<GlyphKey, std::optional<AtlasEntry>> cache_;
    Font font_;
    bool was_reset_ = false;
    bool full_warned_ = false;
};

}  // namespace kestrum_render
