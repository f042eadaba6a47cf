// Render geometry: turns a frame and the overlays into flat lists of GPU instances.
// Pure computation in device pixels, origin at the top-left, y down; glyphs come
// only through GlyphProvider. The same inputs give the same lists in the same order.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/rgb.hpp"
#include "render/shaders.hpp"
#include "term/frame.hpp"

namespace kestrum_render {

struct Rect {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Cell measures in device pixels.
struct CellMetrics {
    float cell_width = 0.0f;
    float cell_height = 0.0f;
    float baseline = 0.0f;     // cell top to the text baseline; rasterisation only
    float underline_y = 0.0f;  // top of the underline stroke from the cell top
    float strikeout_y = 0.0f;  // top of the strikeout stroke from the cell top
    float line_thickness = 0.0f;
    friend bool operator==(const CellMetrics&, const CellMetrics&) = default;
};

// Instance lists in draw order.
struct Geometry {
    std::vector<SolidInstance> backgrounds;   // cell backgrounds off the default; replace
    std::vector<SolidInstance> fills;         // block cursor, pills, dots, panels, thumb
    std::vector<GlyphInstance> glyphs;        // coverage atlas text
    std::vector<GlyphInstance> color_glyphs;  // colour atlas text (emoji)
    std::vector<SolidInstance> overlays;      // box drawing, decorations, thin cursors, caret
};

// A cached glyph's identity, 8 bytes. A character key holds a Unicode scalar with
// bold and italic flags; a glyph key holds a font glyph number and a style index
// (italic x 2 + bold, kept in the two flags) with `scalar` set to kGlyphScalar.
struct GlyphKey {
    static constexpr std::uint32_t kGlyphScalar = 0x110000;

    std::uint32_t scalar = 0;
    std::uint16_t glyph = 0;
    std::uint8_t bold = 0;
    std::uint8_t italic = 0;

    // A value past U+10FFFF is not a character: it becomes U+FFFD rather than
    // passing for a glyph key.
    static constexpr GlyphKey character(char32_t c, bool bold, bool italic) {
        const std::uint32_t scalar = c < kGlyphScalar ? static_cast<std::uint32_t>(c) : 0xFFFD;
        return {scalar, 0, std::uint8_t(bold), std::uint8_t(italic)};
    }
    static constexpr GlyphKey font_glyph(std::uint16_t glyph, std::uint8_t style) {
        return {kGlyphScalar, glyph, std::uint8_t(style & 1), std::uint8_t((style >> 1) & 1)};
    }
    constexpr bool is_glyph() const { return scalar == kGlyphScalar; }
    constexpr std::uint8_t style() const { return std::uint8_t(italic * 2 + bold); }

