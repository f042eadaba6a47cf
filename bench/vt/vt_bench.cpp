// Throughput of the engine on typical output, in MB/s, with the same input fed
// to libvterm and the ratio printed at the end; and the memory one cell of
// history costs.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <map>
#include <string>

#include "inputs.hpp"
#include "vt/processor.hpp"
#include "vt/terminal.hpp"

#ifdef KESTRUM_BENCH_VTERM
#include "vterm_runner.hpp"
#endif

namespace kestrum::vt::bench {
namespace {

using Input = const std::string& (*)();

struct Case {
    const char* name;
    Input input;
};

const Case cases[] = {
    {"plain_ascii", plain_ascii},     {"dense_sgr", dense_sgr},   {"cjk_emoji", cjk_emoji},
    {"cursor_redraw", cursor_redraw}, {"alt_screen", alt_screen},
};

// Output arrives in reads of at most 64 KiB; both engines get it that way
// (libvterm also needs it: it copies each write onto its stack).
constexpr std::size_t read_size = 64 * 1024;

template <typename Feed>
void in_reads(const std::string& bytes, Feed feed) {
    for (std::size_t i = 0; i < bytes.size(); i += read_size)
        feed(std::string_view(bytes).substr(i, read_size));
}

TerminalConfig config() {
    TerminalConfig c;
    c.cols = cols;
    c.rows = rows;
    c.scrollback = scrollback;
    return c;
}

void run_kestrum(benchmark::State& state, Input input) {
    const std::string& bytes = input();
    Terminal term(config(), nullptr);
    Processor processor;
    auto feed = [&](std::string_view chunk) { processor.advance(term, chunk); };
    in_reads(bytes, feed);  // fill the history first: the steady state
    for (auto _ : state) {
        in_reads(bytes, feed);
        benchmark::DoNotOptimize(term.cell({0, 0}));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

#ifdef KESTRUM_BENCH_VTERM
void run_vterm(benchmark::State& state, Input input) {
    const std::string& bytes = input();
    VtermRunner vterm(cols, rows, scrollback);
    auto feed = [&](std::string_view chunk) { vterm.feed(chunk); };
    in_reads(bytes, feed);
    for (auto _ : state)
        in_reads(bytes, feed);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
#endif

// Memory of a full history of 200-column lines (primary screen included,
// alternate screen not) divided by its cells.
void history_memory(benchmark::State& state) {
    Terminal term(config(), nullptr);
    Processor processor;
    for (auto _ : state) {
        in_reads(plain_ascii(), [&](std::string_view chunk) { processor.advance(term, chunk); });
        in_reads(plain_ascii(), [&](std::string_view chunk) { processor.advance(term, chunk); });
    }
    const double cells = static_cast<double>((term.history_size() + rows) * cols);
    state.counters["history_lines"] = static_cast<double>(term.history_size());
    state.counters["bytes_per_cell"] = static_cast<double>(term.history_memory_bytes()) / cells;
}

// Keeps every case's bytes per second to print the ratios after the run.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) speed[r.benchmark_name()] = it->second.value;
        }
    }
    std::map<std::string, double> speed;
};

}  // namespace
}  // namespace kestrum::vt::bench

int main(int argc, char** argv) {
    using namespace kestrum::vt::bench;
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark((std::string("kestrum/") + c.name).c_str(), run_kestrum,
                                     c.input)
            ->Unit(benchmark::kMillisecond);
#ifdef KESTRUM_BENCH_VTERM
        benchmark::RegisterBenchmark((std::string("libvterm/") + c.name).c_str(), run_vterm,
                                     c.input)
            ->Unit(benchmark::kMillisecond);
#endif
    }
    benchmark::RegisterBenchmark("kestrum/history_memory", history_memory)->Iterations(1);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    fmt::print("\n{:<16} {:>14} {:>14} {:>8}\n", "case", "kestrum MB/s", "libvterm MB/s", "ratio");
    for (const Case& c : cases) {
        auto k = reporter.speed.find(std::string("kestrum/") + c.name);
        auto v = reporter.speed.find(std::string("libvterm/") + c.name);
        if (k == reporter.speed.end()) continue;
        if (v == reporter.speed.end()) {
            fmt::print("{:<16} {:>14.1f} {:>14} {:>8}\n", c.name, k->second / 1e6, "-", "-");
        } else {
            fmt::print("{:<16} {:>14.1f} {:>14.1f} {:>7.1f}x\n", c.name, k->second / 1e6,
                       v->second / 1e6, k->second / v->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}
