// The renderer on a headless GL device with real fonts: frames rendered and read
// back against a reference built from the rasterised glyphs, the wallpaper under
// the glass, overlay order and clipping, frame skipping and its invalidation,
// presenting, atlas growth while encoding and font rebuilds.
#include "render/renderer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "core/log.hpp"
#include "platform/gl/headless.hpp"

namespace kestrum_render {
namespace {

using kestrum::core::Rgb;
using kestrum::platform::PixelFormat;
using Px = std::array<int, 4>;  // r, g, b, a

const std::string kBundled = std::string(KESTRUM_SOURCE_DIR) + "/assets/fonts/CommitMonoV143/";

constexpr Rgb kDefaultBg{25, 23, 29};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kRed{200, 30, 40};
constexpr Rgb kBlue{20, 40, 160};
constexpr Rgb kGreen{30, 170, 60};
constexpr Rgb kSelection{90, 90, 120};
constexpr Rgb kCursor{240, 200, 40};

// Read-back pixels of one rendered target, as RGBA.
struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<Px> px;
    Px at(std::uint32_t x, std::uint32_t y) const { return px[std::size_t{y} * width + x]; }
};

std::string show(Px p) {
    return fmt::format("({}, {}, {}, {})", p[0], p[1], p[2], p[3]);
}

Px opaque(Rgb c) {
    return {c.r, c.g, c.b, 255};
}

bool near(Px a, Px b, int tolerance) {
    for (int i = 0; i < 4; ++i)
        if (std::abs(a[i] - b[i]) > tolerance) return false;
    return true;
}

// A cols x rows frame of blanks on `cell_bg` with white text colour.
kestrum_term::Frame blank_frame(std::uint16_t cols, std::uint16_t rows, Rgb cell_bg) {
    kestrum_term::Frame f;
    f.cols = cols;
    f.rows = rows;
    f.background = kDefaultBg;
    f.selection_bg = kSelection;
    f.match_bg = {200, 180, 0};
    f.focused_match_bg = {230, 120, 0};
    for (std::uint16_t r = 0; r < rows; ++r) {
        for (std::uint16_t c = 0; c < cols; ++c) {
            kestrum_term::FrameCell cell;
            cell.col = c;
            cell.row = r;
            cell.fg = kWhite;
            cell.bg = cell_bg;
            f.cells.push_back(cell);
        }
    }
    return f;
}

kestrum_term::FrameCell& cell_at(kestrum_term::Frame& f, std::uint16_t col, std::uint16_t row) {
    return f.cells[std::size_t{row} * f.cols + col];
}

void write(kestrum_term::Frame& f, std::uint16_t col, std::uint16_t row, std::u32string_view text,
           Rgb fg, bool bold = false) {
    for (char32_t c : text) {
        kestrum_term::FrameCell& cell = cell_at(f, col++, row);
        cell.c = c;
        cell.fg = fg;
        cell.bold = bold;
    }
}

void block_cursor(kestrum_term::Frame& f, std::uint16_t col, std::uint16_t row) {
    f.cursor.visible = true;
    f.cursor.shape = kestrum_term::cursor_shape::Block;
    f.cursor.col = col;
    f.cursor.row = row;
    f.cursor.x = col;
    f.cursor.opacity = 1.0f;
    f.cursor.color = kCursor;
}

class RendererTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static std::once_flag once;
        std::call_once(once, [] {
            kestrum::core::init_logging(kestrum::core::LogFilter::parse("info"),
                                        kestrum::core::ColorMode::never);
        });
        for (const char* file : {"CommitMono-400-Regular.otf", "CommitMono-400-Italic.otf",
                                 "CommitMono-700-Regular.otf", "CommitMono-700-Italic.otf"}) {
            ASSERT_TRUE(kestrum::platform::register_font_file(kBundled + file)) << file;
        }
        auto d = kestrum::platform::gl::create_headless_device();
        ASSERT_TRUE(d.has_value()) << fmt::format("{:#}", d.error());
        device_ = *d;
    }
    static void TearDownTestSuite() { device_.reset(); }
    void SetUp() override { ASSERT_TRUE(device_); }

    static Renderer renderer(float size = 14) {
        auto r = Renderer::create(device_, PixelFormat::BGRA8Unorm, "CommitMono", size);
        if (!r) throw std::runtime_error(r.error().display());
        return std::move(*r);
    }

    static std::shared_ptr<kestrum::platform::Texture> target(std::uint32_t w, std::uint32_t h) {
        return device_->new_texture({PixelFormat::BGRA8Unorm, w, h});
    }

    static Image read(const kestrum::platform::Texture& t) {
        Image img{t.width(), t.height(), {}};
        std::vector<std::uint8_t> bytes(std::size_t{img.width} * img.height * 4);
        t.get_bytes(bytes.data(), img.width * 4, {0, 0, img.width, img.height});
        img.px.resize(std::size_t{img.width} * img.height);
        for (std::size_t i = 0; i < img.px.size(); ++i) {
            // BGRA in memory.
            img.px[i] = {bytes[i * 4 + 2], bytes[i * 4 + 1], bytes[i * 4], bytes[i * 4 + 3]};
        }
        return img;
    }

    // Renders into a fresh w x h target and reads it back.
    static Image draw(Renderer& r, const kestrum_term::Frame& frame, std::uint32_t w,
                      std::uint32_t h, const Overlays& overlays = {},
                      const RenderOptions& options = {}) {
        auto t = target(w, h);
        r.render(frame, overlays, t, nullptr, {float(w), float(h)}, options);
        return read(*t);
    }

    template <typename F>
    static std::string logged(F&& body) {
        ::testing::internal::CaptureStderr();
        body();
        return ::testing::internal::GetCapturedStderr();
    }

    static inline std::shared_ptr<kestrum::platform::Device> device_;
};

