#include "render/fonts.hpp"

#include <cmath>
#include <utility>

#include "core/log.hpp"

namespace kestrum_render {

namespace {

using kestrum::platform::FontFace;

// Name resolution and the family fallback report under the atlas's target, with
// the glyph atlas they serve.
constexpr const char* kAtlasTarget = "kestrum_render::atlas";
constexpr const char* kFontsTarget = "kestrum_render::fonts";

// The family that stands in when the configured one cannot be resolved.
constexpr std::string_view kFallbackFamily = "monospace";

// The largest glyph bitmap worth drawing: the side of the largest atlas texture.
constexpr double kMaxRasterSide = 8192;

// Writes `s` in double quotes with backslash escapes for quotes, backslashes and
// control characters, so names with odd characters stay readable in the log.
std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += fmt::format("\\u{{{:x}}}", c);
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// UTF-16 units of one scalar value; 0 units for a surrogate or a value past U+10FFFF.
std::size_t encode_utf16(char32_t c, char16_t (&units)[2]) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    if (c < 0x10000) {
        units[0] = static_cast<char16_t>(c);
        return 1;
    }
    c -= 0x10000;
    units[0] = static_cast<char16_t>(0xD800 + (c >> 10));
    units[1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    return 2;
}

// The advance of "M": a positive per-glyph advance, else a positive total, else
// 0.6 of the size.
float advance_of_m(const FontFace& face, float size) {
    std::uint16_t glyph[1] = {0};
    if (face.glyphs_for_characters(u"M", glyph) && glyph[0] != 0) {
        double advance[1] = {0};
        const double total = face.advances_for_glyphs(glyph, advance);
        if (advance[0] > 0) return static_cast<float>(advance[0]);
        if (total > 0) return static_cast<float>(total);
    }
    return size * 0.6f;
}

CellMetrics cell_metrics(const FontFace& face, float m_advance) {
    const auto ascent = static_cast<float>(face.ascent());
    const auto descent = static_cast<float>(face.descent());
    const auto leading = static_cast<float>(face.leading());
    CellMetrics m;
    m.cell_width = std::max(std::ceil(m_advance), 1.0f);
    m.cell_height = std::max(std::ceil(ascent + descent + leading), 1.0f);
    m.baseline = std::ceil(ascent);
    // A stroke thicker than the cell would push both strokes above the cell top;
    // capping it at the cell height keeps them inside.
    m.line_thickness = std::min(
        std::max(std::round(static_cast<float>(face.underline_thickness())), 1.0f), m.cell_height);
    const float lowest = m.cell_height - m.line_thickness;
    m.underline_y = std::min(
        std::max(std::round(m.baseline - static_cast<float>(face.underline_position())), 0.0f),
        lowest);
    m.strikeout_y = std::min(
        std::max(std::round(m.baseline - static_cast<float>(face.x_height()) * 0.5f), 0.0f),
        lowest);
    return m;
}

}  // namespace

std::string normalized_font_name(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (c == ' ' || c == '-') continue;
        out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

std::optional<FontFace> new_resolving_name(std::string_view name, float size) {
    auto face = FontFace::create_with_name(name, size);
    if (!face) return std::nullopt;
    const std::string wanted = normalized_font_name(name);
    if (wanted == normalized_font_name(face->family_name()) ||
        wanted == normalized_font_name(face->postscript_name()) ||
        wanted == normalized_font_name(face->full_name())) {
        return face;
    }
    if (FontFace::name_has_installed_match(name)) return face;
    KLOG_WARN(kAtlasTarget, "font {} does not match any installed font; Core Text substituted {}",
              quoted(name), quoted(face->postscript_name()));
    return std::nullopt;
}

std::optional<Font> Font::create(std::string_view family, float size) {
    if (!std::isfinite(size) || size <= 0 || size > FontFace::kMaxSize) {
        KLOG_WARN(kFontsTarget, "font size {} pixels is out of range (above 0, at most {})", size,
                  FontFace::kMaxSize);
        return std::nullopt;
    }
    auto regular = new_resolving_name(family, size);
    if (!regular) {
        if (equals_ignoring_ascii_case(family, kFallbackFamily)) return std::nullopt;
        KLOG_WARN(kAtlasTarget, "font family {} unavailable; falling back to monospace",
                  quoted(family));
        regular = new_resolving_name(kFallbackFamily, size);
        if (!regular) return std::nullopt;
    }

    // Styles the family lacks use the regular face: nothing is synthesised.
    auto styled = [&](std::uint32_t traits) {
        return regular
            ->copy_with_symbolic_traits(
                traits, kestrum::platform::kTraitBold | kestrum::platform::kTraitItalic)
            .value_or(*regular);
    };
    std::array<FontFace, 4> faces = {
        *regular, styled(kestrum::platform::kTraitBold), styled(kestrum::platform::kTraitItalic),
        styled(kestrum::platform::kTraitBold | kestrum::platform::kTraitItalic)};
    std::array<float, 4> advances{};
    for (std::size_t i = 0; i < faces.size(); ++i)
        advances[i] = advance_of_m(faces[i], size);
    const CellMetrics metrics = cell_metrics(*regular, advances[0]);
    return Font(std::move(faces), metrics, advances);
}

std::optional<Raster> Font::rasterize_glyph_in(float baseline, const FontFace& face,
                                               std::uint16_t glyph) {
    const kestrum::platform::GlyphRect rect = face.bounding_rect(glyph);
    const double left = std::floor(rect.x);
    const double bottom = std::floor(rect.y);
    const double right = std::ceil(rect.x + rect.width);
    const double top = std::ceil(rect.y + rect.height);
    const double width = right - left;
    const double height = top - bottom;
    // Written so that NaN bounds fail too.
    if (!(width >= 1 && height >= 1)) return std::nullopt;
    if (width > kMaxRasterSide || height > kMaxRasterSide) {
        KLOG_WARN(kFontsTarget, "glyph {} of {} is {}x{} pixels, larger than any atlas; not drawn",
                  glyph, quoted(face.postscript_name()), width, height);
        return std::nullopt;
    }

    Raster raster;
    raster.color = (face.symbolic_traits() & kestrum::platform::kTraitColorGlyphs) != 0;
    raster.width = static_cast<std::uint32_t>(width);
    raster.height = static_cast<std::uint32_t>(height);
    kestrum::platform::GlyphBitmap bitmap(raster.color
                                              ? kestrum::platform::BitmapFormat::rgba_premultiplied
                                              : kestrum::platform::BitmapFormat::gray,
                                          raster.width, raster.height);
    // The bounding box's corner lands on the bitmap's corner.
    face.draw_glyph(glyph, bitmap, static_cast<int>(-left), static_cast<int>(-bottom));

    const std::size_t row_bytes = raster.width * bitmap.bytes_per_pixel();
    raster.pixels.resize(row_bytes * raster.height);
    for (std::uint32_t y = 0; y < raster.height; ++y) {
        auto row = bitmap.row(y);
        std::copy(row.begin(), row.end(), raster.pixels.begin() + y * row_bytes);
    }
    raster.offset = {static_cast<float>(left), baseline - static_cast<float>(top)};
    return raster;
}

std::optional<CharacterGlyph> Font::glyph_for_character(char32_t character, bool bold,
                                                        bool italic) {
    const std::uint8_t style = static_cast<std::uint8_t>((italic ? 2 : 0) + (bold ? 1 : 0));
    const FontFace& styled = faces_[style];
    char16_t units[2] = {0, 0};
    const std::size_t length = encode_utf16(character, units);
    if (length == 0) return std::nullopt;
    std::uint16_t glyphs[2] = {0, 0};
    const std::u16string_view text(units, length);
    if (styled.glyphs_for_characters(text, std::span(glyphs, length)) && glyphs[0] != 0) {
        return CharacterGlyph{styled, glyphs[0]};
    }

    const std::uint64_t key = (std::uint64_t{character} << 2) | style;
    auto it = fallbacks_.find(key);
    if (it == fallbacks_.end()) {
        FontFace found = styled.create_for_string(text);
        std::optional<FontFace> fallback;
        if (!(found == styled)) fallback = found;
        it = fallbacks_.emplace(key, fallback).first;
    }
    if (!it->second) return std::nullopt;
    const FontFace& fallback = *it->second;
    if (!fallback.glyphs_for_characters(text, std::span(glyphs, length)) || glyphs[0] == 0) {
        return std::nullopt;
    }
    return CharacterGlyph{fallback, glyphs[0]};
}

std::span<const ShapedGlyph> Font::shape_run(std::string_view text, bool bold, bool italic) {
    const std::uint8_t style = static_cast<std::uint8_t>((italic ? 2 : 0) + (bold ? 1 : 0));
    auto& cache = shape_caches_[style];
    if (auto it = cache.find(text); it != cache.end()) return it->second;

    std::vector<ShapedGlyph> shaped;
    const float advance = style_advances_[style];
    for (const kestrum::platform::GlyphRun& run : faces_[style].shape_with_ligatures(text)) {
        const std::size_t count = std::min(run.glyphs.size(), run.x.size());
        for (std::size_t i = 0; i < count; ++i) {
            float x = static_cast<float>(run.x[i]);
            // Every glyph starts on a column boundary, whatever the face's own advance.
            if (advance > 0) x = metrics_.cell_width * std::round(x / advance);
            shaped.push_back({GlyphKey::font_glyph(run.glyphs[i], style), x});
        }
    }

    if (shaped_entries_ >= kShapeCacheLimit) {
        for (auto& c : shape_caches_)
            c.clear();
        shaped_entries_ = 0;
    }
    ++shaped_entries_;
    return cache.emplace(std::string(text), std::move(shaped)).first->second;
}

}  // namespace kestrum_render
