// Test support: installs the logger once (everything enabled, no colour) and
// captures what is written to standard error while a LogCapture lives.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "core/log.hpp"

namespace kestrum::testing {

inline void ensure_logging() {
    static std::once_flag once;
    std::call_once(
        once, [] { core::init_logging(core::LogFilter::parse("trace"), core::ColorMode::never); });
}

class LogCapture {
  public:
    LogCapture() {
        ensure_logging();
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~LogCapture() { restore(); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Everything written so far.
    std::string text() {
        std::fflush(stderr);
        std::string out;
        char buf[4096];
        std::rewind(file_);
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0)
            out.append(buf, n);
        return out;
    }

  private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
        std::fclose(file_);
    }
    std::FILE* file_ = nullptr;
    int saved_ = -1;
};

}  // namespace kestrum::testing
