// Output throughput: 256 MiB of mixed text fed straight into a Terminal (the
// engine-only figure), and the same text written by a child through a real
// pseudo-terminal into a Session (kernel, reader thread, lock, feed). Both report
// MB/s by wall clock and by CPU time, and CPU time per MiB; the pty run also gives
// the child's CPU, the reads, how often the reader blocked or was preempted, and its
// ratios to the engine-only run (goal: at least 0.5). bytes_per_second is Google
// Benchmark's own: CPU-based for the engine, wall-clock for the pty run. On a shared
// machine the wall-clock figures move with the load; the CPU figures much less.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "core/log.hpp"
#include "corpus.hpp"
#include "tabs/session.hpp"

namespace kestrum_bench {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kCols = 200;
constexpr std::uint16_t kRows = 50;
constexpr std::size_t kScrollback = 10000;
constexpr std::size_t kCorpusBytes = 4 << 20;
constexpr int kRounds = 64;  // 64 x 4 MiB = 256 MiB of text
constexpr double kMiB = 1024.0 * 1024.0;

double seconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// CPU time and blocking of the process, the calling thread or the reaped children.
struct Usage {
    double user = 0.0;
    double sys = 0.0;
    std::int64_t waits = 0;      // voluntary context switches: blocked, e.g. in read
    std::int64_t preempted = 0;  // involuntary ones: another task took the core

    static Usage of(int who) {
        rusage ru{};
        ::getrusage(who, &ru);
        return {seconds(ru.ru_utime), seconds(ru.ru_stime), ru.ru_nvcsw, ru.ru_nivcsw};
    }
    double cpu() const { return user + sys; }
    Usage operator-(const Usage& o) const {
        return {user - o.user, sys - o.sys, waits - o.waits, preempted - o.preempted};
    }
    Usage& operator+=(const Usage& o) {
        user += o.user;
        sys += o.sys;
        waits += o.waits;
        preempted += o.preempted;
        return *this;
    }
};

// Read system calls made by this process so far (all threads).
std::uint64_t read_calls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "syscr:") return value;
    return 0;
}

struct Corpus {
    std::string text;  // what the child writes
    std::string wire;  // what the reader receives
    std::filesystem::path file;
};

std::filesystem::path corpus_file;  // removed at exit when written

const Corpus& corpus() {
    static const Corpus c = [] {
        kestrum::core::init_logging(kestrum::core::LogFilter::parse("warn"),
                                    kestrum::core::ColorMode::never);
        Corpus c;
        c.text = MixedText::make(kCorpusBytes);
        c.wire = as_read_from_pty(c.text);
        c.file = std::filesystem::temp_directory_path() /
                 ("kestrum-pty-bench-" + std::to_string(::getpid()) + ".txt");
        std::ofstream(c.file, std::ios::binary) << c.text;
        corpus_file = c.file;
        return c;
    }();
    return c;
}

// Engine-only figures of the last run at 64 KiB, for the ratios of the pty run.
double engine_wall_mb_per_s = 0.0;
double engine_cpu_ms_per_mib = 0.0;

