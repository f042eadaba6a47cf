// The terminal view on the in-memory window system and the headless GL device, with
// a real child (a quiet /bin/sh script) in a real pseudo-terminal: geometry, the
// tick's steps, the blink, the glide, the frame-rate governor, the latency probe and
// the tab bar's hit test while a tab is renamed.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "app/app_delegate.hpp"
#include "app/bundled_fonts.hpp"
#include "app/terminal_view.hpp"
#include "platform/fake/fake.hpp"
#include "platform/gl/headless.hpp"
#include "support/env.hpp"
#include "support/log_capture.hpp"

namespace kestrum_app {
namespace {

namespace fs = std::filesystem;
namespace platform = kestrum::platform;
using namespace std::chrono_literals;
using kestrum::core::Clock;
using platform::FrameRateRange;

std::shared_ptr<platform::Device> headless_device() {
    // One per process: the context stays current on the test thread. The fonts are
    // the program's own, as at start-up.
    static auto device = [] {
        register_bundled_fonts();
        return platform::gl::create_headless_device();
    }();
    return device ? *device : nullptr;
}

class ViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!headless_device()) GTEST_SKIP() << "no headless GL device";
        char tmpl[] = "/tmp/kestrum-view-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        // A shell that prints nothing and reads everything: output comes only from
        // the terminal's echo of what a test types.
        fs::path shell = dir_ / "quiet.sh";
        std::ofstream(shell) << "#!/bin/sh\nexec cat >/dev/null\n";
        fs::permissions(shell, fs::perms::owner_all);
        fs::create_directories(dir_ / "config/kestrum");
        std::ofstream(dir_ / "config/kestrum/config.toml")
            << "shell = \"" << shell.string() << "\"\n"
            << "[font]\nsize = 14.0\n[padding]\nx = 8.0\ny = 6.0\n"
            << "[cursor]\nblink = true\n";
        env_.set("HOME", dir_.c_str());
        env_.set("XDG_CONFIG_HOME", (dir_ / "config").c_str());
        env_.set("SHELL", shell.c_str());
        env_.set("KESTRUM_LATENCY", nullptr);
    }

    void TearDown() override {
        delegate_.reset();
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    // Launches as the application delegate does, on the fake window system.
    void launch() {
        delegate_ = std::make_unique<AppDelegate>(
            app_, []() -> kestrum::core::Result<std::shared_ptr<platform::Device>> {
                return headless_device();
            });
        app_.run(*delegate_);
        ASSERT_NE(delegate_->view(), nullptr);
        view_ = delegate_->view();
        window_ = app_.windows.at(0);
    }

    kestrum_tabs::Session& active() { return *view_->tab_manager().active_session(); }
    const std::vector<FrameRateRange>& ranges() { return window_->link->ranges; }

    // One display-link tick, as a refresh would.
    void tick() { window_->tick(); }

    void feed(const std::string& bytes) {
        auto& s = active();
        std::lock_guard lock(s.terminal->mutex);
        s.terminal->terminal->feed(bytes);
        s.dirty->store(true);
    }

    fs::path dir_;
    kestrum::testing::ScopedEnv env_;
    platform::fake::FakeApplication app_;
    std::unique_ptr<AppDelegate> delegate_;
    TerminalView* view_ = nullptr;
    platform::fake::FakeWindow* window_ = nullptr;
};

TEST_F(ViewTest, ScreenSetsScaleAndTheHighestRate) {
    struct Case {
        std::optional<platform::Screen> screen;
        double scale;
        float max_fps;
    };
    const Case cases[] = {
        {platform::Screen{2.0, 120.0}, 2.0, 120},
        {platform::Screen{1.0, 30.0}, 1.0, 60},  // a slow screen still asks for 60
        {std::nullopt, 2.0, 60},
    };
    for (const auto& c : cases) {
        app_.screen = c.screen;
        launch();
        EXPECT_EQ(view_->scale, c.scale);
        EXPECT_EQ(view_->max_fps, c.max_fps);
        EXPECT_EQ(view_->current_fps, c.max_fps);
        ASSERT_FALSE(ranges().empty());
        EXPECT_EQ(ranges().back(), (FrameRateRange{30, c.max_fps, c.max_fps}));
        delegate_.reset();
    }
}