// The expected picture of a grid whose cells all have their own background: every
// background, then the block cursor, then every glyph composited with its coverage.
class Reference {
  public:
    Reference(std::uint32_t w, std::uint32_t h) : width_(w), height_(h), px_(std::size_t{w} * h) {}

    void fill(float x, float y, float w, float h, Rgb c) {
        for (int py = int(y); py < int(y + h); ++py)
            for (int px = int(x); px < int(x + w); ++px)
                if (inside(px, py)) px_[index(px, py)] = {float(c.r), float(c.g), float(c.b)};
    }

    void glyph(const Raster& raster, float x, float y, Rgb c) {
        for (std::uint32_t gy = 0; gy < raster.height; ++gy) {
            for (std::uint32_t gx = 0; gx < raster.width; ++gx) {
                const int px = int(x) + int(gx), py = int(y) + int(gy);
                if (!inside(px, py)) continue;
                const float cov = raster.pixels[gy * raster.width + gx] / 255.0f;
                auto& d = px_[index(px, py)];
                d = {c.r * cov + d[0] * (1 - cov), c.g * cov + d[1] * (1 - cov),
                     c.b * cov + d[2] * (1 - cov)};
            }
        }
    }

    Px at(std::uint32_t x, std::uint32_t y) const {
        const auto& p = px_[index(int(x), int(y))];
        return {int(std::lround(p[0])), int(std::lround(p[1])), int(std::lround(p[2])), 255};
    }

  private:
    bool inside(int x, int y) const {
        return x >= 0 && y >= 0 && x < int(width_) && y < int(height_);
    }
    std::size_t index(int x, int y) const { return std::size_t(y) * width_ + std::size_t(x); }

    std::uint32_t width_, height_;
    std::vector<std::array<float, 3>> px_;
};

