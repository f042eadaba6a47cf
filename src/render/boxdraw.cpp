// Box drawing: each line character is a set of arms of one weight around a centre
// square; each block element is one rectangle. Rounding is half away from zero.
#include "render/boxdraw.hpp"

#include <algorithm>
#include <cmath>

namespace kestrum_render {

namespace {

enum Arm : std::uint8_t { Up = 1, Down = 2, Left = 4, Right = 8 };

struct LineChar {
    char32_t c;
    std::uint8_t arms;
    bool heavy;
};

constexpr LineChar kLineChars[] = {
    {U'\u2500', Left | Right, false},              // ─
    {U'\u2501', Left | Right, true},               // ━
    {U'\u2502', Up | Down, false},                 // │
    {U'\u2503', Up | Down, true},                  // ┃
    {U'\u250C', Down | Right, false},              // ┌
    {U'\u250F', Down | Right, true},               // ┏
    {U'\u2510', Down | Left, false},               // ┐
    {U'\u2513', Down | Left, true},                // ┓
    {U'\u2514', Up | Right, false},                // └
    {U'\u2517', Up | Right, true},                 // ┗
    {U'\u2518', Up | Left, false},                 // ┘
    {U'\u251B', Up | Left, true},                  // ┛
    {U'\u251C', Up | Down | Right, false},         // ├
    {U'\u2523', Up | Down | Right, true},          // ┣
    {U'\u2524', Up | Down | Left, false},          // ┤
    {U'\u252B', Up | Down | Left, true},           // ┫
    {U'\u252C', Down | Left | Right, false},       // ┬
    {U'\u2533', Down | Left | Right, true},        // ┳
    {U'\u2534', Up | Left | Right, false},         // ┴
    {U'\u253B', Up | Left | Right, true},          // ┻
    {U'\u253C', Up | Down | Left | Right, false},  // ┼
    {U'\u254B', Up | Down | Left | Right, true},   // ╋
};

constexpr char32_t kLineFirst = U'\u2500';
constexpr char32_t kLineLast = U'\u254B';

// Index by code point - kLineFirst; arms 0 means the font draws it.
struct LineSlot {
    std::uint8_t arms = 0;
    bool heavy = false;
};

constexpr auto kLineTable = [] {
    std::array<LineSlot, kLineLast - kLineFirst + 1> table{};
    for (const auto& l : kLineChars)
        table[l.c - kLineFirst] = {l.arms, l.heavy};
    return table;
}();

float round_half_away(float x) {
    return std::round(x);
}

Segments one(Rect r) {
    Segments s;
    s.rects[0] = r;
    s.count = 1;
    return s;
}

Segments line(LineSlot slot, const CellMetrics& m) {
    const float cw = m.cell_width;
    const float ch = m.cell_height;
    const float light = std::max(round_half_away(m.line_thickness), 1.0f);
    const float heavy =
        std::min(round_half_away(2.0f * light), std::max(std::min(cw, ch) * 0.5f, light));
    const float t = slot.heavy ? heavy : light;
    const float ox = std::max(round_half_away((cw - t) * 0.5f), 0.0f);
    const float oy = std::max(round_half_away((ch - t) * 0.5f), 0.0f);
    // Every arm covers the centre square, so arms join without gaps.
    Segments s;
    if (slot.arms & Up) s.rects[s.count++] = {ox, 0.0f, t, oy + t};
    if (slot.arms & Down) s.rects[s.count++] = {ox, oy, t, ch - oy};
    if (slot.arms & Left) s.rects[s.count++] = {0.0f, oy, ox + t, t};
    if (slot.arms & Right) s.rects[s.count++] = {ox, oy, cw - ox, t};
    return s;
}

}  // namespace

Segments segments(char32_t c, const CellMetrics& m) {
    if (!maybe_box_drawn(c)) return {};
    const float cw = m.cell_width;
    const float ch = m.cell_height;
    if (c <= kLineLast) {
        const LineSlot slot = kLineTable[c - kLineFirst];
        return slot.arms == 0 ? Segments{} : line(slot, m);
    }
    if (c == U'\u2580') return one({0.0f, 0.0f, cw, round_half_away(ch * 4.0f / 8.0f)});
    if (c >= U'\u2581' && c <= U'\u2587') {
        const float n = static_cast<float>(c - U'\u2580');  // lower n eighths
        const float h = round_half_away(ch * n * 0.125f);
        return one({0.0f, ch - h, cw, h});
    }
    if (c == U'\u2588') return one({0.0f, 0.0f, cw, ch});
    if (c >= U'\u2589' && c <= U'\u258F') {
        const float n = static_cast<float>(U'\u2590' - c);  // left n eighths
        return one({0.0f, 0.0f, round_half_away(cw * n * 0.125f), ch});
    }
    if (c == U'\u2590') {
        const float w = round_half_away(cw * 4.0f * 0.125f);
        return one({cw - w, 0.0f, w, ch});
    }
    if (c == U'\u2594') return one({0.0f, 0.0f, cw, round_half_away(ch * 0.125f)});
    if (c == U'\u2595') {
        const float w = round_half_away(cw * 0.125f);
        return one({cw - w, 0.0f, w, ch});
    }
    return {};
}

}  // namespace kestrum_render
