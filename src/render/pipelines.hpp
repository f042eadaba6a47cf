// The two kinds of pipeline the renderer builds: blended (straight or premultiplied
// alpha) and replacing.
#pragma once

#include <memory>

#include "core/error.hpp"
#include "platform/gpu.hpp"

namespace kestrum::render {

enum class AlphaMode { Straight, Premultiplied };

// Colour attachment 0 for `format`: blending on, RGB sourced by alpha (straight) or
// by one (premultiplied), destination and alpha as "over".
platform::ColorAttachmentDescriptor blended_attachment(platform::PixelFormat format,
                                                       AlphaMode mode);

core::Result<std::shared_ptr<platform::RenderPipelineState>> build_pipeline(
    platform::Device& device, std::shared_ptr<const platform::Function> vertex,
    std::shared_ptr<const platform::Function> fragment, platform::PixelFormat format,
    AlphaMode mode);

// Blending off: the fragment output overwrites the target.
core::Result<std::shared_ptr<platform::RenderPipelineState>> build_replace_pipeline(
    platform::Device& device, std::shared_ptr<const platform::Function> vertex,
    std::shared_ptr<const platform::Function> fragment, platform::PixelFormat format);

}  // namespace kestrum::render
