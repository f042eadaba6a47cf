// A full 200 x 50 screen of coloured text through Renderer::render on the headless
// device, with a warm atlas. The CPU figure is the calling thread's time per frame;
// the "to completion" figure waits until the software rasteriser has finished.
#include <benchmark/benchmark.h>

#include <array>
#include <map>
#include <optional>
#include <string>

#include "core/log.hpp"
#include "platform/gl/headless.hpp"
#include "render/renderer.hpp"

namespace kestrum_render {
namespace {

constexpr std::uint16_t kCols = 200;
constexpr std::uint16_t kRows = 50;

// Code-like text in eight foreground colours, a few cells on their own backgrounds,
// a selection and a block cursor.
kestrum_term::Frame screen() {
    static constexpr std::array<kestrum::core::Rgb, 8> kColours = {{{220, 220, 220},
                                                                    {230, 90, 90},
                                                                    {120, 210, 120},
                                                                    {230, 200, 90},
                                                                    {110, 150, 240},
                                                                    {200, 120, 220},
                                                                    {100, 210, 210},
                                                                    {160, 160, 160}}};
    const std::string text =
        "for (auto& cell : frame.cells) { if (cell.c != U' ') draw(cell, metrics); } // -> => != ";
    kestrum_term::Frame f;
    f.cols = kCols;
    f.rows = kRows;
    f.background = {25, 23, 29};
    f.selection_bg = {70, 70, 100};
    f.match_bg = {200, 180, 0};
    f.focused_match_bg = {230, 120, 0};
    f.cells.reserve(std::size_t{kCols} * kRows);
    for (std::uint16_t r = 0; r < kRows; ++r) {
        for (std::uint16_t c = 0; c < kCols; ++c) {
            kestrum_term::FrameCell cell;
            cell.col = c;
            cell.row = r;
            cell.c = static_cast<unsigned char>(text[(std::size_t{r} * 7 + c) % text.size()]);
            // Colour changes every few cells, as syntax highlighting does.
            cell.fg = kColours[(c / 5 + r) % kColours.size()];
            cell.bg = (r % 10 == 3) ? kestrum::core::Rgb{40, 44, 60} : f.background;
            cell.bold = (c / 5) % 4 == 0;
            cell.selected = r == 20 && c < 80;
            f.cells.push_back(std::move(cell));
        }
    }
    f.cursor = {1.0f, 10.0f, 10, 30, {240, 200, 40}, kestrum_term::cursor_shape::Block,
                true, false};
    return f;
}

struct Setup {
    std::shared_ptr<kestrum::platform::Device> device;
    std::optional<Renderer> renderer;
    std::shared_ptr<kestrum::platform::Texture> target;
    Viewport viewport{};
    kestrum_term::Frame frame;
    TabBar tabs;
};

// One renderer per font size, kept for the whole run: the device lives on this thread.
Setup& setup(float font_size) {
    static std::map<float, Setup> setups;
    if (auto it = setups.find(font_size); it != setups.end()) return it->second;
    static std::shared_ptr<kestrum::platform::Device> device = [] {
        kestrum::core::init_logging(kestrum::core::LogFilter::parse("warn"),
                                    kestrum::core::ColorMode::never);
        const std::string dir = std::string(KESTRUM_SOURCE_DIR) + "/assets/fonts/CommitMonoV143/";
        for (const char* file : {"CommitMono-400-Regular.otf", "CommitMono-400-Italic.otf",
                                 "CommitMono-700-Regular.otf", "CommitMono-700-Italic.otf"}) {
            kestrum::platform::register_font_file(dir + file);
        }
        auto d = kestrum::platform::gl::create_headless_device();
        if (!d) throw std::runtime_error(fmt::format("{:#}", d.error()));
        return *d;
    }();
    Setup& s = setups[font_size];
    s.device = device;
    auto r = Renderer::create(device, kestrum::platform::PixelFormat::BGRA8Unorm, "CommitMono",
                              font_size);
    if (!r) throw std::runtime_error(r.error().display());
    s.renderer.emplace(std::move(*r));
    const float cw = s.renderer->cell_width(), ch = s.renderer->cell_height();
    // Two rows for the tab bar above the grid, as the view lays it out.
    s.viewport = {cw * kCols, ch * (kRows + 2)};
    s.target = device->new_texture({kestrum::platform::PixelFormat::BGRA8Unorm,
                                    static_cast<std::uint32_t>(s.viewport[0]),
                                    static_cast<std::uint32_t>(s.viewport[1])});
    s.renderer->set_padding(0, 2 * ch);
    s.frame = screen();
    for (int i = 0; i < 4; ++i) {
        const float x = 80.0f + i * 200.0f;
        s.tabs.tabs.push_back(
            {"~/src/kestrum " + std::to_string(i), {x, 4, 190, ch * 1.6f}, i == 1});
    }
    s.tabs.dot_inset = 10;
    s.tabs.dot_size = 6;
    s.tabs.dot_gap = 6;
    s.tabs.pill_radius = 8;
    return s;
}

// Waits for the rasteriser by reading one pixel back.
void finish(const Setup& s) {
    std::uint8_t px[4];
    s.target->get_bytes(px, 4, {0, 0, 1, 1});
    benchmark::DoNotOptimize(px);
}

void BM_RenderFrame(benchmark::State& state) {
    Setup& s = setup(static_cast<float>(state.range(0)));
    s.renderer->set_ligatures(state.range(1) != 0);
    const Overlays overlays{&s.tabs, nullptr, nullptr};
    s.renderer->render(s.frame, overlays, s.target, nullptr, s.viewport, {});  // warm the atlas
    finish(s);
    for (auto _ : state) {
        s.renderer->render(s.frame, overlays, s.target, nullptr, s.viewport, {});
        state.PauseTiming();
        finish(s);
        state.ResumeTiming();
    }
    if (s.renderer->take_needs_redraw()) state.SkipWithError("the atlas grew during the run");
}
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"px", "ligatures"})
    ->Args({14, 0})
    ->Args({14, 1})
    ->Args({28, 0})
    ->Unit(benchmark::kMillisecond);

