// Glyph bounds and drawing. Outline glyphs are scaled exactly from font units
// (no hinting, fractional sizes kept) and rasterised with FreeType's anti-aliasing
// rasteriser straight into the target; bitmap glyphs (colour emoji, strikes) are
// resampled to the face's size with an area filter.
#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/ft/face_source.hpp"

#include <freetype/ftbbox.h>
#include <freetype/ftoutln.h>

#include "platform/text.hpp"

namespace kestrum::platform {

GlyphBitmap::GlyphBitmap(BitmapFormat format, std::uint32_t width, std::uint32_t height)
    : format_(format),
      width_(width),
      height_(height),
      bytes_per_row_((std::size_t{width} * bytes_per_pixel() + 3) / 4 * 4),
      data_(bytes_per_row_ * height) {}

namespace {

using ft::FaceSource;

// Loads an outline glyph in font units; null when the glyph has no outline.
const FT_Outline* load_outline(const FaceSource& source, std::uint16_t glyph) {
    FT_Face face = source.ft_face.get();
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE) != 0) return nullptr;
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return nullptr;
    return &face->glyph->outline;
}

struct BitmapGlyph {
    const FT_Bitmap* bitmap;
    int left;      // pixels from the origin to the bitmap's left edge
    int top;       // pixels from the baseline up to the bitmap's top edge
    double scale;  // bitmap pixels to face pixels
};

// Loads a glyph as a bitmap: from the strike nearest above `size` (or the largest)
// for fixed-size faces, rendered at `size` for scalable colour faces.
std::optional<BitmapGlyph> load_bitmap(FaceSource& source, std::uint16_t glyph, double size) {
    FT_Face face = source.ft_face.get();
    const bool loaded = source.slot_bitmap_glyph == glyph && source.slot_bitmap_size == size;
    source.slot_bitmap_glyph = -1;
    double scale = 1;
    if (FT_IS_SCALABLE(face)) {
        const FT_F26Dot6 size64 = std::max<FT_F26Dot6>(std::lround(size * 64), 1);
        if (!loaded && FT_Set_Char_Size(face, 0, size64, 72, 72) != 0) return std::nullopt;
        scale = size * 64 / static_cast<double>(size64);
    } else {
        if (face->num_fixed_sizes <= 0) return std::nullopt;
        int best = 0;
        for (int i = 1; i < face->num_fixed_sizes; ++i) {
            const double ppem = face->available_sizes[i].y_ppem / 64.0;
            const double best_ppem = face->available_sizes[best].y_ppem / 64.0;
            const bool fits = ppem >= size;
            const bool best_fits = best_ppem >= size;
            if ((fits && (!best_fits || ppem < best_ppem)) ||
                (!fits && !best_fits && ppem > best_ppem)) {
                best = i;
            }
        }
        if (!loaded && FT_Select_Size(face, best) != 0) return std::nullopt;
        const double ppem = face->available_sizes[best].y_ppem / 64.0;
        if (ppem <= 0) return std::nullopt;
        scale = size / ppem;
    }
    FT_GlyphSlot slot = face->glyph;
    if (!loaded) {
        if (FT_Load_Glyph(face, glyph, FT_LOAD_COLOR | FT_LOAD_NO_HINTING) != 0) {
            return std::nullopt;
        }
        if (slot->format != FT_GLYPH_FORMAT_BITMAP &&
            FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) {
            return std::nullopt;
        }
    }
    source.slot_bitmap_glyph = glyph;
    source.slot_bitmap_size = size;
    return BitmapGlyph{&slot->bitmap, slot->bitmap_left, slot->bitmap_top, scale};
}

