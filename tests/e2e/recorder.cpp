// Stands in for the user's shell in end-to-end runs. It records how it was started
// (argument zero, working directory, window size, environment) in
// $KESTRUM_E2E_DIR/record, then appends every window-size change to "sizes" and
// everything it reads from the terminal to "input", until the terminal hangs up.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

namespace {

volatile std::sig_atomic_t g_winch = 0;

void append(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    ssize_t n = ::write(fd, text.data(), text.size());
    (void)n;
    ::close(fd);
}

std::string size_line() {
    winsize ws{};
    if (::ioctl(STDIN_FILENO, TIOCGWINSZ, &ws) != 0) return "size=?\n";
    return "size=" + std::to_string(ws.ws_row) + " " + std::to_string(ws.ws_col) + "\n";
}

}  // namespace

int main(int, char** argv) {
    const char* dir = std::getenv("KESTRUM_E2E_DIR");
    if (!dir) return 2;
    const std::string base = dir;

    std::string record = "pid=" + std::to_string(::getpid()) + "\n";
    record += "argv0=" + std::string(argv[0]) + "\n";
    char cwd[4096];
    record += "cwd=" + std::string(::getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
    record += size_line();
    for (char** e = environ; *e; ++e)
        record += "env:" + std::string(*e) + "\n";
    // Whole or not at all: the test polls for this file.
    append(base + "/record.tmp", record);
    ::rename((base + "/record.tmp").c_str(), (base + "/record").c_str());

    // SIGWINCH is only let through while waiting, so none is missed between waits.
    sigset_t winch, waiting;
    sigemptyset(&winch);
    sigaddset(&winch, SIGWINCH);
    sigprocmask(SIG_BLOCK, &winch, &waiting);
    sigdelset(&waiting, SIGWINCH);
    struct sigaction sa {};
    sa.sa_handler = [](int) { g_winch = 1; };
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGWINCH, &sa, nullptr);

    char buf[4096];
    for (;;) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        int ready = ::ppoll(&p, 1, nullptr, &waiting);
        if (g_winch) {
            g_winch = 0;
            append(base + "/sizes", size_line());
        }
        if (ready < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) return 0;  // hang-up
        append(base + "/input", std::string(buf, static_cast<std::size_t>(n)));
    }
}
