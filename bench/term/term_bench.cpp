// The per-frame costs of the terminal model on a full 200 x 50 screen of coloured
// text: the frame snapshot (plain, with a selection, with search highlighting) and
// the visible-match recomputation that runs after every fed chunk while a search is
// open. Goals: frame at most 100 us, refresh_search_visible at most 200 us.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "core/log.hpp"
#include "term/terminal.hpp"

namespace kestrum_term {
namespace {

constexpr std::uint16_t kCols = 200;
constexpr std::uint16_t kRows = 50;

// Syntax-highlighted source code: words in 16-colour, 256-colour and true-colour
// foregrounds, some on their own backgrounds, some bold, italic or underlined. Every
// line fills all 200 columns; twice the screen is written so history exists too.
std::string coloured_screen() {
    static constexpr const char* kWords[] = {"for",          "(auto&",  "cell",   ":",
                                             "frame.cells)", "{",       "if",     "(cell.c",
                                             "!=",           "U'",      "')",     "draw(",
                                             "metrics);",    "}",       "return", "std::move(out);",
                                             "const",        "int",     "offset", "=",
                                             "row",          "-",       "line;",  "//",
                                             "search",       "results", "match",  "found",
                                             "while",        "value",   "0x1f",   "TODO"};
    std::string out;
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int line = 0; line < 2 * kRows; ++line) {
        int col = 0;
        while (col < kCols) {
            std::string word = kWords[next() % std::size(kWords)];
            if (col + static_cast<int>(word.size()) + 1 > kCols)
                word = std::string(static_cast<std::size_t>(kCols - col - 1), 'x');
            switch (next() % 6) {
                case 0:
                    out += fmt::format("\x1b[{}m", 31 + next() % 7);
                    break;
                case 1:
                    out += fmt::format("\x1b[1;{}m", 91 + next() % 7);
                    break;
                case 2:
                    out += fmt::format("\x1b[38;5;{}m", next() % 256);
                    break;
                case 3:
                    out += fmt::format("\x1b[38;2;{};{};{}m", next() % 256, next() % 256,
                                       next() % 256);
                    break;
                case 4:
                    out += fmt::format("\x1b[3;48;5;{}m", 232 + next() % 24);
                    break;
                default:
                    out += "\x1b[4;36m";
                    break;
            }
            out += word;
            out += "\x1b[0m ";
            col += static_cast<int>(word.size()) + 1;
        }
        if (line + 1 < 2 * kRows) out += "\r\n";
    }
    return out;
}

std::unique_ptr<Terminal> full_screen() {
    static bool logging = [] {
        kestrum::core::init_logging(kestrum::core::LogFilter::parse("warn"),
                                    kestrum::core::ColorMode::never);
        return true;
    }();
    (void)logging;
    auto t = Terminal::with_cursor(kCols, kRows, 10000, true, 0);
    t->feed(coloured_screen());
    return t;
}

void BM_Frame(benchmark::State& state) {
    auto t = full_screen();
    for (auto _ : state) {
        Frame f = t->frame();
        benchmark::DoNotOptimize(f.cells.data());
        benchmark::ClobberMemory();
    }
    state.counters["cells"] = static_cast<double>(t->frame().cells.size());
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond);

// A selection over half the screen: every cell pays the containment test.
void BM_FrameWithSelection(benchmark::State& state) {
    auto t = full_screen();
    t->feed("\x1b[H");
    auto& term = t->term();
    term.selection.emplace(kestrum::vt::SelectionKind::simple, kestrum::vt::Point{5, 3},
                           kestrum::vt::Side::left);
    term.selection->update({30, 150}, kestrum::vt::Side::right);
    for (auto _ : state) {
        Frame f = t->frame();
        benchmark::DoNotOptimize(f.cells.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameWithSelection)->Unit(benchmark::kMicrosecond);

// An open search with many visible matches: every cell pays the binary search.
void BM_FrameWithSearch(benchmark::State& state) {
    auto t = full_screen();
    t->search_set("cell");
    state.counters["visible"] = static_cast<double>(t->search()->visible.size());
    for (auto _ : state) {
        Frame f = t->frame();
        benchmark::DoNotOptimize(f.cells.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameWithSearch)->Unit(benchmark::kMicrosecond);

// The argument picks the query: a word found a few times a line, a rare one, and
// one that matches nearly every word (so the 1024 cap is reached).
void BM_RefreshSearchVisible(benchmark::State& state) {
    static constexpr const char* kQueries[] = {"cell", "TODO", "[a-z]+"};
    const char* query = kQueries[state.range(0)];
    auto t = full_screen();
    t->search_set(query);
    for (auto _ : state) {
        t->refresh_search_visible();
        benchmark::DoNotOptimize(t->search()->visible.data());
    }
    state.SetLabel(query);
    state.counters["visible"] = static_cast<double>(t->search()->visible.size());
}
BENCHMARK(BM_RefreshSearchVisible)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_OverscanTopRow(benchmark::State& state) {
    auto t = full_screen();
    for (auto _ : state) {
        auto row = t->overscan_top_row();
        benchmark::DoNotOptimize(row.data());
    }
}
BENCHMARK(BM_OverscanTopRow)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrum_term

BENCHMARK_MAIN();
