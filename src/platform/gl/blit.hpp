// Showing a presented drawable in a window's GL framebuffer, whose rows run
// bottom-up: the copy flips the texture's top-down rows.
#pragma once

#include "platform/gpu.hpp"

namespace kestrum::platform::gl {

// Copies `texture` over the whole `width` x `height` framebuffer (scaled with nearest
// filtering when the sizes differ), its top row at the framebuffer's top. Runs on the
// device's context, which must share objects with the framebuffer's.
void blit_to_framebuffer(const Texture& texture, unsigned framebuffer, int width, int height);

}  // namespace kestrum::platform::gl
