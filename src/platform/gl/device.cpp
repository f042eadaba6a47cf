// The GL device: context bookkeeping and the factories for buffers, textures and samplers.
#include "core/log.hpp"
#include "platform/gl/gl_state.hpp"
#include "platform/gpu.hpp"

namespace kestrum::platform {

using detail::GlState;
using detail::kLogTarget;

namespace detail {

GlState::~GlState() {
    if (make_current) make_current();
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &buffer1_texture);
    glDeleteBuffers(1, &vertex_bytes_buffer);
    glDeleteVertexArrays(1, &vertex_array);
}

bool gl_format(PixelFormat format, GlFormat& out) {
    switch (format) {
        case PixelFormat::R8Unorm:
            out = {GL_R8, GL_RED, GL_UNSIGNED_BYTE};
            return true;
        case PixelFormat::RGBA8Unorm:
            out = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE};
            return true;
        case PixelFormat::BGRA8Unorm:
            out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE};
            return true;
        case PixelFormat::Invalid:
            break;
    }
    return false;
}

bool gl_blend_factor(BlendFactor f, GLenum& out) {
    switch (f) {
        case BlendFactor::Zero:
            out = GL_ZERO;
            return true;
        case BlendFactor::One:
            out = GL_ONE;
            return true;
        case BlendFactor::SourceColor:
            out = GL_SRC_COLOR;
            return true;
        case BlendFactor::OneMinusSourceColor:
            out = GL_ONE_MINUS_SRC_COLOR;
            return true;
        case BlendFactor::SourceAlpha:
            out = GL_SRC_ALPHA;
            return true;
        case BlendFactor::OneMinusSourceAlpha:
            out = GL_ONE_MINUS_SRC_ALPHA;
            return true;
        case BlendFactor::DestinationColor:
            out = GL_DST_COLOR;
            return true;
        case BlendFactor::OneMinusDestinationColor:
            out = GL_ONE_MINUS_DST_COLOR;
            return true;
        case BlendFactor::DestinationAlpha:
            out = GL_DST_ALPHA;
            return true;
        case BlendFactor::OneMinusDestinationAlpha:
            out = GL_ONE_MINUS_DST_ALPHA;
            return true;
    }
    return false;
}

bool gl_blend_operation(BlendOperation op, GLenum& out) {
    switch (op) {
        case BlendOperation::Add:
            out = GL_FUNC_ADD;
            return true;
        case BlendOperation::Subtract:
            out = GL_FUNC_SUBTRACT;
            return true;
        case BlendOperation::ReverseSubtract:
            out = GL_FUNC_REVERSE_SUBTRACT;
            return true;
        case BlendOperation::Min:
            out = GL_MIN;
            return true;
        case BlendOperation::Max:
            out = GL_MAX;
            return true;
    }
    return false;
}

bool gl_ok(const char* what) {
    bool ok = true;
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError()) {
        KLOG_ERROR(kLogTarget, "GL error 0x{:04x} in {}", e, what);
        ok = false;
    }
    return ok;
}

bool attach_framebuffer(GlState& gl, const Texture& texture, GLenum target) {
    glBindFramebuffer(target, gl.framebuffer);
    glFramebufferTexture2D(target, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture.native_handle(), 0);
    const GLenum status = glCheckFramebufferStatus(target);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        KLOG_ERROR(kLogTarget, "texture {}x{} cannot be attached to a framebuffer (0x{:04x})",
                   texture.width(), texture.height(), status);
        return false;
    }
    return true;
}

}  // namespace detail

std::uint32_t bytes_per_pixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::R8Unorm:
            return 1;
        case PixelFormat::RGBA8Unorm:
        case PixelFormat::BGRA8Unorm:
            return 4;
        case PixelFormat::Invalid:
            break;
    }
    return 0;
}

