// Leveled logging with per-module targets, filtered by KESTRUM_LOG and styled by
// KESTRUM_LOG_STYLE. One line per record on standard error; safe from any thread.
#pragma once

#include <fmt/format.h>

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::core {

// Ordered from most to least severe; a filter of `info` lets error, warn and info through.
enum class Level : int { off = 0, error = 1, warn = 2, info = 3, debug = 4, trace = 5 };

// A parsed filter: a default level and per-target levels. A target directive covers
// itself and every module below it (`kestrum_tabs` covers `kestrum_tabs::session`);
// the longest matching target wins.
class LogFilter {
  public:
    // Comma-separated directives, each `level` or `target=level`. Unknown levels
    // and empty directives are skipped (reported in `problems`).
    static LogFilter parse(std::string_view spec);

    Level level_for(std::string_view target) const;
    // The most verbose level any directive allows: a cheap first test.
    Level max_level() const { return max_; }
    const std::vector<std::string>& problems() const { return problems_; }

  private:
    struct Directive {
        std::string target;
        Level level;
    };
    Level default_ = Level::info;
    Level max_ = Level::info;
    std::vector<Directive> directives_;
    std::vector<std::string> problems_;
};

enum class ColorMode { automatic, always, never };

// "always" and "never" exactly; anything else (or absence) is automatic.
ColorMode parse_color_mode(const char* value);

// Installs the process-wide logger from the environment. Calling it twice is a
// programming error and ends the process.
void init_logging();
// Same, from explicit values (tests).
void init_logging(const LogFilter& filter, ColorMode mode);
// Replaces the filter of an installed logger (tests).
void set_log_filter(const LogFilter& filter);

namespace detail {
extern std::atomic<int> g_max_level;
bool enabled_slow(Level level, std::string_view target);
void write(Level level, std::string_view target, std::string_view message);
}  // namespace detail

inline bool log_enabled(Level level, std::string_view target) {
    if (static_cast<int>(level) > detail::g_max_level.load(std::memory_order_relaxed)) return false;
    return detail::enabled_slow(level, target);
}

template <typename... Args>
void log(Level level, std::string_view target, fmt::format_string<Args...> format, Args&&... args) {
    if (!log_enabled(level, target)) return;
    detail::write(level, target, fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace kestrum::core

#define KLOG_ERROR(target, ...) \
    ::kestrum::core::log(::kestrum::core::Level::error, target, __VA_ARGS__)
#define KLOG_WARN(target, ...) \
    ::kestrum::core::log(::kestrum::core::Level::warn, target, __VA_ARGS__)
#define KLOG_INFO(target, ...) \
    ::kestrum::core::log(::kestrum::core::Level::info, target, __VA_ARGS__)
#define KLOG_DEBUG(target, ...) \
    ::kestrum::core::log(::kestrum::core::Level::debug, target, __VA_ARGS__)
#define KLOG_TRACE(target, ...) \
    ::kestrum::core::log(::kestrum::core::Level::trace, target, __VA_ARGS__)