TEST_F(ViewTest, FrameSizeSetsTheGridAndTooSmallLeavesIt) {
    launch();
    const float cw = view_->renderer->cell_width();
    const float ch = view_->renderer->cell_height();
    view_->set_frame_size({400, 300});
    auto expected = grid_size(800, 600, 16, 12, cw, ch);
    ASSERT_TRUE(expected);
    EXPECT_EQ(active().cols(), expected->cols);
    EXPECT_EQ(active().rows(), expected->rows);

    // 10 px wide at scale 2 is less than its 2 x 16 px of padding.
    view_->set_frame_size({5, 300});
    EXPECT_EQ(active().cols(), expected->cols);
    EXPECT_EQ(active().rows(), expected->rows);
    EXPECT_EQ(view_->layer().drawable_size().width, 10u);
}

TEST_F(ViewTest, LiveResizeFollowsWithTheActiveTabAndResizesAllAtTheEnd) {
    launch();
    view_->new_tab();
    auto& tabs = view_->tab_manager();
    ASSERT_EQ(tabs.sessions.size(), 2u);
    const auto before_cols = tabs.sessions[0]->cols();

    view_->view_will_start_live_resize();
    EXPECT_TRUE(view_->layer().presents_with_transaction());
    view_->set_frame_size({500, 400});
    const auto live_cols = tabs.sessions[1]->cols();
    EXPECT_LT(live_cols, before_cols);
    EXPECT_EQ(tabs.sessions[0]->cols(), before_cols) << "inactive tab resized during the drag";

    // Output during the drag is consumed without a draw of its own.
    active().dirty->store(true);
    tick();
    EXPECT_FALSE(active().dirty->load());

    view_->view_did_end_live_resize();
    EXPECT_FALSE(view_->live_resize);
    EXPECT_FALSE(view_->layer().presents_with_transaction());
    EXPECT_EQ(tabs.sessions[0]->cols(), live_cols);
    EXPECT_EQ(tabs.sessions[1]->cols(), live_cols);
}

TEST_F(ViewTest, BackingScaleChangesRebuildTheFontOnlyWhenTheyMatter) {
    launch();  // scale 2
    const float cw2 = view_->renderer->cell_width();

    window_->scale = 2.005;  // below the threshold: nothing changes
    view_->backing_changed();
    EXPECT_EQ(view_->scale, 2.0);
    EXPECT_EQ(view_->renderer->cell_width(), cw2);

    // Half the pixels per point: cells about half as wide, and the grid recomputed
    // with them.
    window_->scale = 1.0;
    view_->backing_changed();
    EXPECT_EQ(view_->scale, 1.0);
    EXPECT_NEAR(view_->renderer->cell_width(), cw2 / 2, 1.0);
    EXPECT_EQ(view_->layer().drawable_size().width, 900u);
    auto grid =
        grid_size(900, 600, 8, 6, view_->renderer->cell_width(), view_->renderer->cell_height());
    ASSERT_TRUE(grid);
    EXPECT_EQ(active().cols(), grid->cols);
    EXPECT_EQ(active().rows(), grid->rows);
}

TEST_F(ViewTest, KeyWindowChangesRestartTheBlinkAndClearTheHover) {
    launch();
    view_->set_hover(BarHit::new_tab_button());
    ASSERT_EQ(view_->hover, BarHit::new_tab_button());

    window_->key = false;
    tick();
    EXPECT_FALSE(view_->window_key);
    EXPECT_EQ(view_->hover, BarHit::none());

    view_->blink_alpha = 0.3f;
    view_->blink_epoch = Clock::now() - 5s;
    window_->key = true;
    const auto before = Clock::now();
    tick();
    EXPECT_TRUE(view_->window_key);
    EXPECT_EQ(view_->blink_alpha, 1.0f);
    EXPECT_GE(view_->blink_epoch, before);
}

