// Builders of render geometry: the grid (backgrounds, box drawing, decorations,
// text, cursor) and the overlays (tab bar, search bar, scrollbar).
#include "render/geometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/boxdraw.hpp"

namespace kestrum_render {

using kestrum::core::Rgb;
using kestrum_term::FrameCell;

namespace {

// Channel bytes as floats: a table lookup instead of a division per channel.
constexpr auto kUnit = [] {
    std::array<float, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<float>(i) / 255.0f;
    return table;
}();

float unit(std::uint8_t channel) {
    return kUnit[channel];
}

float clamp01(float v) {
    return std::clamp(v, 0.0f, 1.0f);
}

SolidInstance solid(Rect r, Rgb c, float alpha, float radius = 0.0f) {
    return {{r.x, r.y, r.width, r.height},
            {unit(c.r), unit(c.g), unit(c.b), alpha},
            {radius, 0.0f, 0.0f, 0.0f}};
}

// A pill's corner radius: the request, non-negative, at most half the shorter side.
float pill_radius(float requested, float width, float height) {
    return std::min(std::max(requested, 0.0f), std::min(width, height) * 0.5f);
}

// Inlined: the grid build calls the per-cell helpers once per cell.
#define KESTRUM_HOT [[gnu::always_inline]] inline

KESTRUM_HOT void append_glyph(Geometry& g, const AtlasEntry& e, float pen_x, float pen_y,
                              Rgb color) {
    const GlyphInstance instance{{pen_x + e.offset[0], pen_y + e.offset[1], e.size[0], e.size[1]},
                                 e.uv,
                                 {unit(color.r), unit(color.g), unit(color.b), 1.0f}};
    (e.color ? g.color_glyphs : g.glyphs).push_back(instance);
}

void append_character(Geometry& g, GlyphProvider& provider, char32_t c, bool bold, bool italic,
                      float pen_x, float pen_y, Rgb color) {
    if (auto e = provider.entry(GlyphKey::character(c, bold, italic))) {
        append_glyph(g, *e, pen_x, pen_y, color);
    }
}

// Characters that never draw ink: NUL, space, no-break space.
bool blank(char32_t c) {
    return c == U'\0' || c == U' ' || c == U'\u00A0';
}

// Per channel a + (b - a) x t, rounded half away from zero, within 0..255.
Rgb mix_rgb(Rgb a, Rgb b, float t) {
    auto channel = [t](std::uint8_t x, std::uint8_t y) {
        const float v = std::round(float(x) + (float(y) - float(x)) * t);
        return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
    };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

// A float count made safe to use as an index: NaN and negatives are 0, and huge
// values saturate instead of overflowing the conversion.
std::size_t to_count(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1e9f) return 1'000'000'000;
    return static_cast<std::size_t>(v);
}

std::u32string decode_utf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t len = b0 < 0x80           ? 1
                          : (b0 >> 5) == 0x6  ? 2
                          : (b0 >> 4) == 0xE  ? 3
                          : (b0 >> 3) == 0x1E ? 4
                                              : 0;
        char32_t c = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        bool ok = len != 0 && i + len <= s.size();
        for (std::size_t k = 1; ok && k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            ok = (b & 0xC0) == 0x80;
            c = (c << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed too.
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && c >= kMin[len] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (ok) {
            out.push_back(c);
            i += len;
        } else {
            out.push_back(U'\uFFFD');
            ++i;
        }
    }
    return out;
}

// Writes `c` as UTF-8 to `out` (room for 4 bytes); returns the byte count.
std::size_t encode_utf8(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | ((c >> 18) & 0x07));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Remembers the provider's answers for one grid build. A screen repeats a few dozen
// glyphs thousands of times; a direct-mapped table answers those repeats without a
// trip through the provider's hash map.
class FrameGlyphCache final : public GlyphProvider {
  public:
    explicit FrameGlyphCache(GlyphProvider& inner) : inner_(inner) {}