core::Result<std::shared_ptr<Device>> Device::from_current_context(
    std::shared_ptr<void> owner, std::function<void()> make_current) {
    if (make_current) make_current();
    const int version = epoxy_gl_version();
    if (version < 33 || epoxy_is_desktop_gl() == 0) {
        return core::fail(fmt::format("OpenGL 3.3 or later is needed, the context offers {}.{}",
                                      version / 10, version % 10));
    }
    auto gl = std::make_shared<GlState>();
    gl->owner = std::move(owner);
    gl->make_current = std::move(make_current);
    if (const auto* name = glGetString(GL_RENDERER)) {
        gl->renderer = reinterpret_cast<const char*>(name);
    }
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &gl->max_texture_size);
    glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &gl->max_texture_buffer_texels);
    glGenVertexArrays(1, &gl->vertex_array);
    glGenBuffers(1, &gl->vertex_bytes_buffer);
    glGenTextures(1, &gl->buffer1_texture);
    glGenFramebuffers(1, &gl->framebuffer);
    if (!detail::gl_ok("device setup")) return core::fail("failed to set up the GL device");
    KLOG_DEBUG(kLogTarget, "GL device '{}', GL {}.{}, max texture {}, max buffer texels {}",
               gl->renderer, version / 10, version % 10, gl->max_texture_size,
               gl->max_texture_buffer_texels);
    return std::shared_ptr<Device>(new Device(std::move(gl)));
}

const std::string& Device::name() const {
    return gl_->renderer;
}

std::uint32_t Device::max_texture_side() const {
    return static_cast<std::uint32_t>(gl_->max_texture_size);
}

void Device::make_current() const {
    if (gl_->make_current) gl_->make_current();
}

std::shared_ptr<CommandQueue> Device::new_command_queue() {
    return std::shared_ptr<CommandQueue>(new CommandQueue(gl_));
}

std::shared_ptr<Texture> Device::new_texture(const TextureDescriptor& d) {
    detail::GlFormat f{};
    if (!detail::gl_format(d.pixel_format, f)) {
        KLOG_ERROR(kLogTarget, "texture with unsupported pixel format {}",
                   static_cast<std::uint32_t>(d.pixel_format));
        return nullptr;
    }
    const auto max = static_cast<std::uint32_t>(gl_->max_texture_size);
    if (d.width == 0 || d.height == 0 || d.width > max || d.height > max) {
        KLOG_ERROR(kLogTarget, "texture size {}x{} outside 1..{}", d.width, d.height, max);
        return nullptr;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(f.internal_format),
                 static_cast<GLsizei>(d.width), static_cast<GLsizei>(d.height), 0, f.format, f.type,
                 nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (!detail::gl_ok("new_texture")) {
        glDeleteTextures(1, &name);
        return nullptr;
    }
    return std::shared_ptr<Texture>(new Texture(gl_, name, d.pixel_format, d.width, d.height));
}

std::shared_ptr<Buffer> Device::new_buffer_with_bytes(const void* bytes, std::size_t length) {
    if (length == 0 || bytes == nullptr) return nullptr;
    GLuint name = 0;
    glGenBuffers(1, &name);
    // Buffers are written once and drawn from within the frame.
    glBindBuffer(GL_TEXTURE_BUFFER, name);
    glBufferData(GL_TEXTURE_BUFFER, static_cast<GLsizeiptr>(length), bytes, GL_STREAM_DRAW);
    glBindBuffer(GL_TEXTURE_BUFFER, 0);
    if (!detail::gl_ok("new_buffer_with_bytes")) {
        glDeleteBuffers(1, &name);
        return nullptr;
    }
    return std::shared_ptr<Buffer>(new Buffer(gl_, name, length));
}

std::shared_ptr<SamplerState> Device::new_sampler_state(const SamplerDescriptor& d) {
    auto filter = [](SamplerMinMagFilter f) {
        return f == SamplerMinMagFilter::Linear ? GL_LINEAR : GL_NEAREST;
    };
    GLuint name = 0;
    glGenSamplers(1, &name);
    glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, filter(d.min_filter));
    glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER, filter(d.mag_filter));
    glSamplerParameteri(name, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(name, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (!detail::gl_ok("new_sampler_state")) {
        glDeleteSamplers(1, &name);
        return nullptr;
    }
    return std::shared_ptr<SamplerState>(new SamplerState(gl_, name));
}

Buffer::Buffer(std::shared_ptr<GlState> gl, unsigned name, std::size_t length)
    : gl_(std::move(gl)), name_(name), length_(length) {}

Buffer::~Buffer() {
    glDeleteBuffers(1, &name_);
}

SamplerState::SamplerState(std::shared_ptr<GlState> gl, unsigned name)
    : gl_(std::move(gl)), name_(name) {}

SamplerState::~SamplerState() {
    glDeleteSamplers(1, &name_);
}

}  // namespace kestrum::platform
