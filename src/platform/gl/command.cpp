// Command queues, command buffers and render encoders. GL executes as commands are
// issued, so a command buffer only orders presents after its draws.
#include <algorithm>
#include <cstring>

#include "core/log.hpp"
#include "platform/gl/gl_state.hpp"
#include "platform/gpu.hpp"

namespace kestrum::platform {

using detail::kLogTarget;

std::shared_ptr<CommandBuffer> CommandQueue::new_command_buffer() {
    return std::shared_ptr<CommandBuffer>(new CommandBuffer(gl_));
}

std::shared_ptr<RenderCommandEncoder> CommandBuffer::new_render_command_encoder(
    const RenderPassDescriptor& pass) {
    const auto& attachment = pass.color_attachment;
    if (committed_) {
        KLOG_ERROR(kLogTarget, "render encoder requested from a committed command buffer");
        return nullptr;
    }
    if (!attachment.texture) {
        KLOG_ERROR(kLogTarget, "render pass without a colour texture");
        return nullptr;
    }
    if (!detail::attach_framebuffer(*gl_, *attachment.texture, GL_DRAW_FRAMEBUFFER)) {
        return nullptr;
    }
    if (attachment.load_action == LoadAction::Clear) {
        const auto& c = attachment.clear_color;
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(static_cast<GLfloat>(c.red), static_cast<GLfloat>(c.green),
                     static_cast<GLfloat>(c.blue), static_cast<GLfloat>(c.alpha));
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    if (!detail::gl_ok("new_render_command_encoder")) return nullptr;
    return std::shared_ptr<RenderCommandEncoder>(new RenderCommandEncoder(gl_, attachment.texture));
}

void CommandBuffer::present_drawable(std::shared_ptr<Drawable> drawable) {
    if (drawable) to_present_.push_back(std::move(drawable));
}

void CommandBuffer::commit() {
    if (committed_) {
        KLOG_ERROR(kLogTarget, "command buffer committed twice");
        return;
    }
    committed_ = true;
    glFlush();
    for (auto& d : to_present_)
        d->present();
    to_present_.clear();
}

void CommandBuffer::wait_until_scheduled() {
    glFlush();
}

void CommandBuffer::wait_until_completed() {
    glFinish();
}

RenderCommandEncoder::RenderCommandEncoder(std::shared_ptr<detail::GlState> gl,
                                           std::shared_ptr<Texture> target)
    : gl_(std::move(gl)),
      target_(std::move(target)),
      scissor_{0, 0, target_->width(), target_->height()} {}

RenderCommandEncoder::~RenderCommandEncoder() {
    if (!ended_) KLOG_WARN(kLogTarget, "render encoder dropped without end_encoding");
}

bool RenderCommandEncoder::usable(const char* what) const {
    if (ended_) {
        KLOG_ERROR(kLogTarget, "{} after end_encoding", what);
        return false;
    }
    return true;
}

void RenderCommandEncoder::set_render_pipeline_state(
    std::shared_ptr<const RenderPipelineState> pipeline) {
    if (usable("set_render_pipeline_state")) pipeline_ = std::move(pipeline);
}

void RenderCommandEncoder::set_vertex_bytes(const void* bytes, std::size_t length,
                                            std::uint32_t index) {
    if (!usable("set_vertex_bytes")) return;
    if (index != 0 || length == 0 || length > detail::kMaxVertexBytes || bytes == nullptr) {
        KLOG_ERROR(kLogTarget, "set_vertex_bytes: {} bytes at index {} refused", length, index);
        return;
    }
    vertex_bytes_.resize(length);
    std::memcpy(vertex_bytes_.data(), bytes, length);
}

void RenderCommandEncoder::set_vertex_buffer(std::shared_ptr<const Buffer> buffer,
                                             std::size_t offset, std::uint32_t index) {
    if (!usable("set_vertex_buffer")) return;
    if (index != 1 || offset % 16 != 0 || (buffer && offset >= buffer->length())) {
        KLOG_ERROR(kLogTarget, "set_vertex_buffer: offset {} at index {} refused", offset, index);
        return;
    }
    buffer1_ = std::move(buffer);
    buffer1_offset_ = offset;
}

void RenderCommandEncoder::set_fragment_texture(std::shared_ptr<const Texture> texture,
                                                std::uint32_t index) {
    if (!usable("set_fragment_texture")) return;
    if (index != 0) {
        KLOG_ERROR(kLogTarget, "set_fragment_texture: index {} refused", index);
        return;
    }
    texture0_ = std::move(texture);
}

void RenderCommandEncoder::set_fragment_sampler_state(std::shared_ptr<const SamplerState> sampler,
                                                      std::uint32_t index) {
    if (!usable("set_fragment_sampler_state")) return;
    if (index != 0) {
        KLOG_ERROR(kLogTarget, "set_fragment_sampler_state: index {} refused", index);
        return;
    }
    sampler0_ = std::move(sampler);
}

void RenderCommandEncoder::set_scissor_rect(ScissorRect r) {
    if (!usable("set_scissor_rect")) return;
    const std::uint32_t x = std::min(r.x, target_->width());
    const std::uint32_t y = std::min(r.y, target_->height());
    scissor_ = {x, y, std::min(r.width, target_->width() - x),
                std::min(r.height, target_->height() - y)};
}

void RenderCommandEncoder::draw_primitives(PrimitiveType type, std::uint32_t vertex_start,
                                           std::uint32_t vertex_count,
                                           std::uint32_t instance_count) {
    if (!usable("draw_primitives")) return;
    if (!pipeline_) {
        KLOG_ERROR(kLogTarget, "draw_primitives without a pipeline");
        return;
    }
    if (pipeline_->pixel_format() != target_->pixel_format()) {
        KLOG_ERROR(kLogTarget, "pipeline format {} drawn into a texture of format {}",
                   static_cast<std::uint32_t>(pipeline_->pixel_format()),
                   static_cast<std::uint32_t>(target_->pixel_format()));
        return;
    }
    GLenum mode = GL_TRIANGLES;
    switch (type) {
        case PrimitiveType::Point:
            mode = GL_POINTS;
            break;
        case PrimitiveType::Line:
            mode = GL_LINES;
            break;
        case PrimitiveType::LineStrip:
            mode = GL_LINE_STRIP;
            break;
        case PrimitiveType::Triangle:
            mode = GL_TRIANGLES;
            break;
        default:
            KLOG_ERROR(kLogTarget, "unsupported primitive type {}",
                       static_cast<std::uint32_t>(type));
            return;
    }
    if (vertex_count == 0 || instance_count == 0) return;
    if (scissor_.width == 0 || scissor_.height == 0) return;
    if (!detail::attach_framebuffer(*gl_, *target_, GL_DRAW_FRAMEBUFFER)) return;

    glViewport(0, 0, static_cast<GLsizei>(target_->width()),
               static_cast<GLsizei>(target_->height()));
    // Window row 0 is the top row here, so a top-left scissor needs no flip.
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(scissor_.x), static_cast<GLint>(scissor_.y),
              static_cast<GLsizei>(scissor_.width), static_cast<GLsizei>(scissor_.height));
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FRAMEBUFFER_SRGB);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    const auto& a = pipeline_->attachment_;
    if (a.blending_enabled) {
        // Every value was validated when the pipeline was made.
        GLenum src_rgb = 0, dst_rgb = 0, src_a = 0, dst_a = 0, op_rgb = 0, op_a = 0;
        detail::gl_blend_factor(a.source_rgb_blend_factor, src_rgb);
        detail::gl_blend_factor(a.destination_rgb_blend_factor, dst_rgb);
        detail::gl_blend_factor(a.source_alpha_blend_factor, src_a);
        detail::gl_blend_factor(a.destination_alpha_blend_factor, dst_a);
        detail::gl_blend_operation(a.rgb_blend_operation, op_rgb);
        detail::gl_blend_operation(a.alpha_blend_operation, op_a);
        glEnable(GL_BLEND);
        glBlendFuncSeparate(src_rgb, dst_rgb, src_a, dst_a);
        glBlendEquationSeparate(op_rgb, op_a);
    } else {
        glDisable(GL_BLEND);
    }

