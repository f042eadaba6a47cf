// The two kinds of pipeline the renderer builds: blended (straight or premultiplied
// alpha) and replacing.
#pragma once

#include <memory>

#include "core/error.hpp"
#include "platform/gpu.hpp"

namespace kestrum_render {

enum class AlphaMode { Straight, Premultiplied };

// Colour attachment 0 for `format`: blending on, RGB sourced by alpha (straight) or
// by one (premultiplied), destination and alpha as "over".
kestrum::platform::ColorAttachmentDescriptor blended_attachment(
    kestrum::platform::PixelFormat format, AlphaMode mode);

kestrum::core::Result<std::shared_ptr<kestrum::platform::RenderPipelineState>> build_pipeline(
    kestrum::platform::Device& device, std::shared_ptr<const kestrum::platform::Function> vertex,
    std::shared_ptr<const kestrum::platform::Function> fragment,
    kestrum::platform::PixelFormat format, AlphaMode mode);

// Blending off: the fragment output overwrites the target.
kestrum::core::Result<std::shared_ptr<kestrum::platform::RenderPipelineState>>
build_replace_pipeline(kestrum::platform::Device& device,
                       std::shared_ptr<const kestrum::platform::Function> vertex,
                       std::shared_ptr<const kestrum::platform::Function> fragment,
                       kestrum::platform::PixelFormat format);

}  // namespace kestrum_render
