// 2-D textures: region upload and read-back, rows top-down.
#include "core/log.hpp"
#include "platform/gl/gl_state.hpp"
#include "platform/gpu.hpp"

namespace kestrum::platform {

using detail::kLogTarget;

Texture::Texture(std::shared_ptr<detail::GlState> gl, unsigned name, PixelFormat format,
                 std::uint32_t width, std::uint32_t height)
    : gl_(std::move(gl)), name_(name), format_(format), width_(width), height_(height) {}

Texture::~Texture() {
    glDeleteTextures(1, &name_);
}

bool Texture::region_fits(Region r, std::size_t bytes_per_row, const char* what) const {
    const std::uint64_t bpp = bytes_per_pixel(format_);
    const bool inside = r.width > 0 && r.height > 0 && std::uint64_t{r.x} + r.width <= width_ &&
                        std::uint64_t{r.y} + r.height <= height_;
    const bool pitch_ok = bytes_per_row >= r.width * bpp && bytes_per_row % bpp == 0;
    if (!inside || !pitch_ok) {
        KLOG_ERROR(kLogTarget,
                   "{}: region ({}, {}, {}x{}) with {} bytes per row does not fit {}x{}", what, r.x,
                   r.y, r.width, r.height, bytes_per_row, width_, height_);
        return false;
    }
    return true;
}

void Texture::replace_region(Region r, const void* bytes, std::size_t bytes_per_row) {
    if (bytes == nullptr || !region_fits(r, bytes_per_row, "replace_region")) return;
    detail::GlFormat f{};
    detail::gl_format(format_, f);
    glBindTexture(GL_TEXTURE_2D, name_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH,
                  static_cast<GLint>(bytes_per_row / bytes_per_pixel(format_)));
    glTexSubImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(r.x), static_cast<GLint>(r.y),
                    static_cast<GLsizei>(r.width), static_cast<GLsizei>(r.height), f.format, f.type,
                    bytes);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    detail::gl_ok("replace_region");
}

void Texture::get_bytes(void* out, std::size_t bytes_per_row, Region r) const {
    if (out == nullptr || !region_fits(r, bytes_per_row, "get_bytes")) return;
    if (!detail::attach_framebuffer(*gl_, *this, GL_READ_FRAMEBUFFER)) return;
    detail::GlFormat f{};
    detail::gl_format(format_, f);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(bytes_per_row / bytes_per_pixel(format_)));
    // Window row 0 is texture row 0, the top: rows come back top-down.
    glReadPixels(static_cast<GLint>(r.x), static_cast<GLint>(r.y), static_cast<GLsizei>(r.width),
                 static_cast<GLsizei>(r.height), f.format, f.type, out);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    detail::gl_ok("get_bytes");
}

}  // namespace kestrum::platform