TEST_F(RendererTest, TextBackgroundsSelectionAndCursorMatchTheReference) {
    Renderer r = renderer();
    const float pad_x = 3, pad_y = 2;
    r.set_padding(pad_x, pad_y);
    const CellMetrics m = r.metrics();

    kestrum_term::Frame f = blank_frame(8, 2, kBlue);
    write(f, 0, 0, U"Hi,gy!", kWhite);
    write(f, 6, 0, U"W", kGreen, true);
    write(f, 0, 1, U"{a}", kRed);
    for (std::uint16_t c = 4; c < 8; ++c)
        cell_at(f, c, 1).bg = kGreen;
    write(f, 4, 1, U"Sel", kWhite);
    cell_at(f, 4, 1).selected = true;
    cell_at(f, 5, 1).selected = true;
    block_cursor(f, 1, 0);  // over the "i"

    const auto w = std::uint32_t(2 * pad_x + 8 * m.cell_width);
    const auto h = std::uint32_t(2 * pad_y + 2 * m.cell_height);
    const Image img = draw(r, f, w, h);

    Reference ref(w, h);
    auto origin = [&](const kestrum_term::FrameCell& c) {
        return std::array<float, 2>{pad_x + c.col * m.cell_width, pad_y + c.row * m.cell_height};
    };
    for (const auto& c : f.cells) {
        const auto [x, y] = origin(c);
        ref.fill(x, y, m.cell_width, m.cell_height, c.selected ? kSelection : c.bg);
    }
    ref.fill(pad_x + m.cell_width, pad_y, m.cell_width, m.cell_height, kCursor);
    Font font = *Font::create("CommitMono", 14);
    for (const auto& c : f.cells) {
        if (c.c == U' ') continue;
        const auto glyph = font.glyph_for_character(c.c, c.bold, c.italic);
        ASSERT_TRUE(glyph) << char(c.c);
        const auto raster = Font::rasterize_glyph_in(m.baseline, glyph->face, glyph->glyph);
        ASSERT_TRUE(raster) << char(c.c);
        const auto [x, y] = origin(c);
        // Text under the full block cursor takes the default background.
        const bool under_cursor = c.col == 1 && c.row == 0;
        ref.glyph(*raster, x + raster->offset[0], y + raster->offset[1],
                  under_cursor ? kDefaultBg : c.fg);
    }

    // Inside the grid (the padding shows the wallpaper).
    int compared = 0, inked = 0, wrong = 0;
    std::string first_wrong;
    for (std::uint32_t y = std::uint32_t(pad_y); y < h - std::uint32_t(pad_y); ++y) {
        for (std::uint32_t x = std::uint32_t(pad_x); x < w - std::uint32_t(pad_x); ++x) {
            ++compared;
            const Px want = ref.at(x, y);
            if (!near(want, opaque(kBlue), 0) && !near(want, opaque(kGreen), 0) &&
                !near(want, opaque(kSelection), 0) && !near(want, opaque(kCursor), 0)) {
                ++inked;
            }
            if (!near(img.at(x, y), want, 2)) {
                if (wrong++ == 0) {
                    first_wrong = fmt::format("at ({}, {}) got {} want {}", x, y,
                                              show(img.at(x, y)), show(want));
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0) << wrong << " of " << compared << " pixels differ; first " << first_wrong;
    EXPECT_GT(inked, 150) << "the reference holds too little text to prove anything";
}

TEST_F(RendererTest, EmojiDrawInTheirOwnColours) {
    Renderer r = renderer(28);
    const CellMetrics m = r.metrics();
    kestrum_term::Frame f = blank_frame(3, 1, kBlue);
    write(f, 0, 0, U"\U0001F600", kWhite);  // grinning face: yellow
    cell_at(f, 0, 0).wide = true;
    f.cells.erase(f.cells.begin() + 1);  // its spacer is left out
    const Image img = draw(r, f, std::uint32_t(3 * m.cell_width), std::uint32_t(m.cell_height));
    int yellow = 0;
    for (std::uint32_t y = 0; y < img.height; ++y)
        for (std::uint32_t x = 0; x < std::uint32_t(2 * m.cell_width); ++x) {
            const Px p = img.at(x, y);
            yellow += p[0] > 200 && p[1] > 150 && p[2] < 100 && p[3] == 255;
        }
    EXPECT_GT(yellow, 50);
}

TEST_F(RendererTest, WallpaperShowsUnderDefaultCellsAndTheGlass) {
    for (float alpha : {1.0f, 0.5f}) {
        SCOPED_TRACE(alpha);
        Renderer r = renderer();
        r.set_background_alpha(alpha);
        const CellMetrics m = r.metrics();
        kestrum_term::Frame f = blank_frame(2, 1, kDefaultBg);
        f.background = {200, 200, 200};  // a clear in this colour would be bright
        for (auto& c : f.cells)
            c.bg = f.background;
        cell_at(f, 1, 0).bg = kRed;
        const Image img = draw(r, f, std::uint32_t(2 * m.cell_width), std::uint32_t(m.cell_height));
        const int a = int(std::lround(alpha * 255));
        // The default cell shows the dark gradient, premultiplied by the glass alpha.
        const Px wall = img.at(std::uint32_t(m.cell_width / 2), std::uint32_t(m.cell_height / 2));
        EXPECT_EQ(wall[3], a) << show(wall);
        for (int i = 0; i < 3; ++i)
            EXPECT_LT(wall[i], 0x90 * alpha) << show(wall);
        // The coloured cell replaces it with its own premultiplied colour.
        const Px cell =
            img.at(std::uint32_t(m.cell_width * 1.5f), std::uint32_t(m.cell_height / 2));
        EXPECT_TRUE(near(cell,
                         {int(std::lround(kRed.r * alpha)), int(std::lround(kRed.g * alpha)),
                          int(std::lround(kRed.b * alpha)), a},
                         1))
            << show(cell);
    }
}

TEST_F(RendererTest, OverlaysDrawOverTheGridInOrder) {
    Renderer r = renderer();
    r.set_padding(0, 0);
    kestrum_term::Frame f = blank_frame(30, 10, kRed);  // covers the whole target
    const std::uint32_t w = 200, h = 120;

    TabBar tabs;
    tabs.tabs.push_back({"", {0, 0, 120, 40}, false});  // a plain inactive pill: only its dot
    tabs.dot_inset = 10;
    tabs.dot_size = 30;
    tabs.inactive_dot = {10, 200, 10};
    tabs.clip_left = 0;
    SearchBar search;
    search.rect = {20, 20, 160, 60};
    search.background = {28, 28, 32};
    Scrollbar thumb;
    thumb.rect = {170, 10, 20, 100};
    thumb.alpha = 1;
    thumb.color = {180, 180, 188};

    const Overlays overlays{&tabs, &search, &thumb};
    const Image img = draw(r, f, w, h, overlays);
    EXPECT_EQ(img.at(5, 100), opaque(kRed)) << "grid alone";
    EXPECT_EQ(img.at(25, 15), opaque(tabs.inactive_dot)) << "the dot over the grid";
    EXPECT_EQ(img.at(30, 30), opaque(search.background)) << "the search panel over the dot";
    EXPECT_EQ(img.at(175, 30), opaque(thumb.color)) << "the thumb over the panel";
    EXPECT_EQ(img.at(175, 5), opaque(kRed)) << "above the thumb";
}

TEST_F(RendererTest, TabBarClipsLeftOfItsInsetOnly) {
    struct Case {
        float clip_left;
        bool left_drawn;
    };
    const Case cases[] = {{0, true}, {30, false}, {200, true}, {500, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clip_left);
        Renderer r = renderer();
        TabBar tabs;
        tabs.tabs.push_back({"", {0, 0, 100, 40}, false});
        tabs.dot_inset = 0;
        tabs.dot_size = 40;  // a 40 x 40 dot at x 0..40
        tabs.inactive_dot = {10, 200, 10};
        tabs.clip_left = c.clip_left;
        // Drawn after the tab bar: the scissor must be gone by then.
        Scrollbar thumb{{0, 50, 10, 10}, 0, 1, {180, 180, 188}};
        const Image img = draw(r, blank_frame(20, 4, kRed), 200, 80, {&tabs, nullptr, &thumb});
        EXPECT_EQ(img.at(20, 20) == opaque(tabs.inactive_dot), c.left_drawn)
            << show(img.at(20, 20));
        if (c.clip_left < 200) {
            EXPECT_EQ(img.at(35, 20), opaque(tabs.inactive_dot));
        }
        EXPECT_EQ(img.at(5, 55), opaque(thumb.color));
    }
}

TEST_F(RendererTest, ScrollClipShiftsAndClipsTheGrid) {
    Renderer r = renderer();
    const CellMetrics m = r.metrics();
    const auto ch = m.cell_height;
    kestrum_term::Frame f = blank_frame(4, 3, kRed);
    const std::uint32_t w = std::uint32_t(4 * m.cell_width), h = std::uint32_t(4 * ch);
    const float offset = 5;
    struct Case {
        const char* name;
        Rect clip;
        bool top_row_drawn;     // rows 0 .. ch
        bool below_grid_drawn;  // just under 3 ch, inside the shifted grid
    };
    const Case cases[] = {
        {"rows 1 and 2 only", {0, ch, float(w), 2 * ch}, false, false},
        {"outside the viewport", {float(w) + 10, 0, 50, 50}, true, true},
        {"empty", {0, ch, float(w), 0}, true, true},
        {"hanging over every edge", {-20, -20, float(w) + 40, float(h) + 40}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenderOptions options;
        options.scroll_clip = ScrollClip{c.clip, offset};
        const Image img = draw(r, f, w, h, {}, options);
        // The grid moved down by the offset: its first rows of pixels are wallpaper.
        EXPECT_NE(img.at(2, 2), opaque(kRed));
        EXPECT_EQ(img.at(2, std::uint32_t(offset + 2)) == opaque(kRed), c.top_row_drawn);
        EXPECT_EQ(img.at(2, std::uint32_t(ch + 2)) == opaque(kRed), true);
        EXPECT_EQ(img.at(2, std::uint32_t(3 * ch + 2)) == opaque(kRed), c.below_grid_drawn);
        EXPECT_NE(img.at(2, std::uint32_t(3 * ch + offset + 2)), opaque(kRed));
        EXPECT_TRUE(r.is_unchanged(f, {}, {float(w), float(h)}, offset));
        EXPECT_FALSE(r.is_unchanged(f, {}, {float(w), float(h)}, 0));
    }
}

TEST_F(RendererTest, OnlyAnIdenticalFrameIsSkipped) {
    Renderer r = renderer();
    kestrum_term::Frame f = blank_frame(6, 2, kDefaultBg);
    write(f, 0, 0, U"abc", kWhite);
    block_cursor(f, 3, 0);
    TabBar tabs;
    tabs.tabs.push_back({"one", {0, 0, 60, 20}, true});
    SearchBar search{"Find: x", {10, 10, 80, 20}, 4, {}, {}, {}};
    const Viewport viewport{100, 60};
    const Overlays overlays{&tabs, &search, nullptr};

    EXPECT_FALSE(r.is_unchanged(f, overlays, viewport, 0)) << "nothing presented yet";
    r.render(f, overlays, target(100, 60), nullptr, viewport, {});
    EXPECT_TRUE(r.is_unchanged(f, overlays, viewport, 0));
    EXPECT_FALSE(r.take_needs_redraw());

    struct Change {
        const char* name;
        std::function<void(kestrum_term::Frame&, TabBar&, SearchBar&, Scrollbar&, Overlays&,
                           Viewport&, float&)>
            apply;
    };
    const Change changes[] = {
        {"cursor glides",
         [](auto& f, auto&, auto&, auto&, auto&, auto&, auto&) { f.cursor.x = 3.5f; }},
        {"cursor blinks",
         [](auto& f, auto&, auto&, auto&, auto&, auto&, auto&) { f.cursor.opacity = 0.5f; }},
        {"a cell's colour",
         [](auto& f, auto&, auto&, auto&, auto&, auto&, auto&) { f.cells[4].fg = kRed; }},
        {"a zero-width mark", [](auto& f, auto&, auto&, auto&, auto&, auto&,
                                 auto&) { f.cells[0].zerowidth.push_back(U'\u0301'); }},
        {"the selection colour",
         [](auto& f, auto&, auto&, auto&, auto&, auto&, auto&) { f.selection_bg = kRed; }},
        {"one cell fewer",
         [](auto& f, auto&, auto&, auto&, auto&, auto&, auto&) { f.cells.pop_back(); }},
        {"a tab title",
         [](auto&, auto& t, auto&, auto&, auto&, auto&, auto&) { t.tabs[0].title = "two"; }},
        {"the hover",
         [](auto&, auto& t, auto&, auto&, auto&, auto&, auto&) { t.hover_progress = 0.1f; }},
        {"no tab bar",
         [](auto&, auto&, auto&, auto&, auto& o, auto&, auto&) { o.tab_bar = nullptr; }},
        {"the search text",
         [](auto&, auto&, auto& s, auto&, auto&, auto&, auto&) { s.text = "Find: xy"; }},
        {"no search bar",
         [](auto&, auto&, auto&, auto&, auto& o, auto&, auto&) { o.search_bar = nullptr; }},
        {"a scrollbar",
         [](auto&, auto&, auto&, auto& b, auto& o, auto&, auto&) { o.scrollbar = &b; }},
        {"the viewport", [](auto&, auto&, auto&, auto&, auto&, auto& v, auto&) { v[1] = 61; }},
        {"the scroll offset", [](auto&, auto&, auto&, auto&, auto&, auto&, auto& s) { s = 3; }},
    };
    for (const Change& c : changes) {
        kestrum_term::Frame f2 = f;
        TabBar tabs2 = tabs;
        SearchBar search2 = search;
        Scrollbar thumb2;
        Overlays overlays2{&tabs2, &search2, nullptr};
        Viewport viewport2 = viewport;
        float scroll = 0;
        c.apply(f2, tabs2, search2, thumb2, overlays2, viewport2, scroll);
        EXPECT_FALSE(r.is_unchanged(f2, overlays2, viewport2, scroll)) << c.name;
    }
    EXPECT_TRUE(r.is_unchanged(f, overlays, viewport, 0));
}

TEST_F(RendererTest, SettersInvalidateOnlyOnAChange) {
    Renderer r = renderer();
    kestrum_term::Frame f = blank_frame(4, 2, kDefaultBg);
    const Viewport viewport{60, 40};
    auto present = [&] { r.render(f, {}, target(60, 40), nullptr, viewport, {}); };
    struct Case {
        const char* name;
        std::function<void(Renderer&)> set;
        bool invalidates;
    };
    const Case cases[] = {
        {"same padding", [](Renderer& r) { r.set_padding(0, 0); }, false},
        {"padding x", [](Renderer& r) { r.set_padding(1, 0); }, true},
        {"padding y", [](Renderer& r) { r.set_padding(0, 0.5f); }, true},
        {"padding that is not a number", [](Renderer& r) { r.set_padding(NAN, 0); }, false},
        {"same ligatures", [](Renderer& r) { r.set_ligatures(false); }, false},
        {"ligatures on", [](Renderer& r) { r.set_ligatures(true); }, true},
        {"same alpha", [](Renderer& r) { r.set_background_alpha(1.0f); }, false},
        {"alpha clamped to the same", [](Renderer& r) { r.set_background_alpha(7.0f); }, false},
        {"alpha that is not a number", [](Renderer& r) { r.set_background_alpha(NAN); }, false},
        {"alpha 0.5", [](Renderer& r) { r.set_background_alpha(0.5f); }, true},
        {"alpha back to 1", [](Renderer& r) { r.set_background_alpha(1.0f); }, true},
        {"alpha clamped to 0", [](Renderer& r) { r.set_background_alpha(-3.0f); }, true},
    };
    for (const Case& c : cases) {
        // Each case starts from the defaults with a presented frame.
        r.set_padding(0, 0);
        r.set_ligatures(false);
        if (std::string(c.name) == "alpha back to 1") {
            r.set_background_alpha(0.5f);
        } else {
            r.set_background_alpha(1.0f);
        }
        present();
        ASSERT_TRUE(r.is_unchanged(f, {}, viewport, 0)) << c.name;
        logged([&] { c.set(r); });
        EXPECT_EQ(r.is_unchanged(f, {}, viewport, 0), !c.invalidates) << c.name;
    }
    EXPECT_EQ(r.background_alpha(), 0.0f);
}

TEST_F(RendererTest, AFrameThatCannotBeEncodedChangesNothing) {
    Renderer r = renderer();
    const kestrum_term::Frame f = blank_frame(4, 2, kRed);
    r.render(f, {}, target(40, 40), nullptr, {40, 40}, {});
    ASSERT_TRUE(r.is_unchanged(f, {}, {40, 40}, 0));
    // No render target: no encoder, the frame is dropped.
    const kestrum_term::Frame other = blank_frame(4, 2, kBlue);
    logged([&] { r.render(other, {}, nullptr, nullptr, {50, 50}, {}); });
    EXPECT_TRUE(r.is_unchanged(f, {}, {40, 40}, 0));
    EXPECT_FALSE(r.is_unchanged(other, {}, {50, 50}, 0));
    EXPECT_FALSE(r.take_needs_redraw());
}

TEST_F(RendererTest, PresentsTheDrawableEitherWay) {
    for (bool transaction : {false, true}) {
        SCOPED_TRACE(transaction);
        Renderer r = renderer();
        kestrum::platform::Layer layer(device_, PixelFormat::BGRA8Unorm);
        layer.set_drawable_size({40, 30});
        int presents = 0;
        layer.set_present_callback([&] { ++presents; });
        auto drawable = layer.next_drawable();
        ASSERT_TRUE(drawable);
        RenderOptions options;
        options.present_with_transaction = transaction;
        r.render(blank_frame(2, 1, kRed), {}, drawable->texture(), drawable, {40, 30}, options);
        EXPECT_EQ(presents, 1);
        ASSERT_EQ(layer.presented_texture(), drawable->texture());
        EXPECT_EQ(read(*layer.presented_texture()).at(1, 1), opaque(kRed));
    }
}

TEST_F(RendererTest, AtlasGrowthWhileEncodingForcesExactlyOneMoreFrame) {
    // Glyphs of about 120 x 150 pixels: the printable ASCII set overflows 1024 x 1024.
    Renderer r = renderer(200);
    kestrum_term::Frame f = blank_frame(94, 1, kDefaultBg);
    for (std::uint16_t i = 0; i < 94; ++i)
        cell_at(f, i, 0).c = U'!' + i;
    const Viewport viewport{300, 300};

    kestrum::platform::Layer layer(device_, PixelFormat::BGRA8Unorm);
    layer.set_drawable_size({300, 300});
    auto drawable = layer.next_drawable();
    r.render(f, {}, drawable->texture(), drawable, viewport, {});
    EXPECT_EQ(r.atlas().coverage().side, 2048u);
    EXPECT_EQ(layer.presented_texture(), drawable->texture()) << "the frame is still shown";
    EXPECT_FALSE(r.is_unchanged(f, {}, viewport, 0));
    EXPECT_TRUE(r.take_needs_redraw());
    EXPECT_FALSE(r.take_needs_redraw());

    r.render(f, {}, target(300, 300), nullptr, viewport, {});
    EXPECT_FALSE(r.take_needs_redraw());
    EXPECT_TRUE(r.is_unchanged(f, {}, viewport, 0));
}

TEST_F(RendererTest, RebuildingTheFontReplacesTheAtlasOrKeepsTheOld) {
    Renderer r = renderer(14);
    const kestrum_term::Frame f = blank_frame(4, 2, kRed);
    r.render(f, {}, target(40, 40), nullptr, {40, 40}, {});
    const CellMetrics before = r.metrics();

    // A size no font is made at: the old font and the presented frame stay.
    const auto failed = r.rebuild_font("CommitMono", 0);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), (RenderError{RenderError::Kind::Font, "CommitMono"}));
    EXPECT_EQ(r.metrics(), before);
    EXPECT_TRUE(r.is_unchanged(f, {}, {40, 40}, 0));

    ASSERT_TRUE(r.rebuild_font("CommitMono", 28));
    EXPECT_EQ(r.cell_width(), 2 * before.cell_width - 1);  // ceil(16.8) against ceil(8.4)
    EXPECT_FALSE(r.is_unchanged(f, {}, {40, 40}, 0));
    EXPECT_EQ(r.atlas().cached_entries(), 0u);
}

TEST_F(RendererTest, CreationReportsAnUnusableFontByItsFamily) {
    std::expected<Renderer, RenderError> r = std::unexpected(RenderError{});
    logged([&] { r = Renderer::create(device_, PixelFormat::BGRA8Unorm, "Commit Mono", -1); });
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), "font 'Commit Mono' could not be loaded");
    EXPECT_EQ(r.error().diagnostic(), "Font(\"Commit Mono\")");
    EXPECT_EQ(fmt::format("{}", r.error()), "font 'Commit Mono' could not be loaded");
    // A family that is not installed still gives a renderer, on the stand-in family.
    std::expected<Renderer, RenderError> fallback = std::unexpected(RenderError{});
    const std::string log = logged(
        [&] { fallback = Renderer::create(device_, PixelFormat::BGRA8Unorm, "No Such Font", 14); });
    EXPECT_TRUE(fallback);
    EXPECT_NE(log.find("font family \"No Such Font\" unavailable; falling back to monospace"),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace kestrum_render
