// The draw program and its wire formats: every item on screen is one instance of a
// six-vertex unit quad, expanded to a rectangle in device pixels by a vertex function.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace kestrum_render {

// Vertex bytes at index 0 of every draw.
struct Uniforms {
    std::array<float, 2> viewport;  // drawable size in pixels
    std::array<float, 2> origin;    // added to solid and glyph positions; the wallpaper ignores it
    friend bool operator==(const Uniforms&, const Uniforms&) = default;
};

// Vertex buffer records at index 1. Also the wallpaper's record: rect is the whole
// viewport and only color.a, the glass alpha, is read.
struct SolidInstance {
    std::array<float, 4> rect;    // x, y, width, height; pixels, y down from the top-left
    std::array<float, 4> color;   // straight alpha, except cell backgrounds (premultiplied)
    std::array<float, 4> params;  // x: corner radius, 0 for sharp; y, z, w: 0
    friend bool operator==(const SolidInstance&, const SolidInstance&) = default;
};

struct GlyphInstance {
    std::array<float, 4> rect;   // x, y, width, height in pixels
    std::array<float, 4> uv;     // u0, v0, u1, v1: atlas top-left and bottom-right, normalised
    std::array<float, 4> color;  // straight alpha; ignored by the colour glyph fragment
    friend bool operator==(const GlyphInstance&, const GlyphInstance&) = default;
};

static_assert(sizeof(Uniforms) == 16 && offsetof(Uniforms, origin) == 8);
static_assert(sizeof(SolidInstance) == 48 && offsetof(SolidInstance, color) == 16 &&
              offsetof(SolidInstance, params) == 32);
static_assert(sizeof(GlyphInstance) == 48 && offsetof(GlyphInstance, uv) == 16 &&
              offsetof(GlyphInstance, color) == 32);

// The entry points, looked up by these names.
inline constexpr std::string_view kSolidVertex = "solid_vertex";
inline constexpr std::string_view kSolidFragment = "solid_fragment";
inline constexpr std::string_view kGlyphVertex = "glyph_vertex";
inline constexpr std::string_view kGlyphFragment = "glyph_fragment";
inline constexpr std::string_view kColorGlyphFragment = "color_glyph_fragment";
inline constexpr std::string_view kGradientVertex = "gradient_vertex";
inline constexpr std::string_view kGradientFragment = "gradient_fragment";

// The program's GLSL source, compiled once by the renderer.
std::string_view shader_source();

}  // namespace kestrum_render
