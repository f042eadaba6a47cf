// The configured font: four styled faces resolved from a family name, the cell
// metrics derived from them, glyph rasterisation, per-character fallback faces and
// cached shaping of ligature runs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/text.hpp"
#include "render/geometry.hpp"

namespace kestrum_render {

// One rasterised glyph: rows top first, tightly packed (width bytes per row for
// coverage, width x 4 for premultiplied RGBA colour).
struct Raster {
    std::vector<std::uint8_t> pixels;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The bitmap's top-left corner relative to a cell's top-left corner.
    std::array<float, 2> offset{};
    bool color = false;
};

// A glyph to draw for a character: the face it comes from and its number there.
struct CharacterGlyph {
    kestrum::platform::FontFace face;
    std::uint16_t glyph = 0;
};

// Drops every space and hyphen and lower-cases ASCII letters: "Commit Mono",
// "commitmono" and "Commit-Mono" all become "commitmono".
std::string normalized_font_name(std::string_view name);

// The face for `name` at `size` pixels, refusing (with a warning) a face the font
// lookup substituted for a name it does not know.
std::optional<kestrum::platform::FontFace> new_resolving_name(std::string_view name, float size);

class Font {
  public:
    // The family's four styled faces at `size` pixels, or the "monospace" family's
    // when `family` cannot be resolved. Empty when neither resolves.
    static std::optional<Font> create(std::string_view family, float size);

    // Rasterises `glyph` of `face` at an integer origin. Empty when the glyph has no
    // pixels (a space) or is too large for any texture.
    static std::optional<Raster> rasterize_glyph_in(float baseline,
                                                    const kestrum::platform::FontFace& face,
                                                    std::uint16_t glyph);

    const CellMetrics& metrics() const { return metrics_; }
    // Style index: italic x 2 + bold.
    const kestrum::platform::FontFace& face(std::uint8_t style) const { return faces_[style & 3]; }
    float style_advance(std::uint8_t style) const { return style_advances_[style & 3]; }

    // The glyph for `character` in the styled face, else in the fallback face the
    // font lookup offers (remembered per character and style, including the
    // answer that there is none). Empty when no face has it.
    std::optional<CharacterGlyph> glyph_for_character(char32_t character, bool bold, bool italic);

    // Shapes `text` in the styled face with ligatures into glyph keys of that style
    // and snaps every glyph to a column. Results are cached per text and style; the caches are
    // emptied when they reach kShapeCacheLimit entries. The span stays valid until the next call.
    std::span<const ShapedGlyph> shape_run(std::string_view text, bool bold, bool italic);

    static constexpr std::size_t kShapeCacheLimit = 4096;
    std::size_t shaped_entries() const { return shaped_entries_; }
    std::size_t fallback_entries() const { return fallbacks_.size(); }

  private:
    Font(std::array<kestrum::platform::FontFace, 4> faces, CellMetrics metrics,
         std::array<float, 4> style_advances)
        : faces_(std::move(faces)), metrics_(metrics), style_advances_(style_advances) {}

    std::array<kestrum::platform::FontFace, 4> faces_;
    // Keyed by character x 4 + style index.
    std::unordered_map<std::uint64_t, std::optional<kestrum::platform::FontFace>> fallbacks_;
    // Looked up by string view: a cache hit allocates nothing.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using ShapeCache =
        std::unordered_map<std::string, std::vector<ShapedGlyph>, TextHash, std::equal_to<>>;
    std::array<ShapeCache, 4> shape_caches_;
    CellMetrics metrics_;
    std::array<float, 4> style_advances_;
    std::size_t shaped_entries_ = 0;
};

}  // namespace kestrum_render
