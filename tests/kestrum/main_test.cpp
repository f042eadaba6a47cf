// The real binary's start-up line, filtered and styled by the environment, read
// through a pipe or through a pseudo-terminal (where colour is automatic).
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ChildRun {
    std::string err;
    int status = -1;
};

ChildRun run_kestrum(const std::vector<std::string>& env, bool on_terminal) {
    int read_fd = -1, write_fd = -1;
    if (on_terminal) {
        if (::openpty(&read_fd, &write_fd, nullptr, nullptr, nullptr) != 0) return {};
    } else {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return {};
        read_fd = fds[0];
        write_fd = fds[1];
    }
    std::vector<char*> envp;
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(write_fd, STDERR_FILENO);
        char* argv[] = {const_cast<char*>(KESTRUM_BINARY), nullptr};
        ::execve(KESTRUM_BINARY, argv, envp.data());
        ::_exit(127);
    }
    ::close(write_fd);
    ChildRun run;
    char buf[4096];
    for (;;) {
        pollfd p{read_fd, POLLIN, 0};
        if (::poll(&p, 1, 30000) <= 0) break;  // generous; a hang fails the test
        ssize_t n = ::read(read_fd, buf, sizeof buf);
        if (n <= 0) break;  // EOF, or EIO once the pty's other side is gone
        run.err.append(buf, static_cast<size_t>(n));
    }
    ::close(read_fd);
    ::waitpid(pid, &run.status, 0);
    return run;
}

TEST(Startup, LineFollowsFilterAndStyle) {
    struct Case {
        std::vector<std::string> env;
        bool on_terminal;
        bool shows_line;
        bool coloured;
    };
    const Case cases[] = {
        {{}, false, true, false},
        {{"KESTRUM_LOG=info"}, false, true, false},
        {{"KESTRUM_LOG=warn"}, false, false, false},
        {{"KESTRUM_LOG=warn,kestrum=info"}, false, true, false},
        {{"KESTRUM_LOG=off"}, false, false, false},
        {{"KESTRUM_LOG_STYLE=always"}, false, true, true},
        {{"KESTRUM_LOG_STYLE=Always"}, false, true, false},
        {{}, true, true, true},
        {{"KESTRUM_LOG_STYLE=never"}, true, true, false},
        {{"KESTRUM_LOG_STYLE=NEVER"}, true, true, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> env = c.env;
        env.push_back("TERM=xterm-256color");
        ChildRun run = run_kestrum(env, c.on_terminal);
        std::string label = (c.env.empty() ? std::string("(none)") : c.env[0]) +
                            (c.on_terminal ? " on a terminal" : " into a pipe");
        SCOPED_TRACE(label);
        ASSERT_TRUE(WIFEXITED(run.status));
        // Without a display the window system cannot start; the line comes first.
        EXPECT_EQ(run.err.find("starting kestrum 0.1.0") != std::string::npos, c.shows_line)
            << run.err;
        if (c.shows_line) {
            EXPECT_NE(run.err.find("kestrum: starting kestrum 0.1.0"), std::string::npos)
                << run.err;
            // Only our own line: the window system may colour its own warnings.
            std::string line = run.err.substr(0, run.err.find('\n'));
            EXPECT_EQ(line.find('\x1b') != std::string::npos, c.coloured) << run.err;
        }
    }
}

}  // namespace
