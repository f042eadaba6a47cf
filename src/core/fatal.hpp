// Fatal errors: an unrecoverable internal failure ends the process through the
// installed hook chain. The panic hook logs "panic at {file}:{line}:{column}: {message}"
// before handing over to the hook it replaced.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>

namespace kestrum::core {

struct FatalInfo {
    std::string file;
    unsigned line = 0;
    unsigned column = 0;
    // Absent when the failure carried no text (an exception not derived from std::exception).
    std::optional<std::string> message;
};

using FatalHook = std::function<void(const FatalInfo&)>;

// Swaps the process-wide hook; returns the previous one. The initial hook writes a
// short report to standard error.
FatalHook take_fatal_hook();
void set_fatal_hook(FatalHook hook);

// Runs the hook chain and aborts. Never returns.
[[noreturn]] void fatal(std::string_view message,
                        std::source_location where = std::source_location::current());

// Thrown where a failure must unwind to a catcher that contains it (the session
// reader); uncaught, the terminate handler reports it with its location.
class Panic : public std::exception {
  public:
    explicit Panic(std::string message,
                   std::source_location where = std::source_location::current())
        : message_(std::move(message)), where_(where) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::source_location& where() const { return where_; }

  private:
    std::string message_;
    std::source_location where_;
};

// Installs the panic hook (logging, then the previous hook) and a terminate handler
// that turns an uncaught exception into a fatal error. Idempotent per process.
void install_panic_hook();

// The line the panic hook logs (without the log prefix); exposed for tests.
std::string panic_line(const FatalInfo& info);

}  // namespace kestrum::core