// The same frame until the pixels are in the target: the software rasteriser's share.
void BM_RenderFrameToCompletion(benchmark::State& state) {
    Setup& s = setup(static_cast<float>(state.range(0)));
    s.renderer->set_ligatures(false);
    const Overlays overlays{&s.tabs, nullptr, nullptr};
    s.renderer->render(s.frame, overlays, s.target, nullptr, s.viewport, {});
    finish(s);
    for (auto _ : state) {
        s.renderer->render(s.frame, overlays, s.target, nullptr, s.viewport, {});
        finish(s);
    }
}
BENCHMARK(BM_RenderFrameToCompletion)
    ->ArgName("px")
    ->Arg(14)
    ->Arg(28)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The geometry of the grid alone, glyphs answered from the warm atlas.
void BM_GridGeometry(benchmark::State& state) {
    Setup& s = setup(14);
    GlyphAtlas& atlas = s.renderer->atlas();
    const CellMetrics m = s.renderer->metrics();
    build_grid_geometry(s.frame, m, 1.0f, state.range(0) != 0, atlas);
    for (auto _ : state) {
        Geometry g = build_grid_geometry(s.frame, m, 1.0f, state.range(0) != 0, atlas);
        benchmark::DoNotOptimize(g);
    }
}
BENCHMARK(BM_GridGeometry)->ArgName("ligatures")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// What an idle tick costs: comparing the frame with the last presented one.
void BM_UnchangedFrame(benchmark::State& state) {
    Setup& s = setup(14);
    const Overlays overlays{&s.tabs, nullptr, nullptr};
    s.renderer->render(s.frame, overlays, s.target, nullptr, s.viewport, {});
    finish(s);
    s.renderer->take_needs_redraw();
    s.renderer->render(s.frame, overlays, s.target, nullptr, s.viewport, {});
    finish(s);
    const kestrum_term::Frame copy = s.frame;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.renderer->is_unchanged(copy, overlays, s.viewport, 0));
    }
    if (!s.renderer->is_unchanged(copy, overlays, s.viewport, 0)) state.SkipWithError("changed");
}
BENCHMARK(BM_UnchangedFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrum_render

BENCHMARK_MAIN();