// Source-over of a premultiplied colour onto one target pixel. Gray targets take
// the colour's luminance.
void blend(GlyphBitmap& target, std::uint32_t x, std::uint32_t row, const double (&rgba)[4]) {
    std::uint8_t* p = target.row(row).data() + x * target.bytes_per_pixel();
    const double keep = 1.0 - rgba[3];
    auto mix = [&](std::uint8_t dst, double src) {
        const double v = src * 255.0 + dst * keep;
        return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    if (target.format() == BitmapFormat::gray) {
        p[0] = mix(p[0], 0.299 * rgba[0] + 0.587 * rgba[1] + 0.114 * rgba[2]);
    } else {
        for (int c = 0; c < 4; ++c)
            p[c] = mix(p[c], rgba[c]);
    }
}

// Coverage as a premultiplied colour: white on gray targets, black on colour ones.
void coverage_colour(const GlyphBitmap& target, double coverage, double (&rgba)[4]) {
    const double ink = target.format() == BitmapFormat::gray ? coverage : 0.0;
    rgba[0] = rgba[1] = rgba[2] = ink;
    rgba[3] = coverage;
}

struct SpanTarget {
    GlyphBitmap* bitmap;
};

void draw_spans(int y, int count, const FT_Span* spans, void* user) {
    GlyphBitmap& target = *static_cast<SpanTarget*>(user)->bitmap;
    if (y < 0 || static_cast<std::uint32_t>(y) >= target.height()) return;
    const std::uint32_t row = target.height() - 1 - static_cast<std::uint32_t>(y);
    for (int i = 0; i < count; ++i) {
        double rgba[4];
        coverage_colour(target, spans[i].coverage / 255.0, rgba);
        const int end = std::min<int>(spans[i].x + spans[i].len, static_cast<int>(target.width()));
        for (int x = std::max<int>(spans[i].x, 0); x < end; ++x) {
            blend(target, static_cast<std::uint32_t>(x), row, rgba);
        }
    }
}

void draw_outline(const FaceSource& source, std::uint16_t glyph, double size, GlyphBitmap& target,
                  int x, int y) {
    const FT_Outline* loaded = load_outline(source, glyph);
    if (loaded == nullptr || loaded->n_points == 0) return;
    FT_Outline outline = *loaded;  // the slot's outline, changed in place below
    // Font units to 26.6 pixels, then to the integer origin.
    const double factor = size * 64.0 / source.units_per_em;
    FT_Matrix matrix{static_cast<FT_Fixed>(std::lround(factor * 65536.0)), 0, 0,
                     static_cast<FT_Fixed>(std::lround(factor * 65536.0))};
    FT_Outline_Transform(&outline, &matrix);
    FT_Outline_Translate(&outline, static_cast<FT_Pos>(x) * 64, static_cast<FT_Pos>(y) * 64);

    SpanTarget user{&target};
    FT_Raster_Params params{};
    params.source = &outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = draw_spans;
    params.user = &user;
    params.clip_box = {0, 0, static_cast<FT_Pos>(target.width()),
                       static_cast<FT_Pos>(target.height())};
    FT_Outline_Render(ft::ft_library(), &outline, &params);
}

// Reads one source pixel as premultiplied RGBA in 0..1.
void source_pixel(const FT_Bitmap& bitmap, const GlyphBitmap& target, unsigned sx, unsigned sy,
                  double (&rgba)[4]) {
    const unsigned char* row =
        bitmap.pitch >= 0
            ? bitmap.buffer + static_cast<std::ptrdiff_t>(sy) * bitmap.pitch
            : bitmap.buffer + static_cast<std::ptrdiff_t>(bitmap.rows - 1 - sy) * -bitmap.pitch;
    switch (bitmap.pixel_mode) {
        case FT_PIXEL_MODE_BGRA:
            rgba[0] = row[sx * 4 + 2] / 255.0;
            rgba[1] = row[sx * 4 + 1] / 255.0;
            rgba[2] = row[sx * 4 + 0] / 255.0;
            rgba[3] = row[sx * 4 + 3] / 255.0;
            return;
        case FT_PIXEL_MODE_GRAY: {
            const double levels = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
            coverage_colour(target, row[sx] / levels, rgba);
            return;
        }
        case FT_PIXEL_MODE_MONO:
            coverage_colour(target, (row[sx / 8] >> (7 - sx % 8)) & 1 ? 1.0 : 0.0, rgba);
            return;
        default:
            rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0;
    }
}

void draw_bitmap(FaceSource& source, std::uint16_t glyph, double size, GlyphBitmap& target, int x,
                 int y) {
    auto loaded = load_bitmap(source, glyph, size);
    if (!loaded || loaded->bitmap->width == 0 || loaded->bitmap->rows == 0) return;
    const FT_Bitmap& bitmap = *loaded->bitmap;
    const double scale = loaded->scale;
    // The glyph's rectangle in target pixels: left edge and top edge (y-up).
    const double gx = x + loaded->left * scale;
    const double gtop = y + loaded->top * scale;
    const double gw = bitmap.width * scale;
    const double gh = bitmap.rows * scale;

    const long x0 = std::max(0L, static_cast<long>(std::floor(gx)));
    const long x1 =
        std::min(static_cast<long>(target.width()), static_cast<long>(std::ceil(gx + gw)));
    const long y0 = std::max(0L, static_cast<long>(std::floor(gtop - gh)));
    const long y1 =
        std::min(static_cast<long>(target.height()), static_cast<long>(std::ceil(gtop)));
    // Each target pixel averages the source pixels under it, weighted by overlap.
    for (long py = y0; py < y1; ++py) {
        const double sy0 = (gtop - (py + 1)) / scale;
        const double sy1 = (gtop - py) / scale;
        for (long px = x0; px < x1; ++px) {
            const double sx0 = (px - gx) / scale;
            const double sx1 = (px + 1 - gx) / scale;
            double sum[4] = {0, 0, 0, 0};
            const long iy_end = std::min<long>(bitmap.rows, static_cast<long>(std::ceil(sy1)));
            const long ix_end = std::min<long>(bitmap.width, static_cast<long>(std::ceil(sx1)));
            for (long iy = std::max(0L, static_cast<long>(std::floor(sy0))); iy < iy_end; ++iy) {
                const double wy = std::min<double>(iy + 1, sy1) - std::max<double>(iy, sy0);
                if (wy <= 0) continue;
                for (long ix = std::max(0L, static_cast<long>(std::floor(sx0))); ix < ix_end;
                     ++ix) {
                    const double wx = std::min<double>(ix + 1, sx1) - std::max<double>(ix, sx0);
                    if (wx <= 0) continue;
                    double rgba[4];
                    source_pixel(bitmap, target, static_cast<unsigned>(ix),
                                 static_cast<unsigned>(iy), rgba);
                    for (int c = 0; c < 4; ++c)
                        sum[c] += rgba[c] * wx * wy;
                }
            }
            const double area = (sx1 - sx0) * (sy1 - sy0);
            double rgba[4];
            for (int c = 0; c < 4; ++c)
                rgba[c] = std::min(sum[c] / area, 1.0);
            if (rgba[3] <= 0) continue;
            const auto row = target.height() - 1 - static_cast<std::uint32_t>(py);
            blend(target, static_cast<std::uint32_t>(px), row, rgba);
        }
    }
}

}  // namespace

GlyphRect FontFace::bounding_rect(std::uint16_t glyph) const {
    if (source_->outline_glyphs) {
        const FT_Outline* outline = load_outline(*source_, glyph);
        if (outline == nullptr || outline->n_points == 0) return {};
        FT_BBox box{};
        if (FT_Outline_Get_BBox(const_cast<FT_Outline*>(outline), &box) != 0) return {};
        const double s = size_ / source_->units_per_em;
        return {box.xMin * s, box.yMin * s, (box.xMax - box.xMin) * s, (box.yMax - box.yMin) * s};
    }
    auto loaded = load_bitmap(*source_, glyph, size_);
    if (!loaded || loaded->bitmap->width == 0 || loaded->bitmap->rows == 0) return {};
    const double s = loaded->scale;
    const double rows = loaded->bitmap->rows;
    return {loaded->left * s, (loaded->top - rows) * s, loaded->bitmap->width * s, rows * s};
}

void FontFace::draw_glyph(std::uint16_t glyph, GlyphBitmap& target, int x, int y) const {
    if (source_->outline_glyphs) {
        draw_outline(*source_, glyph, size_, target, x, y);
    } else {
        draw_bitmap(*source_, glyph, size_, target, x, y);
    }
}

}  // namespace kestrum::platform
