#include "pty/pty.hpp"

#include <fcntl.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "core/utf8.hpp"

extern char** environ;

namespace kestrum_pty {

namespace {

Error os_error(int err) {
    return Error(fmt::format("{} (os error {})", std::strerror(err), err));
}

struct Account {
    std::string shell;
    std::string home;
};

Account account_record() {
    Account a;
    passwd pw{};
    passwd* result = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result) {
        if (pw.pw_shell) a.shell = pw.pw_shell;
        if (pw.pw_dir) a.home = pw.pw_dir;
    }
    if (a.shell.empty()) a.shell = "/bin/sh";
    return a;
}

std::optional<std::string> env_value(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

bool names_directory(const std::filesystem::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The executable a program name runs: as given when it holds a "/", else the
// first executable regular file of that name on PATH.
std::optional<std::string> resolve_program(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    if (program.empty()) return std::nullopt;
    std::string path = env_value("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
    size_t start = 0;
    while (start <= path.size()) {
        size_t colon = path.find(':', start);
        if (colon == std::string::npos) colon = path.size();
        std::string dir = path.substr(start, colon - start);
        start = colon + 1;
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// NAME=value entries; setting a name replaces its earlier entry in place.
class Environment {
  public:
    Environment() {
        for (char** e = environ; e && *e; ++e)
            entries_.emplace_back(*e);
    }
    bool has(std::string_view name) const { return find(name) != entries_.end(); }
    void set(std::string_view name, std::string_view value) {
        std::string entry = fmt::format("{}={}", name, value);
        auto it = find(name);
        if (it != entries_.end()) {
            *it = std::move(entry);
        } else {
            entries_.push_back(std::move(entry));
        }
    }
    std::vector<char*> pointers() {
        std::vector<char*> out;
        for (auto& e : entries_)
            out.push_back(e.data());
        out.push_back(nullptr);
        return out;
    }

  private:
    std::vector<std::string>::iterator find(std::string_view name) {
        return std::find_if(entries_.begin(), entries_.end(), [&](const std::string& e) {
            return e.size() > name.size() && e.compare(0, name.size(), name) == 0 &&
                   e[name.size()] == '=';
        });
    }
    std::vector<std::string>::const_iterator find(std::string_view name) const {
        return const_cast<Environment*>(this)->find(name);
    }
    std::vector<std::string> entries_;
};

void close_inherited(int keep) {
    // Everything above stdio except `keep`: other threads may have opened
    // descriptors without close-on-exec.
    if (keep > 3) ::close_range(3, static_cast<unsigned>(keep - 1), 0);
    if (::close_range(static_cast<unsigned>(keep + 1), ~0U, 0) == 0) return;
    long max = ::sysconf(_SC_OPEN_MAX);
    for (int fd = keep + 1; fd < max; ++fd)
        ::close(fd);
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void exec_child(int slave, int error_pipe, const char* cwd, const char* home,
                             const char* program, char** argv, char** envp) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig)
        ::signal(sig, SIG_DFL);

    auto fail = [&](int err) {
        while (::write(error_pipe, &err, sizeof err) < 0 && errno == EINTR) {
        }
        ::_exit(127);
    };
    if (::setsid() < 0) fail(errno);
    if (::ioctl(slave, TIOCSCTTY, 0) < 0) fail(errno);
    for (int fd = 0; fd < 3; ++fd)
        if (::dup2(slave, fd) < 0) fail(errno);
    if (slave > 2) ::close(slave);
    close_inherited(error_pipe);
    if (::chdir(cwd) != 0 && home) (void)::chdir(home);
    ::execve(program, argv, envp);
    fail(errno);
    ::_exit(127);
}

}  // namespace

// --- errors ---

PtyError PtyError::open_pty(WindowSize size, Error source) {
    PtyError e(Kind::OpenPty, std::move(source));
    e.rows_ = size.rows;
    e.cols_ = size.cols;
    return e;
}
PtyError PtyError::spawn(std::string program, Error source) {
    PtyError e(Kind::Spawn, std::move(source));
    e.program_ = std::move(program);
    return e;
}
PtyError PtyError::clone_reader(Error source) {
    return PtyError(Kind::CloneReader, std::move(source));
}
PtyError PtyError::take_writer(Error source) {
    return PtyError(Kind::TakeWriter, std::move(source));
}
PtyError PtyError::resize(WindowSize size, Error source) {
    PtyError e(Kind::Resize, std::move(source));
    e.rows_ = size.rows;
    e.cols_ = size.cols;
    return e;
}

std::string PtyError::message() const {
    switch (kind_) {
        case Kind::OpenPty:
            return fmt::format("failed to open pty ({}x{}): {}", cols_, rows_, source_);
        case Kind::Spawn:
            return fmt::format("failed to spawn shell {}: {}", program_, source_);
        case Kind::CloneReader:
            return fmt::format("failed to clone pty reader: {}", source_);
        case Kind::TakeWriter:
            return fmt::format("failed to take pty writer: {}", source_);
        case Kind::Resize:
            return fmt::format("failed to resize pty to {}x{}: {}", cols_, rows_, source_);
    }
    return {};
}

Error PtyError::to_error() const {
    // The display text already holds the source's message; its own causes follow.
    Error e(message());
    for (const auto& cause : source_.causes())
        e.with_cause(cause);
    return e;
}

// --- child ---

ExitStatus exit_status_from_wait(int status) {
    if (WIFSIGNALED(status)) {
        int sig = WTERMSIG(status);
        const char* text = ::strsignal(sig);
        return ExitStatus{1, text ? std::string(text) : fmt::format("Signal {}", sig)};
    }
    return ExitStatus{static_cast<std::uint32_t>(WEXITSTATUS(status)), std::nullopt};
}

std::optional<ExitStatus> PtyChild::try_wait() {
    if (pid_ <= 0) return std::nullopt;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return exit_status_from_wait(status);
    }
    return std::nullopt;
}

std::expected<ExitStatus, Error> PtyChild::wait() {
    if (auto done = try_wait()) return *done;
    if (pid_ <= 0) return std::unexpected(Error("child already reaped"));
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    if (r < 0) return std::unexpected(os_error(errno));
    pid_ = -1;
    return exit_status_from_wait(status);
}

// --- master ---

std::expected<UniqueFd, PtyError> PtyMaster::take_writer() {
    if (writer_taken_) return std::unexpected(PtyError::take_writer(Error("writer already taken")));
    int fd = ::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return std::unexpected(PtyError::take_writer(os_error(errno)));
    writer_taken_ = true;
    return UniqueFd(fd);
}

std::expected<UniqueFd, PtyError> PtyMaster::try_clone_reader() const {
    int fd = ::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return std::unexpected(PtyError::clone_reader(os_error(errno)));
    return UniqueFd(fd);
}

std::expected<void, PtyError> PtyMaster::resize(WindowSize size) const {
    winsize ws{size.rows, size.cols, size.xpixel, size.ypixel};
    if (::ioctl(fd_.get(), TIOCSWINSZ, &ws) != 0)
        return std::unexpected(PtyError::resize(size, os_error(errno)));
    return {};
}

// --- spawn ---

std::expected<Pty, PtyError> Pty::spawn(const PtyConfig& config) {
    int master_fd = -1, slave_fd = -1;
    winsize ws{config.size.rows, config.size.cols, config.size.xpixel, config.size.ypixel};
    if (::openpty(&master_fd, &slave_fd, nullptr, nullptr, &ws) != 0)
        return std::unexpected(PtyError::open_pty(config.size, os_error(errno)));
    UniqueFd master(master_fd), slave(slave_fd);
    ::fcntl(master.get(), F_SETFD, FD_CLOEXEC);
    ::fcntl(slave.get(), F_SETFD, FD_CLOEXEC);

    // Everything the child needs is prepared here: after fork only
    // async-signal-safe calls are allowed.
    Account account = account_record();
    std::string user_shell = env_value("SHELL").value_or(account.shell);
    std::string home = env_value("HOME").value_or(account.home);

    std::string shown_program =
        config.shell ? kestrum::core::to_valid_utf8(*config.shell) : std::string("$SHELL");
    std::optional<std::string> program;
    std::vector<std::string> args;
    if (config.shell) {
        program = resolve_program(*config.shell);
        args.push_back(*config.shell);
        args.insert(args.end(), config.args.begin(), config.args.end());
    } else {
        program = user_shell;
        std::string base = user_shell.substr(user_shell.rfind('/') + 1);
        args.push_back("-" + base);
    }
    if (!program) return std::unexpected(PtyError::spawn(shown_program, os_error(ENOENT)));

    Environment env;
    if (!env.has("SHELL")) env.set("SHELL", account.shell);
    env.set("TERM", config.term);
    env.set("COLORTERM", "truecolor");
    for (const auto& [name, value] : config.env)
        env.set(name, value);

    std::string cwd = config.cwd && names_directory(*config.cwd) ? config.cwd->string() : home;

    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp = env.pointers();

    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
        return std::unexpected(PtyError::spawn(shown_program, os_error(errno)));
    UniqueFd error_read(pipe_fds[0]), error_write(pipe_fds[1]);

    pid_t pid = ::fork();
    if (pid < 0) return std::unexpected(PtyError::spawn(shown_program, os_error(errno)));
    if (pid == 0) {
        exec_child(slave.get(), error_write.get(), cwd.c_str(),
                   home.empty() ? nullptr : home.c_str(), program->c_str(), argv.data(),
                   envp.data());
    }
    slave.reset();
    error_write.reset();

    // The pipe closes on a successful exec; otherwise it carries the errno.
    int child_errno = 0;
    ssize_t n;
    while ((n = ::read(error_read.get(), &child_errno, sizeof child_errno)) < 0 && errno == EINTR) {
    }
    if (n == sizeof child_errno) {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return std::unexpected(PtyError::spawn(shown_program, os_error(child_errno)));
    }
    return Pty{static_cast<std::uint32_t>(pid), PtyMaster(std::move(master)), PtyChild(pid)};
}

}  // namespace kestrum_pty
