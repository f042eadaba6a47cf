// Opening 100 tabs that each fill some history, then closing them one after the
// other: memory (RSS and the allocator's bytes in use), file descriptors and threads
// must come back to where they started once the sessions' threads have finished.
// Run on its own so that no other benchmark's heap is in the figures.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "core/log.hpp"
#include "tabs/manager.hpp"

namespace kestrum_bench {
namespace {

using namespace std::chrono_literals;

constexpr int kTabs = 100;
constexpr int kLines = 1500;  // history each tab fills before it waits
constexpr std::uint16_t kCols = 120;
constexpr std::uint16_t kRows = 40;
constexpr double kMiB = 1024.0 * 1024.0;

struct Usage {
    double rss_mib = 0;
    double heap_mib = 0;  // allocator bytes in use
    std::size_t fds = 0;
    std::size_t threads = 0;
};

std::size_t entries(const char* dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

Usage usage() {
    Usage u;
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    u.rss_mib = static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / kMiB;
    struct mallinfo2 mi = ::mallinfo2();
    u.heap_mib = static_cast<double>(mi.uordblks + mi.hblkhd) / kMiB;
    u.fds = entries("/proc/self/fd");
    u.threads = entries("/proc/self/task");
    return u;
}

// CPU time of the calling thread: the main thread's share of closing tabs.
double thread_cpu_ms() {
    rusage ru{};
    ::getrusage(RUSAGE_THREAD, &ru);
    auto ms = [](const timeval& tv) { return tv.tv_sec * 1e3 + tv.tv_usec / 1e3; };
    return ms(ru.ru_utime) + ms(ru.ru_stime);
}

// Each tab prints kLines numbered lines, then waits until it is hung up.
kestrum_pty::PtyConfig tab_program() {
    kestrum_pty::PtyConfig c;
    c.shell = "/bin/sh";
    c.args = {"-c", "i=0; while [ $i -lt " + std::to_string(kLines) +
                        " ]; do echo \"tab output line $i: the quick brown fox jumps over the "
                        "lazy dog\"; i=$((i+1)); done; exec sleep 600"};
    return c;
}

// Bytes the reader receives for tab_program's text (LF arrives as CR LF).
std::uint64_t tab_output_bytes() {
    std::uint64_t n = 0;
    for (int i = 0; i < kLines; ++i)
        n += std::string("tab output line " + std::to_string(i) +
                         ": the quick brown fox jumps over the lazy dog\r\n")
                 .size();
    return n;
}

template <typename Pred>
bool eventually(Pred done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

bool all_output_read(const kestrum_tabs::TabManager& tabs, std::uint64_t bytes) {
    for (const auto& s : tabs.sessions)
        if (s->bytes_read->load() < bytes) return false;
    return true;
}

void BM_Close100Tabs(benchmark::State& state) {
    kestrum::core::init_logging(kestrum::core::LogFilter::parse("warn"),
                                kestrum::core::ColorMode::never);
    const std::uint64_t bytes = tab_output_bytes();
    const kestrum_tabs::SessionOptions options{10000, true, 0};
    for (auto _ : state) {
        // One tab opened and closed first: one-time set-up (thread stacks, the
        // allocator's arenas, the logger) is not what the figure is about.
        {
            auto warm = kestrum_tabs::TabManager::create(kCols, kRows, options, tab_program(),
                                                         nullptr, 9.0f, 18.0f);
            if (!warm) {
                state.SkipWithError(warm.error().chained().c_str());
                return;
            }
            eventually([&] { return all_output_read(**warm, bytes); }, 60s);
        }
        state.PauseTiming();
        eventually([&] { return usage().threads <= 1; }, 30s);
        const Usage start = usage();
        state.ResumeTiming();

        auto tabs = kestrum_tabs::TabManager::create(kCols, kRows, options, tab_program(), nullptr,
                                                     9.0f, 18.0f);
        if (!tabs) {
            state.SkipWithError(tabs.error().chained().c_str());
            return;
        }
        for (int i = 1; i < kTabs; ++i) {
            if (auto opened = (*tabs)->open(kCols, kRows, tab_program(), 9.0f, 18.0f); !opened) {
                state.SkipWithError(opened.error().chained().c_str());
                return;
            }
        }
        if (!eventually([&] { return all_output_read(**tabs, bytes); }, 120s)) {
            state.SkipWithError("the tabs did not print their output in time");
            return;
        }
        const Usage open = usage();

        const double close_cpu_start = thread_cpu_ms();
        const auto close_start = std::chrono::steady_clock::now();
        while (!(*tabs)->sessions.empty())
            (*tabs)->remove(0);
        const double close_ms = std::chrono::duration<double, std::milli>(
                                    std::chrono::steady_clock::now() - close_start)
                                    .count();
        const double close_cpu_ms = thread_cpu_ms() - close_cpu_start;
        // The readers end once their children are gone; the reapers join them.
        const bool settled = eventually(
            [&] { return usage().threads <= start.threads && usage().fds <= start.fds; }, 60s);
        const Usage closed = usage();
        ::malloc_trim(0);
        const Usage trimmed = usage();

        state.counters["rss_start_MiB"] = start.rss_mib;
        state.counters["rss_open_MiB"] = open.rss_mib;
        state.counters["rss_closed_MiB"] = closed.rss_mib;
        state.counters["rss_trimmed_MiB"] = trimmed.rss_mib;
        state.counters["heap_start_MiB"] = start.heap_mib;
        state.counters["heap_open_MiB"] = open.heap_mib;
        state.counters["heap_closed_MiB"] = closed.heap_mib;
        state.counters["fds_start"] = static_cast<double>(start.fds);
        state.counters["fds_open"] = static_cast<double>(open.fds);
        state.counters["fds_closed"] = static_cast<double>(closed.fds);
        state.counters["threads_open"] = static_cast<double>(open.threads);
        state.counters["threads_closed"] = static_cast<double>(closed.threads);
        state.counters["close_100_ms"] = close_ms;
        state.counters["close_100_cpu_ms"] = close_cpu_ms;
        state.counters["settled"] = settled ? 1 : 0;
    }
}
BENCHMARK(BM_Close100Tabs)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace kestrum_bench

BENCHMARK_MAIN();