    friend bool operator==(const GlyphKey&, const GlyphKey&) = default;
};
static_assert(sizeof(GlyphKey) == 8);

struct AtlasEntry {
    std::array<float, 4> uv{};      // u0, v0, u1, v1 in its atlas texture, normalised
    std::array<float, 2> size{};    // bitmap width and height in pixels
    std::array<float, 2> offset{};  // bitmap top-left relative to the pen (cell top-left)
    bool color = false;             // lives in the colour (RGBA) texture
    friend bool operator==(const AtlasEntry&, const AtlasEntry&) = default;
};

// One glyph of a shaped run: its key and pen offset in pixels from the run's start.
struct ShapedGlyph {
    GlyphKey key;
    float x = 0.0f;
    friend bool operator==(const ShapedGlyph&, const ShapedGlyph&) = default;
};

// Where geometry gets glyphs; the atlas implements it.
class GlyphProvider {
  public:
    virtual ~GlyphProvider() = default;
    // The glyph's atlas entry, rasterised and uploaded on first use; empty when it has
    // no pixels or cannot be placed.
    virtual std::optional<AtlasEntry> entry(GlyphKey key) = 0;
    // Shapes `text` (UTF-8) with ligatures into glyph keys with pen offsets, in the
    // shaper's order. The result stays valid until the next shape_run call.
    virtual std::span<const ShapedGlyph> shape_run(std::string_view text, bool bold,
                                                   bool italic) = 0;
};

// The cursor as the grid build sees it.
struct CursorBlend {
    float alpha = 0.0f;  // opacity clamped to [0, 1] when visible, else 0
    std::uint16_t column = 0;
    std::uint16_t row = 0;
    bool shown = false;        // alpha > 0.004
    bool block_shown = false;  // shown as a block
    bool aligned = false;      // not gliding: the drawn column is within 0.01 of the cell
    friend bool operator==(const CursorBlend&, const CursorBlend&) = default;
};

CursorBlend cursor_blend(const kestrum_term::Cursor& cursor);

struct BarTab {
    std::string title;
    Rect rect;  // the pill
    bool active = false;
    friend bool operator==(const BarTab&, const BarTab&) = default;
};

struct TabBar {
    std::optional<std::size_t> hovered;  // tab under the pointer
    std::vector<BarTab> tabs;
    Rect bar_rect;  // not drawn, compared only
    std::optional<Rect> new_tab_button;
    float pill_radius = 0.0f;
    float dot_inset = 0.0f;  // pill's left edge to its dot; also the right text margin
    float dot_size = 0.0f;
    float dot_gap = 0.0f;  // between the dot and the title
    float hover_progress = 0.0f;
    float clip_left = 0.0f;  // nothing is drawn left of this x
    bool new_tab_hovered = false;
    kestrum::core::Rgb active_fill;
    kestrum::core::Rgb active_text;
    kestrum::core::Rgb inactive_text;
    kestrum::core::Rgb active_dot;
    kestrum::core::Rgb inactive_dot;
    kestrum::core::Rgb active_border;
    kestrum::core::Rgb hover_text;
    friend bool operator==(const TabBar&, const TabBar&) = default;
};

struct SearchBar {
    std::string text;  // as shown, prompt included
    Rect rect;         // the panel
    float radius = 0.0f;
    kestrum::core::Rgb background;
    kestrum::core::Rgb text_color;
    kestrum::core::Rgb caret_color;
    friend bool operator==(const SearchBar&, const SearchBar&) = default;
};

struct Scrollbar {
    Rect rect;  // the thumb
    float radius = 0.0f;
    float alpha = 0.0f;
    kestrum::core::Rgb color;
    friend bool operator==(const Scrollbar&, const Scrollbar&) = default;
};

// Cell backgrounds, box drawing, decorations, text and cursor of a frame.
// `background_alpha` is the window's glass alpha; `ligatures` shapes runs of ASCII.
Geometry build_grid_geometry(const kestrum_term::Frame& frame, const CellMetrics& metrics,
                             float background_alpha, bool ligatures, GlyphProvider& provider);

// Steps of the grid build.
void emit_decorations(Geometry& geometry, const kestrum_term::Frame& frame,
                      const CellMetrics& metrics, const CursorBlend& blend, float background_alpha);
void emit_cursor(Geometry& geometry, const kestrum_term::Frame& frame, const CellMetrics& metrics,
                 bool shown, float alpha);
// Shapes the run (cells adjacent on one row sharing style and colour) and empties it.
void flush_run(Geometry& geometry, std::vector<const kestrum_term::FrameCell*>& run,
               GlyphProvider& provider, float cell_width, float cell_height);

Geometry build_tab_bar_geometry(const TabBar& bar, const CellMetrics& metrics,
                                GlyphProvider& provider);
Geometry build_search_geometry(const SearchBar& bar, float cell_width, float cell_height,
                               GlyphProvider& provider);
Geometry build_scrollbar_geometry(const Scrollbar& bar);

}  // namespace kestrum_render

template <>
struct std::hash<kestrum_render::GlyphKey> {
    std::size_t operator()(const kestrum_render::GlyphKey& k) const noexcept {
        std::uint64_t v = std::uint64_t{k.scalar} | std::uint64_t{k.glyph} << 32 |
                          std::uint64_t{k.bold} << 48 | std::uint64_t{k.italic} << 56;
        // A full 64-bit mix: scalars are small and dense, and tables may index by any bits.
        v ^= v >> 30;
        v *= 0xBF58476D1CE4E5B9ull;
        v ^= v >> 27;
        v *= 0x94D049BB133111EBull;
        v ^= v >> 31;
        return static_cast<std::size_t>(v);
    }
};
