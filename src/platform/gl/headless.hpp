// A GPU device without any display: an OpenGL 3.3 core context on Mesa's surfaceless
// EGL platform. Tests and benchmarks draw with it into off-screen textures.
#pragma once

#include <memory>

#include "core/error.hpp"
#include "platform/gpu.hpp"

namespace kestrum::platform::gl {

// The context is made current on the calling thread, which must be the only thread
// that uses the device. One headless device per thread: a second one takes the
// context over.
core::Result<std::shared_ptr<Device>> create_headless_device();

}  // namespace kestrum::platform::gl
