#include "core/log.hpp"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "core/fatal.hpp"

namespace kestrum::core {

namespace {

std::optional<Level> parse_level(std::string_view word) {
    struct Name {
        std::string_view name;
        Level level;
    };
    static constexpr Name kNames[] = {
        {"off", Level::off},      {"error", Level::error}, {"warn", Level::warn},
        {"warning", Level::warn}, {"info", Level::info},   {"debug", Level::debug},
        {"trace", Level::trace},
    };
    for (const auto& n : kNames) {
        if (word.size() != n.name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i) {
            char c = word[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            same = c == n.name[i];
        }
        if (same) return n.level;
    }
    return std::nullopt;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// `target` covers `candidate` when equal or when candidate continues with "::".
bool covers(std::string_view target, std::string_view candidate) {
    if (!candidate.starts_with(target)) return false;
    return candidate.size() == target.size() || candidate.substr(target.size()).starts_with("::");
}

// Upper-case, fixed-width level names; the colour range wraps them.
class LevelFlag final : public spdlog::custom_flag_formatter {
  public:
    void format(const spdlog::details::log_msg& msg, const std::tm&,
                spdlog::memory_buf_t& dest) override {
        std::string_view name;
        switch (msg.level) {
            case spdlog::level::err:
                name = "ERROR";
                break;
            case spdlog::level::warn:
                name = "WARN ";
                break;
            case spdlog::level::info:
                name = "INFO ";
                break;
            case spdlog::level::debug:
                name = "DEBUG";
                break;
            default:
                name = "TRACE";
                break;
        }
        dest.append(name.data(), name.data() + name.size());
    }
    std::unique_ptr<custom_flag_formatter> clone() const override {
        return std::make_unique<LevelFlag>();
    }
};

spdlog::level::level_enum to_spdlog(Level level) {
    switch (level) {
        case Level::error:
            return spdlog::level::err;
        case Level::warn:
            return spdlog::level::warn;
        case Level::info:
            return spdlog::level::info;
        case Level::debug:
            return spdlog::level::debug;
        default:
            return spdlog::level::trace;
    }
}

std::mutex g_install_mutex;
// Both live until the process ends, never destroyed: detached session threads may
// still log while static destructors run at exit.
spdlog::logger* g_logger = nullptr;  // set once under g_install_mutex, then read-only
auto& g_filter = *new std::atomic<std::shared_ptr<const LogFilter>>();

}  // namespace

namespace detail {
std::atomic<int> g_max_level{0};

bool enabled_slow(Level level, std::string_view target) {
    auto filter = g_filter.load(std::memory_order_acquire);
    return filter && level != Level::off && level <= filter->level_for(target);
}

void write(Level level, std::string_view target, std::string_view message) {
    if (!g_logger) return;
    g_logger->log(to_spdlog(level), "{}: {}", target, message);
}
}  // namespace detail

LogFilter LogFilter::parse(std::string_view spec) {
    LogFilter f;
    f.default_ = Level::info;
    bool saw_default = false;
    size_t start = 0;
    while (start <= spec.size()) {
        size_t comma = spec.find(',', start);
        if (comma == std::string_view::npos) comma = spec.size();
        std::string_view directive = trim(spec.substr(start, comma - start));
        start = comma + 1;
        if (directive.empty()) continue;
        size_t eq = directive.find('=');
        if (eq == std::string_view::npos) {
            if (auto level = parse_level(directive)) {
                f.default_ = *level;
                saw_default = true;
            } else {
                // A bare word that is not a level names a target at full verbosity.
                f.directives_.push_back({std::string(directive), Level::trace});
            }
            continue;
        }
        std::string_view target = trim(directive.substr(0, eq));
        auto level = parse_level(trim(directive.substr(eq + 1)));
        if (target.empty() || !level) {
            f.problems_.push_back(std::string(directive));
            continue;
        }
        f.directives_.push_back({std::string(target), *level});
    }
    // With only target directives, everything else is off.
    if (!saw_default && !f.directives_.empty()) f.default_ = Level::off;
    f.max_ = f.default_;
    for (const auto& d : f.directives_)
        f.max_ = std::max(f.max_, d.level);
    return f;
}

Level LogFilter::level_for(std::string_view target) const {
    Level level = default_;
    size_t best = 0;
    bool matched = false;
    for (const auto& d : directives_) {
        if (covers(d.target, target) && (!matched || d.target.size() >= best)) {
            level = d.level;
            best = d.target.size();
            matched = true;
        }
    }
    return level;
}

ColorMode parse_color_mode(const char* value) {
    if (value == nullptr) return ColorMode::automatic;
    std::string_view v(value);
    if (v == "always") return ColorMode::always;
    if (v == "never") return ColorMode::never;
    return ColorMode::automatic;
}

void set_log_filter(const LogFilter& filter) {
    g_filter.store(std::make_shared<const LogFilter>(filter), std::memory_order_release);
    detail::g_max_level.store(static_cast<int>(filter.max_level()), std::memory_order_relaxed);
}

void init_logging(const LogFilter& filter, ColorMode mode) {
    std::lock_guard lock(g_install_mutex);
    if (g_logger) fatal("the logger is already installed");
    spdlog::color_mode spd_mode = mode == ColorMode::always  ? spdlog::color_mode::always
                                  : mode == ColorMode::never ? spdlog::color_mode::never
                                                             : spdlog::color_mode::automatic;
    auto sink = std::make_shared<spdlog::sinks::stderr_color_sink_mt>(spd_mode);
    auto formatter = std::make_unique<spdlog::pattern_formatter>(spdlog::pattern_time_type::utc);
    formatter->add_flag<LevelFlag>('*').set_pattern("%Y-%m-%dT%H:%M:%S.%fZ %^%*%$ %v");
    sink->set_formatter(std::move(formatter));
    auto* logger = new spdlog::logger("kestrum", std::move(sink));
    logger->set_level(spdlog::level::trace);  // our filter decides
    logger->flush_on(spdlog::level::trace);
    g_logger = logger;
    set_log_filter(filter);
    for (const auto& p : filter.problems())
        KLOG_WARN("kestrum", "ignoring log directive \"{}\": not `level` or `target=level`", p);
}

void init_logging() {
    const char* spec = std::getenv("KESTRUM_LOG");
    init_logging(LogFilter::parse(spec ? spec : "info"),
                 parse_color_mode(std::getenv("KESTRUM_LOG_STYLE")));
}

}  // namespace kestrum::core