    // The entry for `key`, null when it has none; valid until the next call.
    KESTRUM_HOT const AtlasEntry* find(GlyphKey key) {
        // ASCII in its four styles maps to distinct slots.
        const std::size_t index = (key.scalar ^ key.glyph ^ (std::size_t{key.bold} << 7) ^
                                   (std::size_t{key.italic} << 8)) &
                                  (kSlots - 1);
        Slot& slot = slots_[index];
        if (slot.state == State::Empty || slot.key != key) {
            std::optional<AtlasEntry> e = inner_.entry(key);
            slot.key = key;
            slot.state = e ? State::Present : State::Missing;
            if (e) slot.entry = *e;
        }
        return slot.state == State::Present ? &slot.entry : nullptr;
    }

    std::optional<AtlasEntry> entry(GlyphKey key) override {
        const AtlasEntry* e = find(key);
        return e ? std::optional<AtlasEntry>(*e) : std::nullopt;
    }

    std::span<const ShapedGlyph> shape_run(std::string_view text, bool bold, bool italic) override {
        return inner_.shape_run(text, bold, italic);
    }

  private:
    static constexpr std::size_t kSlots = 512;
    enum class State : std::uint8_t { Empty, Missing, Present };
    struct Slot {
        GlyphKey key;
        State state = State::Empty;
        AtlasEntry entry;
    };

    GlyphProvider& inner_;
    std::array<Slot, kSlots> slots_;
};

// What the grid build needs to know about the cursor cell and its colours.
struct CursorCell {
    bool active = false;  // a block cursor sits squarely on a cell
    std::uint16_t col = 0;
    std::uint16_t row = 0;
    float alpha = 0.0f;
    Rgb background;

    CursorCell(const CursorBlend& blend, Rgb default_background)
        : active(blend.block_shown && blend.aligned),
          col(blend.column),
          row(blend.row),
          alpha(blend.alpha),
          background(default_background) {}