TEST(BlinkCurve, Values) {
    struct Case {
        double seconds;
        float opacity;
    };
    const Case
        cases[] =
            {
                {0.0, 1.0f}, {0.2, 1.0f},  {0.3599, 1.0f}, {0.43, 0.5f},
                {0.5, 0.0f}, {0.7, 0.0f},  {0.93, 0.5f},   {0.9999, 1.0f},
                {1.2, 1.0f}, {2.43, 0.5f}, {-3.0, 1.0f},  // a clock reading before the epoch is
                                                          // phase 0
            };
    for (const auto& c : cases)
        EXPECT_NEAR(blink_curve(c.seconds), c.opacity, 1e-3) << c.seconds << " s";
}

TEST_F(ViewTest, TickBlinksOnlyAKeyWindowsBlinkingCursor) {
    launch();
    struct Case {
        std::chrono::milliseconds since_epoch;
        float opacity;
    };
    // The curve is steep at 0.43 s; a slow tick may land a little later.
    const Case cases[] = {{200ms, 1.0f}, {430ms, 0.5f}, {700ms, 0.0f}};
    for (const auto& c : cases) {
        view_->cursor_blinking = true;
        view_->blink_epoch = Clock::now() - c.since_epoch;
        tick();
        EXPECT_NEAR(view_->blink_alpha, c.opacity, 0.15) << c.since_epoch.count() << " ms";
    }
    // Not key: fully visible, whatever the phase.
    window_->key = false;
    tick();
    view_->blink_epoch = Clock::now() - 700ms;
    tick();
    EXPECT_EQ(view_->blink_alpha, 1.0f);
    EXPECT_FALSE(view_->cursor_blinking);
}

TEST_F(ViewTest, CursorGlidesShortMovesAlongTheRowAndJumpsOtherwise) {
    launch();
    feed("\x1b[6;11H");  // another row: no glide
    tick();
    ASSERT_EQ(view_->cursor_cell_col, 10);
    ASSERT_TRUE(view_->glide_settled);

    feed("\x1b[6;14H");  // 3 to the right: glides from 10
    const auto before = Clock::now();
    tick();
    EXPECT_EQ(view_->cursor_cell_col, 13);
    EXPECT_EQ(view_->glide_from_col, 10.0f);
    EXPECT_FALSE(view_->glide_settled);
    EXPECT_GE(view_->glide_start, before);

    // Once the glide's time is up the tick asks for one settling frame.
    view_->glide_start = Clock::now() - 70ms;
    tick();
    EXPECT_TRUE(view_->glide_settled);

    struct Case {
        const char* what;
        const char* move;
        std::uint16_t col, row;
    };
    const Case jumps[] = {
        {"20 columns", "\x1b[6;34H", 33, 5},
        {"another row", "\x1b[7;30H", 29, 6},
    };
    for (const auto& c : jumps) {
        SCOPED_TRACE(c.what);
        feed(c.move);
        tick();
        EXPECT_EQ(view_->cursor_cell_col, c.col);
        EXPECT_EQ(view_->cursor_cell_row, c.row);
        EXPECT_EQ(view_->glide_from_col, static_cast<float>(c.col));
        EXPECT_TRUE(view_->glide_settled);
        EXPECT_LE(view_->glide_start, Clock::now() - 60ms);
    }
}

TEST_F(ViewTest, HoverFadeEndsWithTheFadingHighlightGone) {
    launch();
    view_->hover = BarHit::none();
    view_->hover_previous = BarHit::new_tab_button();
    view_->hover_changed_at = Clock::now();
    tick();
    EXPECT_EQ(view_->hover_previous, BarHit::new_tab_button()) << "dropped mid-fade";
    view_->hover_changed_at = Clock::now() - 200ms;
    tick();
    EXPECT_EQ(view_->hover_previous, BarHit::none());
}

