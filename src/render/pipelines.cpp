#include "render/pipelines.hpp"

namespace kestrum_render {

using kestrum::platform::BlendFactor;
using kestrum::platform::BlendOperation;

kestrum::platform::ColorAttachmentDescriptor blended_attachment(
    kestrum::platform::PixelFormat format, AlphaMode mode) {
    kestrum::platform::ColorAttachmentDescriptor a;
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

kestrum::core::Result<std::shared_ptr<kestrum::platform::RenderPipelineState>> build_pipeline(
    kestrum::platform::Device& device, std::shared_ptr<const kestrum::platform::Function> vertex,
    std::shared_ptr<const kestrum::platform::Function> fragment,
    kestrum::platform::PixelFormat format, AlphaMode mode) {
    kestrum::platform::RenderPipelineDescriptor d;
    d.vertex_function = std::move(vertex);
    d.fragment_function = std::move(fragment);
    d.color_attachment = blended_attachment(format, mode);
    return device.new_render_pipeline_state(d);
}

kestrum::core::Result<std::shared_ptr<kestrum::platform::RenderPipelineState>>
build_replace_pipeline(kestrum::platform::Device& device,
                       std::shared_ptr<const kestrum::platform::Function> vertex,
                       std::shared_ptr<const kestrum::platform::Function> fragment,
                       kestrum::platform::PixelFormat format) {
    kestrum::platform::RenderPipelineDescriptor d;
    d.vertex_function = std::move(vertex);
    d.fragment_function = std::move(fragment);
    d.color_attachment.pixel_format = format;
    d.color_attachment.blending_enabled = false;
    return device.new_render_pipeline_state(d);
}

}  // namespace kestrum_render