    glUseProgram(pipeline_->program_);
    glBindVertexArray(gl_->vertex_array);
    if (!vertex_bytes_.empty()) {
        glBindBuffer(GL_UNIFORM_BUFFER, gl_->vertex_bytes_buffer);
        glBufferData(GL_UNIFORM_BUFFER, static_cast<GLsizeiptr>(vertex_bytes_.size()),
                     vertex_bytes_.data(), GL_STREAM_DRAW);
        glBindBufferBase(GL_UNIFORM_BUFFER, 0, gl_->vertex_bytes_buffer);
    }
    glActiveTexture(GL_TEXTURE0 + detail::kBuffer1Unit);
    glBindTexture(GL_TEXTURE_BUFFER, gl_->buffer1_texture);
    if (buffer1_) {
        const std::size_t texels = buffer1_->length() / 16;
        if (texels > static_cast<std::size_t>(gl_->max_texture_buffer_texels)) {
            KLOG_WARN(kLogTarget, "vertex buffer of {} float4s exceeds the device's {}", texels,
                      gl_->max_texture_buffer_texels);
        }
        glTexBuffer(GL_TEXTURE_BUFFER, GL_RGBA32F, buffer1_->native_handle());
        if (pipeline_->buffer1_base_location_ >= 0) {
            glUniform1i(pipeline_->buffer1_base_location_,
                        static_cast<GLint>(buffer1_offset_ / 16));
        }
    }
    glActiveTexture(GL_TEXTURE0 + detail::kFragmentTextureUnit);
    glBindTexture(GL_TEXTURE_2D, texture0_ ? texture0_->native_handle() : 0);
    glBindSampler(detail::kFragmentTextureUnit, sampler0_ ? sampler0_->native_handle() : 0);

    glDrawArraysInstanced(mode, static_cast<GLint>(vertex_start),
                          static_cast<GLsizei>(vertex_count), static_cast<GLsizei>(instance_count));

    glBindSampler(detail::kFragmentTextureUnit, 0);
    glBindVertexArray(0);
    glUseProgram(0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    detail::gl_ok("draw_primitives");
}

void RenderCommandEncoder::end_encoding() {
    if (!usable("end_encoding")) return;
    ended_ = true;
    pipeline_.reset();
    buffer1_.reset();
    texture0_.reset();
    sampler0_.reset();
}

}  // namespace kestrum::platform
