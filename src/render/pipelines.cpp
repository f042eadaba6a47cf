#include "render/pipelines.hpp"

namespace kestrum::render {

using platform::BlendFactor;
using platform::BlendOperation;

platform::ColorAttachmentDescriptor blended_attachment(platform::PixelFormat format,
                                                       AlphaMode mode) {
    platform::ColorAttachmentDescriptor a;
    a.pixel_format = format;
    a.blending_enabled = true;
    a.source_rgb_blend_factor =
        mode == AlphaMode::Straight ? BlendFactor::SourceAlpha : BlendFactor::One;
    a.destination_rgb_blend_factor = BlendFactor::OneMinusSourceAlpha;
    a.rgb_blend_operation = BlendOperation::Add;
    a.source_alpha_blend_factor = BlendFactor::One;
    a.destination_alpha_blend_factor = BlendFactor::OneMinusSourceAlpha;
    a.alpha_blend_operation = BlendOperation::Add;
    return a;
}

core::Result<std::shared_ptr<platform::RenderPipelineState>> build_pipeline(
    platform::Device& device, std::shared_ptr<const platform::Function> vertex,
    std::shared_ptr<const platform::Function> fragment, platform::PixelFormat format,
    AlphaMode mode) {
    platform::RenderPipelineDescriptor d;
    d.vertex_function = std::move(vertex);
    d.fragment_function = std::move(fragment);
    d.color_attachment = blended_attachment(format, mode);
    return device.new_render_pipeline_state(d);
}

core::Result<std::shared_ptr<platform::RenderPipelineState>> build_replace_pipeline(
    platform::Device& device, std::shared_ptr<const platform::Function> vertex,
    std::shared_ptr<const platform::Function> fragment, platform::PixelFormat format) {
    platform::RenderPipelineDescriptor d;
    d.vertex_function = std::move(vertex);
    d.fragment_function = std::move(fragment);
    d.color_attachment.pixel_format = format;
    d.color_attachment.blending_enabled = false;
    return device.new_render_pipeline_state(d);
}

}  // namespace kestrum::render
