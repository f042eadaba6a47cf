// The text interface of the platform layer: font faces by name, their metrics and
// glyphs, fallback faces, glyph drawing into bitmaps, shaping with ligatures and
// process-local font registration. Sizes are pixels; glyph space is y-up with the
// origin on the baseline. Implemented in platform/ft on fontconfig, FreeType and
// HarfBuzz. Calls may come from any thread but not from several at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::platform {

// Symbolic trait bits, with the values the font code computes with.
inline constexpr std::uint32_t kTraitItalic = 1;
inline constexpr std::uint32_t kTraitBold = 2;
inline constexpr std::uint32_t kTraitColorGlyphs = 1u << 13;

// A rectangle in glyph space (y-up): (x, y) is the bottom-left corner.
struct GlyphRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const GlyphRect&, const GlyphRect&) = default;
};

// One run of shaped glyphs: glyph numbers and the x of each glyph's origin in
// pixels from the start of the line, in visual order.
struct GlyphRun {
    std::vector<std::uint16_t> glyphs;
    std::vector<double> x;
};

enum class BitmapFormat {
    gray,                // 1 byte per pixel, no alpha; glyphs are drawn in white
    rgba_premultiplied,  // 4 bytes per pixel, R G B A, colour premultiplied by alpha
};

// A zero-filled drawing target. Rows are stored top row first and padded to a
// multiple of 4 bytes, so `bytes_per_row` may exceed the pixel width.
class GlyphBitmap {
  public:
    GlyphBitmap(BitmapFormat format, std::uint32_t width, std::uint32_t height);

    BitmapFormat format() const { return format_; }
    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    std::size_t bytes_per_row() const { return bytes_per_row_; }
    std::size_t bytes_per_pixel() const { return format_ == BitmapFormat::gray ? 1 : 4; }
    std::span<const std::uint8_t> row(std::uint32_t y) const {
        return {data_.data() + y * bytes_per_row_, width_ * bytes_per_pixel()};
    }
    std::span<std::uint8_t> row(std::uint32_t y) {
        return {data_.data() + y * bytes_per_row_, width_ * bytes_per_pixel()};
    }

  private:
    BitmapFormat format_;
    std::uint32_t width_;
    std::uint32_t height_;
    std::size_t bytes_per_row_;
    std::vector<std::uint8_t> data_;
};

namespace ft {
struct FaceSource;
}

// A font face at a pixel size: a cheap value. Faces compare equal when they are
// the same face of the same file at the same size.
class FontFace {
  public:
    // The largest size a face is made at; glyphs beyond it would not fit any texture.
    static constexpr double kMaxSize = 4096;

    // The face best matching `name`, which may be a PostScript name, a full name or
    // a family name (the family's regular face). Like the system font lookup it
    // stands in for, an unknown name yields some other installed face: callers
    // check the names. Empty for an empty name, a size that is not in
    // (0, kMaxSize] or a face that cannot be loaded.
    static std::optional<FontFace> create_with_name(std::string_view name, double size);

    // True when an installed face has `name` as its PostScript, full or family
    // name, or `name` is a generic family the font configuration defines
    // ("monospace", "sans-serif", ...). Letter case and spaces are not significant.
    static bool name_has_installed_match(std::string_view name);

    std::string family_name() const;
    std::string postscript_name() const;
    std::string full_name() const;
    double size() const { return size_; }

    // Vertical metrics in pixels; descent is positive below the baseline, the
    // underline position negative below it.
    double ascent() const;
    double descent() const;
    double leading() const;
    double underline_position() const;
    double underline_thickness() const;
    double x_height() const;

    // Maps UTF-16 code units to glyphs, one slot per unit: a surrogate pair's glyph
    // goes in its first slot and 0 in the second. Returns false when any character
    // has no glyph (its slot is 0) or the spans differ in length.
    bool glyphs_for_characters(std::u16string_view characters,
                               std::span<std::uint16_t> glyphs) const;
    // Horizontal advances in pixels, one per glyph; returns their sum.
    double advances_for_glyphs(std::span<const std::uint16_t> glyphs,
                               std::span<double> advances) const;
    // The glyph's ink bounds; an empty rect for a glyph with no ink or an unknown one.
    GlyphRect bounding_rect(std::uint16_t glyph) const;

    std::uint32_t symbolic_traits() const;
    // The face of the same family and width whose bold and italic traits are
    // (traits & ~mask) | (value & mask). No face is synthesised: empty when the
    // family has no such face.
    std::optional<FontFace> copy_with_symbolic_traits(std::uint32_t value,
                                                      std::uint32_t mask) const;
    // The face the font configuration prefers for drawing `text` in place of this
    // one: this face when it covers the text itself or when no face covers it all.
    // Answers are cached per face and text.
    FontFace create_for_string(std::u16string_view text) const;

    // Draws `glyph` with its origin at integer (x, y) of `target`, measured y-up from
    // the bitmap's bottom-left corner, over what the bitmap holds. Colour glyphs
    // are scaled to this face's size. On a gray bitmap glyphs draw in white, on an
    // RGBA bitmap outline glyphs draw in black as coverage.
    void draw_glyph(std::uint16_t glyph, GlyphBitmap& target, int x, int y) const;

    // Shapes UTF-8 `text` with every ligature feature on. Invalid UTF-8 is shaped as
    // replacement characters.
    std::vector<GlyphRun> shape_with_ligatures(std::string_view text) const;

    friend bool operator==(const FontFace& a, const FontFace& b) {
        return a.source_ == b.source_ && a.size_ == b.size_;
    }

    // Made by platform/ft from a loaded face.
    FontFace(ft::FaceSource* source, double size) : source_(source), size_(size) {}
    ft::FaceSource* source() const { return source_; }

  private:
    ft::FaceSource* source_;  // owned by the process-wide face registry, never freed early
    double size_;
};

// Makes the fonts in the file at `path` available to this process only. False
// when the file holds no font the font configuration accepts.
bool register_font_file(const std::string& path);

}  // namespace kestrum::platform
