#include "render/atlas.hpp"

#include <utility>

#include "core/log.hpp"

namespace kestrum_render {

namespace {

constexpr const char* kLogTarget = "kestrum_render::atlas";

// Space left free right of and below every glyph, so that sampling at a glyph's
// edge never picks up its neighbour.
constexpr std::uint32_t kGutter = 1;

const char* layer_name(kestrum::platform::PixelFormat format) {
    return format == kestrum::platform::PixelFormat::R8Unorm ? "coverage" : "colour";
}

}  // namespace

std::optional<AtlasLayer> AtlasLayer::create(kestrum::platform::Device& device,
                                             kestrum::platform::PixelFormat pixel_format) {
    auto texture = device.new_texture({pixel_format, kInitialSide, kInitialSide});
    if (!texture) return std::nullopt;
    return AtlasLayer{RectAllocator(kInitialSide, kInitialSide), std::move(texture), pixel_format,
                      kInitialSide};
}

bool AtlasLayer::grow(kestrum::platform::Device& device) {
    if (side >= kMaxSide) return false;
    const std::uint32_t larger = side * 2;
    auto larger_texture = device.new_texture({pixel_format, larger, larger});
    if (!larger_texture) return false;
    texture = std::move(larger_texture);
    allocator = RectAllocator(larger, larger);
    side = larger;
    return true;
}

std::optional<GlyphAtlas> GlyphAtlas::create(std::shared_ptr<kestrum::platform::Device> device,
                                             Font font) {
    if (!device) return std::nullopt;
    auto coverage = AtlasLayer::create(*device, kestrum::platform::PixelFormat::R8Unorm);
    if (!coverage) return std::nullopt;
    auto color_layer = AtlasLayer::create(*device, kestrum::platform::PixelFormat::RGBA8Unorm);
    if (!color_layer) return std::nullopt;
    return GlyphAtlas(std::move(device), std::move(font), std::move(*coverage),
                      std::move(*color_layer));
}

std::optional<AtlasEntry> GlyphAtlas::entry(GlyphKey key) {
    if (auto it = cache_.find(key); it != cache_.end()) return it->second;
    const std::optional<Raster> raster = rasterize(key);
    if (!raster) {
        cache_.emplace(key, std::nullopt);
        return std::nullopt;
    }
    return place(key, *raster);
}

std::span<const ShapedGlyph> GlyphAtlas::shape_run(std::string_view text, bool bold, bool italic) {
    return font_.shape_run(text, bold, italic);
}

std::optional<Raster> GlyphAtlas::rasterize(GlyphKey key) {
    const float baseline = font_.metrics().baseline;
    // Shaped glyphs come from their styled face only: the shaper already chose them.
    if (key.is_glyph())
        return Font::rasterize_glyph_in(baseline, font_.face(key.style()), key.glyph);
    const auto glyph = font_.glyph_for_character(key.scalar, key.bold != 0, key.italic != 0);
    if (!glyph) return std::nullopt;
    return Font::rasterize_glyph_in(baseline, glyph->face, glyph->glyph);
}

std::optional<AtlasEntry> GlyphAtlas::place(GlyphKey key, const Raster& raster) {
    AtlasLayer& layer = raster.color ? color_layer_ : coverage_;
    std::optional<AllocatedRect> at;
    while (!(at = layer.allocator.allocate(raster.width + kGutter, raster.height + kGutter))) {
        if (layer.side > AtlasLayer::kMaxSide / 2) {
            if (!full_warned_) {
                KLOG_WARN(kLogTarget, "glyph atlas maxed out at {}x{}; some glyphs may not render",
                          AtlasLayer::kMaxSide, AtlasLayer::kMaxSide);
                full_warned_ = true;
            }
            cache_.emplace(key, std::nullopt);
            return std::nullopt;
        }
        // No texture for the larger side: the glyph is tried again on a later lookup.
        if (!layer.grow(*device_)) return std::nullopt;
        // Only this layer's glyphs moved. The other layer's entries stay valid, and
        // dropping them would upload them a second time into space still taken.
        std::erase_if(cache_, [&](const auto& item) {
            return item.second && item.second->color == raster.color;
        });
        was_reset_ = true;
        KLOG_DEBUG(kLogTarget, "glyph atlas {} layer grew to {}x{}", layer_name(layer.pixel_format),
                   layer.side, layer.side);
    }

    const std::size_t row_bytes = std::size_t{raster.width} * (raster.color ? 4 : 1);
    layer.texture->replace_region({at->x, at->y, raster.width, raster.height}, raster.pixels.data(),
                                  row_bytes);
    const auto side = static_cast<float>(layer.side);
    AtlasEntry e;
    e.uv = {static_cast<float>(at->x) / side, static_cast<float>(at->y) / side,
            static_cast<float>(at->x + raster.width) / side,
            static_cast<float>(at->y + raster.height) / side};
    e.size = {static_cast<float>(raster.width), static_cast<float>(raster.height)};
    e.offset = raster.offset;
    e.color = raster.color;
    cache_.emplace(key, e);
    return e;
}

}  // namespace kestrum_render