TEST_F(ViewTest, TabStripEasesAQuarterPerTickThenSnaps) {
    launch();
    // A narrow window and long titles make the strip overflow.
    view_->set_frame_size({200, 600});
    for (int i = 0; i < 3; ++i)
        view_->new_tab();
    auto& tabs = view_->tab_manager();
    std::vector<std::string> titles;
    for (std::size_t i = 0; i < tabs.sessions.size(); ++i) {
        tabs.rename(i, std::string(22, 'x'));
        titles.push_back(tabs.sessions[i]->title());
    }
    TabLayout l =
        tab_layout(titles, static_cast<float>(view_->layer().drawable_size().width),
                   view_->renderer->cell_width(), view_->renderer->cell_height(), view_->scale);
    ASSERT_GT(l.scroll_max, 100);

    view_->tab_scroll = 0;
    view_->tab_scroll_target = 100;
    tick();
    EXPECT_FLOAT_EQ(view_->tab_scroll, 25);
    tick();
    EXPECT_FLOAT_EQ(view_->tab_scroll, 25 + 75 * 0.25f);
    int ticks = 2;
    while (view_->tab_scroll != view_->tab_scroll_target && ticks < 100) {
        tick();
        ++ticks;
    }
    EXPECT_EQ(view_->tab_scroll, 100.0f);
    EXPECT_LT(ticks, 30);

    // A target past the end is clamped by the next frame.
    view_->tab_scroll_target = l.scroll_max + 500;
    tick();
    EXPECT_LE(view_->tab_scroll_target, l.scroll_max);
}

TEST_F(ViewTest, SearchIsAppliedOnlyAfterTypingPauses) {
    launch();
    view_->menu_find();
    ASSERT_TRUE(view_->search_open);
    view_->search_query = "needle";
    view_->search_edited_at = Clock::now();
    tick();
    EXPECT_TRUE(view_->search_edited_at.has_value()) << "applied while still typing";
    view_->search_edited_at = Clock::now() - 50ms;
    tick();
    EXPECT_FALSE(view_->search_edited_at.has_value());
    std::lock_guard lock(active().terminal->mutex);
    EXPECT_TRUE(active().terminal->terminal->search().has_value());
}

TEST_F(ViewTest, GovernorIdleFloodKeyPressAndTabSwitch) {
    launch();  // a 120 Hz screen
    ASSERT_EQ(view_->max_fps, 120);

    // Idle for more than two seconds: at most 60.
    view_->last_activity = Clock::now() - 2100ms;
    view_->rate_sampled_at = Clock::now() - 250ms;
    tick();
    EXPECT_EQ(ranges().back(), (FrameRateRange{30, 60, 60}));
    EXPECT_EQ(view_->current_fps, 60);

    // A key press restores the full rate at once.
    view_->key_down({"a", "a", 0, 0, false});
    EXPECT_EQ(ranges().back(), (FrameRateRange{30, 120, 120}));

    // Under 200 ms since the last sample nothing is measured.
    const auto requests = ranges().size();
    view_->rate_sampled_at = Clock::now();
    active().bytes_read->fetch_add(3'000'000);
    tick();
    EXPECT_EQ(ranges().size(), requests);

    // 3 MB in one sample window: 30, even right after typing.
    view_->rate_sampled_at = Clock::now() - 200ms;
    active().bytes_read->fetch_add(3'000'000);
    tick();
    EXPECT_EQ(ranges().back(), (FrameRateRange{30, 30, 30}));

    // The output stops: back to the full rate (activity is recent).
    view_->rate_sampled_at = Clock::now() - 250ms;
    tick();
    EXPECT_EQ(ranges().back(), (FrameRateRange{30, 120, 120}));

    // A tab switch starts a fresh sample: a flood counted in the new tab does not
    // move the rate on the first sample after the switch.
    view_->new_tab();
    const auto after_switch = ranges().size();
    active().bytes_read->fetch_add(3'000'000);
    view_->rate_sampled_at = Clock::now() - 250ms;
    tick();
    EXPECT_EQ(ranges().size(), after_switch);
    EXPECT_EQ(view_->rate_sample_tab, 1u);
    EXPECT_EQ(view_->current_fps, 120);
}