// The first argument is the chunk size: 64 KiB is the reader's buffer, 4 KiB what one
// read of a pseudo-terminal master returns (its line discipline buffers that much).
// The second, when 1, keeps a search open: every chunk then also recomputes the
// visible matches.
void BM_EngineOnly(benchmark::State& state) {
    const Corpus& c = corpus();
    const auto chunk_size = static_cast<std::size_t>(state.range(0));
    double cpu = 0.0;
    double wall = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto t = kestrum_term::Terminal::with_cursor(kCols, kRows, kScrollback, true, 0);
        if (state.range(1)) t->search_set("error");
        state.ResumeTiming();
        const Usage before = Usage::of(RUSAGE_THREAD);
        const auto start = std::chrono::steady_clock::now();
        for (int round = 0; round < kRounds; ++round) {
            std::string_view rest = c.wire;
            while (!rest.empty()) {
                std::string_view chunk = rest.substr(0, chunk_size);
                t->feed(chunk);
                rest.remove_prefix(chunk.size());
            }
        }
        cpu += (Usage::of(RUSAGE_THREAD) - before).cpu();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(t->term().history_size());
    }
    const double mib = static_cast<double>(c.wire.size()) * kRounds * state.iterations() / kMiB;
    state.SetBytesProcessed(static_cast<std::int64_t>(c.wire.size()) * kRounds *
                            state.iterations());
    state.counters["cpu_ms_per_MiB"] = cpu * 1e3 / mib;
    state.counters["cpu_MBps"] = mib * kMiB / 1e6 / cpu;
    state.counters["wall_MBps"] = mib * kMiB / 1e6 / wall;
    if (chunk_size == kestrum_tabs::kReadChunk && !state.range(1)) {
        engine_wall_mb_per_s = mib * kMiB / 1e6 / wall;
        engine_cpu_ms_per_mib = cpu * 1e3 / mib;
    }
}
BENCHMARK(BM_EngineOnly)
    ->Args({kestrum_tabs::kReadChunk, 0})
    ->Args({4096, 0})
    ->Args({4096, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

void BM_PtySession(benchmark::State& state) {
    const Corpus& c = corpus();
    kestrum_pty::PtyConfig config;
    config.shell = "/bin/sh";
    config.args = {"-c", "i=0; while [ $i -lt " + std::to_string(kRounds) + " ]; do cat '" +
                             c.file.string() + "'; i=$((i+1)); done"};
    Usage reader;  // the whole process less the main thread: the reader, as the writer idles
    Usage child;
    double wall = 0.0;
    std::uint64_t bytes = 0;
    std::uint64_t reads = 0;
    for (auto _ : state) {
        auto tabs_changed = std::make_shared<std::atomic<bool>>(false);
        const Usage self0 = Usage::of(RUSAGE_SELF);
        const Usage main0 = Usage::of(RUSAGE_THREAD);
        const Usage children0 = Usage::of(RUSAGE_CHILDREN);
        const std::uint64_t reads0 = read_calls();
        const auto start = std::chrono::steady_clock::now();
        auto session = kestrum_tabs::Session::spawn(kCols, kRows, {kScrollback, true, 0}, config,
                                                    tabs_changed, nullptr, 9.0f, 18.0f);
        if (!session) {
            state.SkipWithError(session.error().chained().c_str());
            return;
        }
        // The reader sets tabs_changed last, after reaping the child and printing
        // the exit line (the text sets no title).
        const auto deadline = start + 600s;
        while (!tabs_changed->load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        const auto end = std::chrono::steady_clock::now();
        reader += (Usage::of(RUSAGE_SELF) - self0) - (Usage::of(RUSAGE_THREAD) - main0);
        child += Usage::of(RUSAGE_CHILDREN) - children0;
        reads += read_calls() - reads0;
        const double elapsed = std::chrono::duration<double>(end - start).count();
        wall += elapsed;
        state.SetIterationTime(elapsed);
        bytes += (*session)->bytes_read->load();
        if (!tabs_changed->load()) {
            state.SkipWithError("the child did not finish in time");
            return;
        }
    }
    const double mib = static_cast<double>(bytes) / kMiB;
    const std::uint64_t expected = c.wire.size() * kRounds * state.iterations();
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["reader_cpu_ms_per_MiB"] = reader.cpu() * 1e3 / mib;
    state.counters["reader_sys_ms_per_MiB"] = reader.sys * 1e3 / mib;
    state.counters["child_cpu_ms_per_MiB"] = child.cpu() * 1e3 / mib;
    state.counters["mean_read_bytes"] = reads ? static_cast<double>(bytes) / reads : 0.0;
    state.counters["blocked_reads_pct"] =
        reads ? 100.0 * static_cast<double>(reader.waits) / static_cast<double>(reads) : 0.0;
    state.counters["preempted_per_MiB"] = static_cast<double>(reader.preempted) / mib;
    state.counters["bytes_ok"] = bytes == expected ? 1 : 0;
    // Wall-clock throughput against the engine-only wall-clock rate on the same
    // machine, and the reader's CPU cost against the engine's: the first includes
    // waiting for the child, the kernel and a free core, the second does not.
    state.counters["wall_MBps"] = static_cast<double>(bytes) / 1e6 / wall;
    if (engine_wall_mb_per_s > 0) {
        state.counters["vs_engine_wall"] =
            static_cast<double>(bytes) / 1e6 / wall / engine_wall_mb_per_s;
        state.counters["vs_engine_cpu"] = engine_cpu_ms_per_mib / (reader.cpu() * 1e3 / mib);
    }
}
BENCHMARK(BM_PtySession)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace
}  // namespace kestrum_bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    if (!kestrum_bench::corpus_file.empty())
        std::filesystem::remove(kestrum_bench::corpus_file, ignored);
    return 0;
}