    bool is(const FrameCell& cell) const { return active && cell.col == col && cell.row == row; }
    // The cursor cell's text fades towards the default background as the block
    // appears, so at full alpha it reads inverted on the block.
    Rgb text(const FrameCell& cell) const {
        return is(cell) ? mix_rgb(cell.fg, background, alpha) : cell.fg;
    }
};

float cell_x(const FrameCell& cell, const CellMetrics& m) {
    return m.cell_width * static_cast<float>(cell.col);
}
float cell_y(const FrameCell& cell, const CellMetrics& m) {
    return m.cell_height * static_cast<float>(cell.row);
}

// A cell drawn on its own: its character unless box drawing took it, then its
// zero-width characters at the same place.
KESTRUM_HOT void draw_cell(Geometry& g, const FrameCell& cell, const CellMetrics& m,
                           const CursorCell& cursor, FrameGlyphCache& glyphs) {
    const float x = cell_x(cell, m);
    const float y = cell_y(cell, m);
    const Rgb color = cursor.text(cell);
    if (!blank(cell.c) && (!maybe_box_drawn(cell.c) || segments(cell.c, m).empty())) {
        if (const AtlasEntry* e =
                glyphs.find(GlyphKey::character(cell.c, cell.bold, cell.italic))) {
            append_glyph(g, *e, x, y, color);
        }
    }
    for (char32_t z : cell.zerowidth) {
        if (const AtlasEntry* e = glyphs.find(GlyphKey::character(z, cell.bold, cell.italic))) {
            append_glyph(g, *e, x, y, color);
        }
    }
}

bool may_join_run(const FrameCell& cell, const CursorCell& cursor) {
    return cell.c >= U'\x21' && cell.c <= U'\x7E' && !cell.wide && cell.zerowidth.empty() &&
           !cursor.is(cell);
}

bool continues_run(const FrameCell& last, const FrameCell& cell) {
    return cell.row == last.row && cell.col == last.col + 1 && cell.bold == last.bold &&
           cell.italic == last.italic && cell.fg == last.fg;
}

// Background, box-drawing strokes, underline and strikeout of one cell.
KESTRUM_HOT void decorate_cell(Geometry& g, const kestrum_term::Frame& frame, const FrameCell& cell,
                               const CellMetrics& m, const CursorCell& cursor, float cell_alpha) {
    const float x = cell_x(cell, m);
    const float y = cell_y(cell, m);
    const float width = cell.wide ? 2.0f * m.cell_width : m.cell_width;

    Rgb bg = cell.bg;
    float alpha = cell_alpha;
    if (cell.search == kestrum_term::MatchState::Focused) {
        bg = frame.focused_match_bg;
        alpha = 1.0f;
    } else if (cell.search == kestrum_term::MatchState::Match) {
        bg = frame.match_bg;
        alpha = 1.0f;
    } else if (cell.selected) {
        bg = frame.selection_bg;
        alpha = 1.0f;
    }
    // Default-coloured cells draw nothing: the wallpaper beneath shows through.
    if (bg != frame.background) {
        g.backgrounds.push_back(
            {{x, y, width, m.cell_height},
             {unit(bg.r) * alpha, unit(bg.g) * alpha, unit(bg.b) * alpha, alpha},
             {0.0f, 0.0f, 0.0f, 0.0f}});
    }

    if (maybe_box_drawn(cell.c)) {
        const Segments box = segments(cell.c, m);
        const Rgb color = cursor.text(cell);
        for (const Rect& r : box) {
            g.overlays.push_back(solid({x + r.x, y + r.y, r.width, r.height}, color, 1.0f));
        }
    }
    // Every underline style is drawn as one straight stroke.
    if (cell.underline) {
        g.overlays.push_back(solid({x, y + m.underline_y, width, m.line_thickness}, cell.fg, 1.0f));
    }
    if (cell.strikeout) {
        g.overlays.push_back(solid({x, y + m.strikeout_y, width, m.line_thickness}, cell.fg, 1.0f));
    }
}

// Glyph lookups: the grid build's per-frame cache answers with a pointer, any other
// provider with its optional.
const AtlasEntry* lookup(FrameGlyphCache& cache, GlyphKey key) {
    return cache.find(key);
}
std::optional<AtlasEntry> lookup(GlyphProvider& provider, GlyphKey key) {
    return provider.entry(key);
}

template <typename Provider>
void shape_and_append(Geometry& g, std::vector<const FrameCell*>& run, Provider& provider,
                      float cell_width, float cell_height) {
    if (run.empty()) return;
    const FrameCell& first = *run.front();
    // Runs are at most a row of ASCII: a stack buffer covers all but the widest rows.
    char small[1024];
    std::string large;
    char* text = small;
    if (run.size() * 4 > sizeof small) {
        large.resize(run.size() * 4);
        text = large.data();
    }
    std::size_t length = 0;
    for (const FrameCell* cell : run)
        length += encode_utf8(cell->c, text + length);
    const float x0 = cell_width * static_cast<float>(first.col);
    const float y = cell_height * static_cast<float>(first.row);
    for (const ShapedGlyph& shaped : provider.shape_run({text, length}, first.bold, first.italic)) {
        if (auto e = lookup(provider, shaped.key)) append_glyph(g, *e, x0 + shaped.x, y, first.fg);
    }
    run.clear();
}

}  // namespace

CursorBlend cursor_blend(const kestrum_term::Cursor& cursor) {
    CursorBlend b;
    b.alpha = cursor.visible ? clamp01(cursor.opacity) : 0.0f;
    b.column = cursor.col;
    b.row = cursor.row;
    b.shown = b.alpha > 0.004f;
    b.block_shown = b.shown && cursor.shape == kestrum_term::cursor_shape::Block;
    b.aligned = std::abs(cursor.x - static_cast<float>(cursor.col)) < 0.01f;
    return b;
}

void emit_decorations(Geometry& g, const kestrum_term::Frame& frame, const CellMetrics& m,
                      const CursorBlend& blend, float background_alpha) {
    const CursorCell cursor(blend, frame.background);
    const float cell_alpha = clamp01(background_alpha);
    for (const FrameCell& cell : frame.cells)
        decorate_cell(g, frame, cell, m, cursor, cell_alpha);
}

void flush_run(Geometry& g, std::vector<const FrameCell*>& run, GlyphProvider& provider,
               float cell_width, float cell_height) {
    shape_and_append(g, run, provider, cell_width, cell_height);
}

void emit_cursor(Geometry& g, const kestrum_term::Frame& frame, const CellMetrics& m, bool shown,
                 float alpha) {
    if (!shown) return;
    const kestrum_term::Cursor& c = frame.cursor;
    const float cw = m.cell_width;
    const float ch = m.cell_height;
    const float x = cw * c.x;
    const float y = ch * static_cast<float>(c.row);
    // Cells are in row-major order.
    const auto at =
        std::lower_bound(frame.cells.begin(), frame.cells.end(), c,
                         [](const FrameCell& cell, const kestrum_term::Cursor& cur) {
                             return cell.row != cur.row ? cell.row < cur.row : cell.col < cur.col;
                         });
    const bool wide = at != frame.cells.end() && at->wide && at->col == c.col && at->row == c.row;
    const float w = wide ? 2.0f * cw : cw;
    const float a = clamp01(alpha);
    switch (c.shape) {
        case kestrum_term::cursor_shape::Block:
            g.fills.push_back(solid({x, y, w, ch}, c.color, a));
            break;
        case kestrum_term::cursor_shape::Underline: {
            const float t = std::max(ch * 0.12f, 1.0f);
            g.overlays.push_back(solid({x, y + ch - t, w, t}, c.color, a));
            break;
        }
        case kestrum_term::cursor_shape::Beam: {
            // The beam keeps its width over wide characters.
            const float b = std::max(cw * 0.12f, 1.0f);
            g.overlays.push_back(solid({x, y, b, ch}, c.color, a));
            break;
        }
        default: {
            const float t = std::max(m.line_thickness, 1.0f);
            g.overlays.push_back(solid({x, y, w, t}, c.color, a));
            g.overlays.push_back(solid({x, y + ch - t, w, t}, c.color, a));
            g.overlays.push_back(solid({x, y, t, ch}, c.color, a));
            g.overlays.push_back(solid({x + w - t, y, t, ch}, c.color, a));
            break;
        }
    }
}

Geometry build_grid_geometry(const kestrum_term::Frame& frame, const CellMetrics& m,
                             float background_alpha, bool ligatures, GlyphProvider& uncached) {
    FrameGlyphCache provider(uncached);
    Geometry g;
    // Most cells of a screen of text carry one glyph.
    g.glyphs.reserve(frame.cells.size());
    const CursorBlend blend = cursor_blend(frame.cursor);
    const CursorCell cursor(blend, frame.background);
    const float cell_alpha = clamp01(background_alpha);

    // Decorations and text fill separate lists, so one pass over the cells serves both
    // steps and each list keeps frame order.
    if (!ligatures) {
        for (const FrameCell& cell : frame.cells) {
            decorate_cell(g, frame, cell, m, cursor, cell_alpha);
            draw_cell(g, cell, m, cursor, provider);
        }
    } else {
        std::vector<const FrameCell*> run;
        run.reserve(frame.cols);
        for (const FrameCell& cell : frame.cells) {
            decorate_cell(g, frame, cell, m, cursor, cell_alpha);
            const bool join = may_join_run(cell, cursor);
            if (!join || (!run.empty() && !continues_run(*run.back(), cell))) {
                shape_and_append(g, run, provider, m.cell_width, m.cell_height);
            }
            if (join) {
                run.push_back(&cell);
            } else {
                draw_cell(g, cell, m, cursor, provider);
            }
        }
        shape_and_append(g, run, provider, m.cell_width, m.cell_height);
    }

    emit_cursor(g, frame, m, blend.shown, blend.alpha);
    return g;
}

Geometry build_tab_bar_geometry(const TabBar& bar, const CellMetrics& m, GlyphProvider& provider) {
    Geometry g;
    const float cw = m.cell_width;
    const float ch = m.cell_height;
    const Rgb white{255, 255, 255};
    const float hover_alpha = clamp01(bar.hover_progress * 0.06f);
    const Rgb hover_text = mix_rgb(bar.inactive_text, bar.hover_text, clamp01(bar.hover_progress));

    for (std::size_t i = 0; i < bar.tabs.size(); ++i) {
        const BarTab& tab = bar.tabs[i];
        const auto [x, y, w, h] = tab.rect;
        Rgb dot = bar.inactive_dot;
        Rgb text_color = bar.inactive_text;
        if (tab.active) {
            g.fills.push_back(
                solid(tab.rect, bar.active_border, 0.2f, pill_radius(bar.pill_radius, w, h)));
            const float inset = std::min(std::max(h * 0.045f, 1.0f), 2.0f);
            const Rect inner{x + inset, y + inset, std::max(w - 2.0f * inset, 0.0f),
                             std::max(h - 2.0f * inset, 0.0f)};
            g.fills.push_back(
                solid(inner, bar.active_fill, 0.42f,
                      pill_radius(bar.pill_radius - inset, inner.width, inner.height)));
            dot = bar.active_dot;
            text_color = bar.active_text;
        } else if (bar.hovered == i && bar.hover_progress > 0.0f) {
            g.fills.push_back(
                solid(tab.rect, white, hover_alpha, pill_radius(bar.pill_radius, w, h)));
            text_color = hover_text;
        }
        g.fills.push_back(
            solid({x + bar.dot_inset, y + (h - bar.dot_size) * 0.5f, bar.dot_size, bar.dot_size},
                  dot, 1.0f, bar.dot_size * 0.5f));

        const float text_x = x + bar.dot_inset + bar.dot_size + bar.dot_gap;
        const std::size_t budget =
            cw > 0.0f
                ? to_count(std::floor(std::max(x + w - bar.dot_inset - text_x, 0.0f) / cw + 0.01f))
                : 0;
        std::u32string title = decode_utf8(tab.title);
        if (title.size() > budget) {
            title.resize(budget == 0 ? 0 : budget - 1);
            if (budget > 0) title.push_back(U'\u2026');
        }
        const float text_y = y + (h - ch) * 0.5f;
        for (std::size_t k = 0; k < title.size(); ++k) {
            if (blank(title[k])) continue;
            append_character(g, provider, title[k], false, false,
                             text_x + cw * static_cast<float>(k), text_y, text_color);
        }
    }

    if (bar.new_tab_button) {
        const Rect b = *bar.new_tab_button;
        if (bar.new_tab_hovered && bar.hover_progress > 0.0f) {
            g.fills.push_back(
                solid(b, white, hover_alpha, pill_radius(bar.pill_radius, b.width, b.height)));
        }
        const Rgb plus = bar.new_tab_hovered ? hover_text : bar.inactive_text;
        append_character(g, provider, U'+', false, false, b.x + (b.width - cw) * 0.5f,
                         b.y + (b.height - ch) * 0.5f, plus);
    }
    return g;
}

Geometry build_search_geometry(const SearchBar& bar, float cw, float ch, GlyphProvider& provider) {
    Geometry g;
    const auto [x, y, w, h] = bar.rect;
    g.fills.push_back(solid(bar.rect, bar.background, 1.0f, pill_radius(bar.radius, w, h)));

    std::size_t budget = cw > 0.0f ? to_count(std::floor((w - 2.0f * cw) / cw)) : 0;
    if (budget > 0) --budget;
    const std::u32string text = decode_utf8(bar.text);
    // A long query keeps its end in view.
    const std::size_t first = text.size() > budget ? text.size() - budget : 0;

    float pen = x + cw;
    const float text_y = y + (h - ch) * 0.5f;
    for (std::size_t i = first; i < text.size(); ++i) {
        if (!blank(text[i])) {
            append_character(g, provider, text[i], false, false, pen, text_y, bar.text_color);
        }
        pen += cw;
    }
    g.overlays.push_back(
        solid({pen, text_y, std::max(cw * 0.12f, 1.0f), ch}, bar.caret_color, 1.0f));
    return g;
}

Geometry build_scrollbar_geometry(const Scrollbar& bar) {
    Geometry g;
    g.fills.push_back(solid(bar.rect, bar.color, clamp01(bar.alpha),
                            pill_radius(bar.radius, bar.rect.width, bar.rect.height)));
    return g;
}

}  // namespace kestrum_render

#undef KESTRUM_HOT
