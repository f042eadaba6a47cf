// State shared by every GL object of one device: the context's keeper and the few
// GL objects the encoders reuse for each draw.
#pragma once

#include <epoxy/gl.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/gpu.hpp"

namespace kestrum::platform::detail {

inline constexpr const char* kLogTarget = "kestrum_platform::gpu";

// Texture units: fragment texture 0 (with sampler 0) and the vertex buffer at index 1,
// which shaders read as a buffer texture of float4 texels.
inline constexpr GLuint kFragmentTextureUnit = 0;
inline constexpr GLuint kBuffer1Unit = 1;
// Metal's limit for inline vertex bytes.
inline constexpr std::size_t kMaxVertexBytes = 4096;

struct GlState {
    ~GlState();

    std::shared_ptr<void> owner;
    std::function<void()> make_current;
    std::string renderer;
    GLint max_texture_size = 0;
    GLint max_texture_buffer_texels = 0;
    // An empty vertex array: core profiles draw nothing without one bound.
    GLuint vertex_array = 0;
    GLuint vertex_bytes_buffer = 0;
    GLuint buffer1_texture = 0;
    // Render passes and read-backs attach their texture here.
    GLuint framebuffer = 0;
};

struct GlFormat {
    GLenum internal_format;
    GLenum format;
    GLenum type;
};

// GL's spelling of a pixel format; false for Invalid or an unknown value.
bool gl_format(PixelFormat format, GlFormat& out);

// GL's spelling of a blend factor or operation; false for a value outside Metal's set.
bool gl_blend_factor(BlendFactor factor, GLenum& out);
bool gl_blend_operation(BlendOperation operation, GLenum& out);

// Drains GL's error flags; logs each with `what` and returns false if there were any.
bool gl_ok(const char* what);

// Binds the shared framebuffer with `texture` as colour attachment 0; false (logged)
// when GL cannot render to or read from it.
bool attach_framebuffer(GlState& gl, const Texture& texture, GLenum target);

}  // namespace kestrum::platform::detail
