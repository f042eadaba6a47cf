#include "platform/gl/blit.hpp"

#include "core/log.hpp"
#include "platform/gl/gl_state.hpp"

namespace kestrum::platform::gl {

void blit_to_framebuffer(const Texture& texture, unsigned framebuffer, int width, int height) {
    if (width <= 0 || height <= 0) return;
    GLuint source = 0;
    glGenFramebuffers(1, &source);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           texture.native_handle(), 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    glDisable(GL_SCISSOR_TEST);
    // Texture row 0 is the top; the window's row 0 is its bottom.
    glBlitFramebuffer(0, 0, static_cast<GLint>(texture.width()),
                      static_cast<GLint>(texture.height()), 0, height, width, 0,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &source);
    detail::gl_ok("blit_to_framebuffer");
}

}  // namespace kestrum::platform::gl
