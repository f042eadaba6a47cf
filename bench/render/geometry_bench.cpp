// Grid geometry for a full 200 x 50 screen of coloured text with a warm glyph cache:
// the per-frame cost of an encoded frame before any GPU work. Goal: 150 microseconds.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <unordered_map>

#include "render/geometry.hpp"

namespace kestrum_render {
namespace {

// Caches like the atlas does: entries by key, shaped runs by text and style. After
// the first frame every lookup hits.
class WarmProvider : public GlyphProvider {
  public:
    std::optional<AtlasEntry> entry(GlyphKey key) override {
        auto [it, inserted] = entries_.try_emplace(key);
        if (inserted) {
            const float u = static_cast<float>(entries_.size() % 64) / 64.0f;
            it->second = AtlasEntry{{u, 0.0f, u + 1.0f / 64.0f, 0.05f}, {8, 14}, {1, 3}, false};
        }
        return it->second;
    }

    std::span<const ShapedGlyph> shape_run(std::string_view text, bool bold, bool italic) override {
        const auto style = static_cast<std::uint8_t>(bold + 2 * italic);
        auto& runs = runs_[style];
        auto it = runs.find(text);
        if (it == runs.end()) {
            std::vector<ShapedGlyph> shaped;
            for (std::size_t i = 0; i < text.size(); ++i) {
                shaped.push_back({GlyphKey::font_glyph(std::uint8_t(text[i]), style),
                                  10.0f * static_cast<float>(i)});
            }
            it = runs.emplace(std::string(text), std::move(shaped)).first;
        }
        return it->second;
    }

  private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    using RunCache =
        std::unordered_map<std::string, std::vector<ShapedGlyph>, TextHash, std::equal_to<>>;

    std::unordered_map<GlyphKey, AtlasEntry> entries_;
    std::array<RunCache, 4> runs_;  // by style
};

// Words of source-code-like text in eight colours, a few highlighted backgrounds,
// bold keywords, an underlined link and a box-drawn frame line.
kestrum_term::Frame coloured_screen() {
    constexpr std::uint16_t kCols = 200, kRows = 50;
    static constexpr const char* kWords[] = {"return",      "std::vector<int>",
                                             "x",           "=>",
                                             "if",          "(a != b)",
                                             "0x1F",        "render",
                                             "{",           "}",
                                             "//",          "kestrum",
                                             "frame.cells", "->",
                                             "const"};
    static constexpr kestrum::core::Rgb kPalette[] = {
        {220, 220, 220}, {255, 121, 198}, {139, 233, 253}, {80, 250, 123},
        {241, 250, 140}, {189, 147, 249}, {255, 184, 108}, {255, 85, 85}};
    kestrum_term::Frame f;
    f.cols = kCols;
    f.rows = kRows;
    f.background = {25, 23, 29};
    f.selection_bg = {68, 71, 90};
    f.match_bg = {120, 100, 0};
    f.focused_match_bg = {200, 150, 0};
    f.cells.reserve(std::size_t{kCols} * kRows);
    std::size_t word = 0;
    for (std::uint16_t row = 0; row < kRows; ++row) {
        std::uint16_t col = 0;
        while (col < kCols) {
            const std::string_view w = kWords[word % std::size(kWords)];
            const kestrum::core::Rgb fg = kPalette[word % std::size(kPalette)];
            const bool bold = word % 5 == 0;
            const bool highlighted = word % 11 == 0;
            for (char ch : w) {
                if (col >= kCols) break;
                kestrum_term::FrameCell c;
                c.c = static_cast<unsigned char>(ch);
                c.col = col++;
                c.row = row;
                c.fg = fg;
                c.bg = highlighted ? kestrum::core::Rgb{40, 42, 54} : f.background;
                c.bold = bold;
                c.underline = word % 23 == 0;
                f.cells.push_back(c);
            }
            if (col < kCols) {
                kestrum_term::FrameCell space;
                space.c = U' ';
                space.col = col++;
                space.row = row;
                space.fg = fg;
                space.bg = f.background;
                f.cells.push_back(space);
            }
            ++word;
        }
        if (row % 10 == 9) {
            for (std::uint16_t c = 0; c < 40; ++c)
                f.cells[f.cells.size() - 1 - c].c = U'─';
        }
    }
    f.cursor.visible = true;
    f.cursor.col = 10;
    f.cursor.x = 10.0f;
    f.cursor.row = 49;
    f.cursor.color = {248, 248, 242};
    return f;
}

CellMetrics metrics() {
    return {10.0f, 20.0f, 15.0f, 17.0f, 10.0f, 1.0f};
}

void BM_build_grid_geometry(benchmark::State& state) {
    const bool ligatures = state.range(0) != 0;
    const kestrum_term::Frame frame = coloured_screen();
    WarmProvider provider;
    build_grid_geometry(frame, metrics(), 0.9f, ligatures, provider);  // warm the caches
    for (auto _ : state) {
        Geometry g = build_grid_geometry(frame, metrics(), 0.9f, ligatures, provider);
        benchmark::DoNotOptimize(g.glyphs.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frame.cells.size()));
}
BENCHMARK(BM_build_grid_geometry)
    ->ArgName("ligatures")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

// The decoration step alone: backgrounds, box drawing and strokes, no glyphs.
void BM_emit_decorations(benchmark::State& state) {
    const kestrum_term::Frame frame = coloured_screen();
    for (auto _ : state) {
        Geometry g;
        emit_decorations(g, frame, metrics(), cursor_blend(frame.cursor), 0.9f);
        benchmark::DoNotOptimize(g.backgrounds.data());
    }
}
BENCHMARK(BM_emit_decorations)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrum_render

BENCHMARK_MAIN();
