// Headless EGL: the surfaceless platform needs neither a window nor a config.
#include "platform/gl/headless.hpp"

#include <epoxy/egl.h>

#include <mutex>

#include "core/log.hpp"

namespace kestrum::platform::gl {

namespace {

struct EglContext {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    ~EglContext() {
        if (eglGetCurrentContext() == context) {
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        eglDestroyContext(display, context);
    }
};

// The EGL display is shared by every context of the process and stays initialised
// until exit: terminating it would end other contexts and unload the driver, only for
// the next device to load it again.
core::Result<EGLDisplay> shared_display() {
    static std::mutex mutex;
    static EGLDisplay shared = EGL_NO_DISPLAY;
    std::lock_guard lock(mutex);
    if (shared != EGL_NO_DISPLAY) return shared;
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) {
        return core::fail("EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
    }
    EGLDisplay display =
        eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) return core::fail("no surfaceless EGL display");
    EGLint major = 0, minor = 0;
    if (eglInitialize(display, &major, &minor) != EGL_TRUE) {
        return core::fail(fmt::format("eglInitialize failed (0x{:04x})", eglGetError()));
    }
    shared = display;
    return shared;
}

}  // namespace

core::Result<std::shared_ptr<Device>> create_headless_device() {
    auto display = shared_display();
    if (!display) return std::unexpected(display.error());
    const EGLDisplay dpy = *display;
    if (!epoxy_has_egl_extension(dpy, "EGL_KHR_no_config_context") ||
        !epoxy_has_egl_extension(dpy, "EGL_KHR_surfaceless_context")) {
        return core::fail("EGL lacks config-less or surfaceless contexts");
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) return core::fail("EGL offers no OpenGL API");
    const EGLint attributes[] = {
        EGL_CONTEXT_MAJOR_VERSION,
        3,
        EGL_CONTEXT_MINOR_VERSION,
        3,
        EGL_CONTEXT_OPENGL_PROFILE_MASK,
        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
        EGL_NONE,
    };
    auto owner = std::make_shared<EglContext>();
    owner->display = dpy;
    owner->context = eglCreateContext(dpy, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (owner->context == EGL_NO_CONTEXT) {
        return core::fail(fmt::format("eglCreateContext failed (0x{:04x})", eglGetError()));
    }
    auto make_current = [dpy, ctx = owner->context] {
        if (eglGetCurrentContext() != ctx) eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx);
    };
    if (eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, owner->context) != EGL_TRUE) {
        return core::fail(fmt::format("eglMakeCurrent failed (0x{:04x})", eglGetError()));
    }
    auto device = Device::from_current_context(owner, make_current);
    if (!device) return std::unexpected(core::Error::wrap("headless GL device", device.error()));
    return device;
}

}  // namespace kestrum::platform::gl
