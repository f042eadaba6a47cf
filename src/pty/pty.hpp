// Starting the program that runs in a tab: a pseudo-terminal of a given size, the
// child on its slave side as session leader, and handles on the master and the child.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.hpp"
#include "core/fd.hpp"

namespace kestrum_pty {

using kestrum::core::Error;
using kestrum::core::UniqueFd;

// The POSIX winsize fields, in their order.
struct WindowSize {
    std::uint16_t rows = 24;
    std::uint16_t cols = 80;
    std::uint16_t xpixel = 0;
    std::uint16_t ypixel = 0;
    friend bool operator==(const WindowSize&, const WindowSize&) = default;
};

struct PtyConfig {
    std::optional<std::string> shell;  // absent: the user's login shell
    std::vector<std::string> args;
    std::string term = "xterm-256color";
    std::vector<std::pair<std::string, std::string>> env;  // applied last, later wins
    std::optional<std::filesystem::path> cwd;
    WindowSize size;
};

class PtyError {
  public:
    enum class Kind { OpenPty, Spawn, CloneReader, TakeWriter, Resize };

    static PtyError open_pty(WindowSize size, Error source);
    static PtyError spawn(std::string program, Error source);
    static PtyError clone_reader(Error source);
    static PtyError take_writer(Error source);
    static PtyError resize(WindowSize size, Error source);

    Kind kind() const { return kind_; }
    const Error& source() const { return source_; }
    // "failed to spawn shell {program}: {source}" and the like.
    std::string message() const;
    // As an error value: the display text, then the source's own causes.
    Error to_error() const;

  private:
    PtyError(Kind kind, Error source) : kind_(kind), source_(std::move(source)) {}
    Kind kind_;
    std::uint16_t rows_ = 0;
    std::uint16_t cols_ = 0;
    std::string program_;
    Error source_;
};

// How a child ended: an exit code, plus the signal's description when a signal
// ended it (then the code is 1).
struct ExitStatus {
    std::uint32_t code = 0;
    std::optional<std::string> signal;
    friend bool operator==(const ExitStatus&, const ExitStatus&) = default;
};

// Decodes a waitpid status.
ExitStatus exit_status_from_wait(int status);

class PtyChild {
  public:
    explicit PtyChild(pid_t pid) : pid_(pid) {}
    PtyChild(PtyChild&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}
    PtyChild& operator=(PtyChild&& other) noexcept {
        pid_ = std::exchange(other.pid_, -1);
        return *this;
    }
    PtyChild(const PtyChild&) = delete;
    PtyChild& operator=(const PtyChild&) = delete;

    pid_t pid() const { return pid_; }
    // Non-blocking: the status when the child has ended, else nothing.
    std::optional<ExitStatus> try_wait();
    // Checks without blocking first, then waits. Consumes the handle.
    std::expected<ExitStatus, Error> wait();

  private:
    pid_t pid_ = -1;
};

// The master side. Safe to resize from one thread while readers and the writer
// handed out are used on others.
class PtyMaster {
  public:
    explicit PtyMaster(UniqueFd fd) : fd_(std::move(fd)) {}

    // The byte sink that reaches the child as input; once per pseudo-terminal.
    std::expected<UniqueFd, PtyError> take_writer();
    // A byte source of the child's output.
    std::expected<UniqueFd, PtyError> try_clone_reader() const;
    // Sets the size; the kernel signals the foreground group with SIGWINCH.
    std::expected<void, PtyError> resize(WindowSize size) const;
    int fd() const { return fd_.get(); }

  private:
    UniqueFd fd_;
    bool writer_taken_ = false;
};

struct Pty {
    std::optional<std::uint32_t> pid;  // also the child's process-group id
    PtyMaster master;
    std::optional<PtyChild> child;

    static std::expected<Pty, PtyError> spawn(const PtyConfig& config);
};

}  // namespace kestrum_pty
