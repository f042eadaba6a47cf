// FontFace names, metrics, character mapping and advances, answered by HarfBuzz in
// font units and scaled to the face's pixel size.
#include "platform/ft/face_source.hpp"
#include "platform/text.hpp"

namespace kestrum::platform {

namespace {
double scale(const ft::FaceSource& source, double size) {
    return size / source.units_per_em;
}
}  // namespace

std::string FontFace::family_name() const {
    return source_->family;
}
std::string FontFace::postscript_name() const {
    return source_->postscript_name;
}
std::string FontFace::full_name() const {
    return source_->full_name;
}

double FontFace::ascent() const {
    return source_->ascender * scale(*source_, size_);
}
double FontFace::descent() const {
    return -source_->descender * scale(*source_, size_);
}
double FontFace::leading() const {
    return source_->line_gap * scale(*source_, size_);
}
double FontFace::underline_position() const {
    return source_->underline_position * scale(*source_, size_);
}
double FontFace::underline_thickness() const {
    return source_->underline_thickness * scale(*source_, size_);
}
double FontFace::x_height() const {
    return source_->x_height * scale(*source_, size_);
}

std::uint32_t FontFace::symbolic_traits() const {
    return source_->traits;
}

bool FontFace::glyphs_for_characters(std::u16string_view characters,
                                     std::span<std::uint16_t> glyphs) const {
    if (characters.size() != glyphs.size()) return false;
    bool all = true;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        char32_t c = characters[i];
        bool pair = false;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < characters.size() &&
            characters[i + 1] >= 0xDC00 && characters[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (characters[i + 1] - 0xDC00);
            pair = true;
        }
        hb_codepoint_t glyph = 0;
        // Unpaired surrogates are not characters and map to nothing.
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        if (surrogate || !hb_font_get_nominal_glyph(source_->hb_font.get(), c, &glyph) ||
            glyph == 0 || glyph > 0xFFFF) {
            glyph = 0;
            all = false;
        }
        glyphs[i] = static_cast<std::uint16_t>(glyph);
        if (pair) glyphs[++i] = 0;
    }
    return all;
}

double FontFace::advances_for_glyphs(std::span<const std::uint16_t> glyphs,
                                     std::span<double> advances) const {
    const double s = scale(*source_, size_);
    double total = 0;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        double advance = hb_font_get_glyph_h_advance(source_->hb_font.get(), glyphs[i]) * s;
        if (i < advances.size()) advances[i] = advance;
        total += advance;
    }
    return total;
}

}  // namespace kestrum::platform
