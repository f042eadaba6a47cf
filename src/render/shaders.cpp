// The draw program's source. Instances are read from the vertex buffer as float4
// texels: three per record, in the order of the wire formats.
#include "render/shaders.hpp"

namespace kestrum_render {

namespace {

constexpr std::string_view kSource = R"glsl(
#pragma entry vertex solid_vertex
#pragma entry fragment solid_fragment
#pragma entry vertex glyph_vertex
#pragma entry fragment glyph_fragment
#pragma entry fragment color_glyph_fragment
#pragma entry vertex gradient_vertex
#pragma entry fragment gradient_fragment

// Uniforms: drawable size and the offset added to solids and glyphs.
layout(std140) uniform VertexBytes0 {
    vec2 viewport;
    vec2 origin;
};

#ifdef KESTRUM_VERTEX
#define VARYING out
#else
#define VARYING in
#endif

// SolidVaryings. Per-instance values are flat: a sharp fill must write its colour exactly.
flat VARYING vec4 solid_color;
VARYING vec2 solid_local;  // pixels from the rect's top-left
flat VARYING vec2 solid_half_size;
flat VARYING float solid_radius;

// GlyphVaryings
VARYING vec2 glyph_uv;
flat VARYING vec4 glyph_color;

// GradientVaryings
VARYING vec2 gradient_uv;  // 0..1 from the top-left
flat VARYING float gradient_alpha;

#ifdef KESTRUM_VERTEX

uniform samplerBuffer vertex_buffer1;
uniform int vertex_buffer1_base;

// Two triangles over the unit square, indexed by vertex id.
const vec2 kQuad[6] = vec2[6](vec2(0.0, 0.0), vec2(1.0, 0.0), vec2(0.0, 1.0),
                              vec2(0.0, 1.0), vec2(1.0, 0.0), vec2(1.0, 1.0));

// Field `k` (0..2) of this instance's 48-byte record.
vec4 instance_field(int k) {
    return texelFetch(vertex_buffer1, vertex_buffer1_base + gl_InstanceID * 3 + k);
}

// Pixels (origin top-left, y down) to clip space (origin at the centre, y up).
vec4 pixel_to_clip(vec2 px) {
    vec2 n = px / viewport;
    return vec4(n.x * 2.0 - 1.0, 1.0 - n.y * 2.0, 0.0, 1.0);
}

void solid_vertex() {
    vec4 rect = instance_field(0);
    vec2 corner = kQuad[gl_VertexID];
    vec2 local = corner * rect.zw;
    gl_Position = pixel_to_clip(rect.xy + local + origin);
    solid_color = instance_field(1);
    solid_local = local;
    solid_half_size = rect.zw * 0.5;
    solid_radius = instance_field(2).x;
}

void glyph_vertex() {
    vec4 rect = instance_field(0);
    vec4 uv = instance_field(1);
    vec2 corner = kQuad[gl_VertexID];
    gl_Position = pixel_to_clip(rect.xy + corner * rect.zw + origin);
    glyph_uv = uv.xy + corner * (uv.zw - uv.xy);
    glyph_color = instance_field(2);
}

// The wallpaper spans the drawable: no origin.
void gradient_vertex() {
    vec4 rect = instance_field(0);
    vec2 px = rect.xy + kQuad[gl_VertexID] * rect.zw;
    gl_Position = pixel_to_clip(px);
    gradient_uv = px / viewport;
    gradient_alpha = instance_field(1).a;
}

#endif

#ifdef KESTRUM_FRAGMENT

uniform sampler2D fragment_texture0;
out vec4 fragment_color;

void solid_fragment() {
    // Sharp fills (cell backgrounds, cursors, strokes) skip the distance work.
    if (solid_radius <= 0.0) {
        fragment_color = solid_color;
        return;
    }
    // Rounded-rectangle signed distance: negative inside, 0 on the edge.
    vec2 p = solid_local - solid_half_size;
    vec2 q = abs(p) - (solid_half_size - solid_radius);
    float dist = length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - solid_radius;
    // Anti-alias over about one pixel.
    float aa = max(fwidth(dist), 0.0001);
    float coverage = clamp(0.5 - dist / aa, 0.0, 1.0);
    fragment_color = vec4(solid_color.rgb, solid_color.a * coverage);
}

void glyph_fragment() {
    float coverage = texture(fragment_texture0, glyph_uv).r;
    fragment_color = vec4(glyph_color.rgb, glyph_color.a * coverage);
}

// The colour atlas holds premultiplied RGBA with the glyph's own colours.
void color_glyph_fragment() {
    fragment_color = texture(fragment_texture0, glyph_uv);
}

// Interleaved gradient noise: a per-pixel hash in [0, 1).
float ign(vec2 p) {
    return fract(52.9829189 * fract(dot(p, vec2(0.06711056, 0.00583715))));
}

// Vignette with a violet bloom from below the bottom-left corner and a red one from
// above the top-right, premultiplied by the glass alpha and dithered against banding.
void gradient_fragment() {
    const vec3 vignette_inner = vec3(17.0, 13.0, 23.0) / 255.0;
    const vec3 vignette_outer = vec3(4.0, 3.0, 6.0) / 255.0;
    const vec3 violet = vec3(48.0, 50.0, 96.0) / 255.0;
    const vec3 red = vec3(144.0, 16.0, 26.0) / 255.0;
    vec2 uv = gradient_uv;

    float v = clamp(length((uv - vec2(0.50, 0.50)) / vec2(0.70, 0.70)), 0.0, 1.0);
    vec3 col = mix(vignette_inner, vignette_outer, v);
    float d = length((uv - vec2(0.08, 1.08)) / vec2(0.90, 0.80));
    col = mix(col, violet, 0.60 * (1.0 - smoothstep(0.0, 0.60, d)));
    d = length((uv - vec2(0.82, -0.08)) / vec2(1.20, 0.90));
    col = mix(col, red, 0.55 * (1.0 - smoothstep(0.0, 0.55, d)));

    vec3 c = col * gradient_alpha;
    vec2 p = gl_FragCoord.xy;  // pixel centre, top-left origin
    float tri = ign(p) + ign(p + vec2(13.0, 41.0)) - 1.0;
    c += vec3(tri / 255.0);
    fragment_color = vec4(c, gradient_alpha);
}

#endif
)glsl";

}  // namespace

std::string_view shader_source() {
    return kSource;
}

}  // namespace kestrum_render
