#include "core/fatal.hpp"

#include <fmt/format.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "core/log.hpp"

namespace kestrum::core {

namespace {

void default_hook(const FatalInfo& info) {
    std::string line = fmt::format("kestrum: fatal error at {}:{}:{}: {}\n", info.file, info.line,
                                   info.column, info.message.value_or("(no message)"));
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::mutex g_hook_mutex;
FatalHook g_hook = default_hook;  // guarded by g_hook_mutex
std::atomic<bool> g_in_fatal{false};

[[noreturn]] void run_hook_and_abort(const FatalInfo& info) {
    // A failure inside the hook must not recurse forever.
    if (!g_in_fatal.exchange(true)) {
        FatalHook hook;
        {
            std::lock_guard lock(g_hook_mutex);
            hook = g_hook;
        }
        if (hook) hook(info);
    }
    std::abort();
}

[[noreturn]] void on_terminate() {
    FatalInfo info{"<unknown>", 0, 0, std::nullopt};
    if (auto current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const Panic& p) {
            info.file = p.where().file_name();
            info.line = p.where().line();
            info.column = p.where().column();
            info.message = p.what();
        } catch (const std::exception& e) {
            info.message = e.what();
        } catch (...) {
        }
    } else {
        info.message = "terminate called without an active exception";
    }
    run_hook_and_abort(info);
}

}  // namespace

FatalHook take_fatal_hook() {
    std::lock_guard lock(g_hook_mutex);
    FatalHook previous = std::move(g_hook);
    g_hook = nullptr;
    return previous;
}

void set_fatal_hook(FatalHook hook) {
    std::lock_guard lock(g_hook_mutex);
    g_hook = std::move(hook);
}

void fatal(std::string_view message, std::source_location where) {
    run_hook_and_abort(
        FatalInfo{where.file_name(), where.line(), where.column(), std::string(message)});
}

std::string panic_line(const FatalInfo& info) {
    return fmt::format("panic at {}:{}:{}: {}", info.file, info.line, info.column,
                       info.message ? *info.message : "(non-string panic payload)");
}

void install_panic_hook() {
    static std::once_flag once;
    std::call_once(once, [] {
        FatalHook previous = take_fatal_hook();
        set_fatal_hook([previous = std::move(previous)](const FatalInfo& info) {
            if (log_enabled(Level::error, "kestrum_app"))
                detail::write(Level::error, "kestrum_app", panic_line(info));
            if (previous) previous(info);
        });
        std::set_terminate(on_terminate);
    });
}

}  // namespace kestrum::core