TEST(LatencyReport, StatisticsLine) {
    struct Case {
        std::vector<float> samples;
        const char* line;
    };
    const Case cases[] = {
        {{5, 1, 3, 2, 4},
         "typing latency (keypress\u2192present, ms): n=5 p50=3.0 p99=5.0 max=5.0 mean=3.0"},
        // Index (n - 1) x 0.5 = 0.5 rounds away from zero: the upper sample.
        {{1.0f, 2.0f},
         "typing latency (keypress\u2192present, ms): n=2 p50=2.0 p99=2.0 max=2.0 mean=1.5"},
        {{7.5f},
         "typing latency (keypress\u2192present, ms): n=1 p50=7.5 p99=7.5 max=7.5 mean=7.5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(latency_report(c.samples), c.line);
}

TEST_F(ViewTest, LatencyProbeKeepsTheLast500AndReportsEvery50) {
    env_.set("KESTRUM_LATENCY", "");  // present, even empty, enables it
    launch();
    ASSERT_TRUE(view_->latency.enabled);
    auto& probe = view_->latency;
    int frame = 0;
    // A frame that differs from the last one, drawn after an answered key press.
    auto answered_press = [&](std::chrono::milliseconds ago) {
        auto& s = active();
        probe.pending = LatencyProbe::Pending{s.bytes_read->load(), Clock::now() - ago};
        s.bytes_read->fetch_add(1);
        view_->tab_manager().rename(0, "frame " + std::to_string(++frame));
        view_->render();
    };

    probe.samples.assign(499, 2.0f);
    probe.since_report = 49;
    kestrum::testing::LogCapture log;
    answered_press(5ms);
    EXPECT_FALSE(probe.pending);
    ASSERT_EQ(probe.samples.size(), 500u);
    EXPECT_GE(probe.samples.back(), 5.0f);
    EXPECT_EQ(probe.since_report, 0u);
    EXPECT_NE(log.text().find("typing latency (keypress\u2192present, ms): n=500 p50=2.0"),
              std::string::npos)
        << log.text();

    answered_press(5ms);
    EXPECT_EQ(probe.samples.size(), 500u);
    EXPECT_EQ(probe.since_report, 1u);

    // Over a second: the press is consumed, the sample dropped.
    const auto kept = probe.samples;
    answered_press(1200ms);
    EXPECT_FALSE(probe.pending);
    EXPECT_EQ(probe.samples, kept);
    EXPECT_EQ(probe.since_report, 1u);

    // Not answered yet (no output since the press): still pending.
    probe.pending = LatencyProbe::Pending{active().bytes_read->load(), Clock::now()};
    view_->tab_manager().rename(0, "unanswered");
    view_->render();
    EXPECT_TRUE(probe.pending);
}

TEST_F(ViewTest, ARenamedTabIsHitWhereItsLongerTextIsDrawn) {
    launch();
    view_->new_tab();  // tab 1 is active; tab 0 can be hovered
    auto& tabs = view_->tab_manager();
    const float width = static_cast<float>(view_->layer().drawable_size().width);
    const float cw = view_->renderer->cell_width();
    const float ch = view_->renderer->cell_height();
    view_->begin_rename(0);
    view_->rename_buffer = std::string(20, 'r');
    TabLayout drawn = tab_layout({view_->rename_buffer + "\u258F", tabs.sessions[1]->title()},
                                 width, cw, ch, view_->scale);
    TabLayout plain = tab_layout({tabs.sessions[0]->title(), tabs.sessions[1]->title()}, width, cw,
                                 ch, view_->scale);
    // A point inside the renamed pill's drawn extent, beyond where its plain title
    // would have ended.
    const float px = drawn.pills[1].x - cw;
    ASSERT_GT(px, plain.pills[1].x);
    platform::MouseEvent move;
    move.location = {px / view_->scale, 600 - 1};
    view_->mouse_moved(move);
    EXPECT_EQ(view_->hover, BarHit::tab(0));
}

TEST_F(ViewTest, HiddenWindowPausesTheLinkAndShowingRestartsTheBlink) {
    launch();
    window_->visible = false;
    delegate_->window_did_change_occlusion_state();
    EXPECT_TRUE(window_->link->paused);
    EXPECT_FALSE(view_->user_present->load());

    view_->blink_alpha = 0.0f;
    window_->visible = true;
    delegate_->window_did_change_occlusion_state();
    EXPECT_FALSE(window_->link->paused);
    EXPECT_EQ(view_->blink_alpha, 1.0f);
    EXPECT_TRUE(view_->user_present->load());

    app_.active = false;
    delegate_->did_resign_active();
    EXPECT_FALSE(view_->user_present->load()) << "visible but inactive is not present";
}

}  // namespace
}  // namespace kestrum_app
