// Real children in real pseudo-terminals.
#include "pty/pty.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/env.hpp"

namespace kestrum_pty {
namespace {

namespace fs = std::filesystem;

// Everything the child prints until its side of the terminal is gone.
std::string read_all(int fd) {
    std::string out;
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 30000) <= 0) break;
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // EIO once the slave has no holders
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

void write_all(int fd, std::string_view s) {
    while (!s.empty()) {
        ssize_t n = ::write(fd, s.data(), s.size());
        ASSERT_GT(n, 0);
        s.remove_prefix(static_cast<size_t>(n));
    }
}

struct Finished {
    std::string output;
    ExitStatus status;
};

Finished run(const PtyConfig& config, std::string_view input = {}) {
    auto pty = Pty::spawn(config);
    if (!pty) {
        ADD_FAILURE() << pty.error().message();
        return {};
    }
    if (!input.empty()) write_all(pty->master.fd(), input);
    Finished f;
    f.output = read_all(pty->master.fd());
    auto status = pty->child->wait();
    EXPECT_TRUE(status.has_value());
    if (status) f.status = *status;
    return f;
}

PtyConfig program(std::vector<std::string> argv) {
    PtyConfig c;
    c.shell = argv.front();
    c.args.assign(argv.begin() + 1, argv.end());
    return c;
}

class PtySpawn : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = fs::temp_directory_path() / ("kestrum-pty-home-" + std::to_string(::getpid()));
        fs::create_directories(home_);
        home_ = fs::canonical(home_);
        env_.set("HOME", home_.c_str());
        env_.set("SHELL", "/bin/sh");
        env_.set("TERM", "dumb");
        env_.set("ENV", nullptr);
    }
    void TearDown() override { fs::remove_all(home_); }
    fs::path home_;
    kestrum::testing::ScopedEnv env_;
};

TEST_F(PtySpawn, LoginShellWithTerminalEnvironment) {
    PtyConfig config;  // no shell: the login shell from SHELL
    Finished f = run(config,
                     "echo \"A0=$0\"; echo \"PWD=$(pwd)\"; "
                     "echo \"ENV=$TERM,$COLORTERM,$SHELL\"; exit 0\n");
    EXPECT_NE(f.output.find("A0=-sh\r\n"), std::string::npos) << f.output;
    EXPECT_NE(f.output.find("PWD=" + home_.string() + "\r\n"), std::string::npos) << f.output;
    EXPECT_NE(f.output.find("ENV=xterm-256color,truecolor,/bin/sh\r\n"), std::string::npos)
        << f.output;
    EXPECT_EQ(f.status, (ExitStatus{0, std::nullopt}));
}

TEST_F(PtySpawn, ConfiguredProgramFromPath) {
    Finished f = run(program({"sh", "-c", "echo \"A0=$0 SHELL=$SHELL\""}));
    EXPECT_NE(f.output.find("A0=sh SHELL=/bin/sh"), std::string::npos) << f.output;
}

TEST_F(PtySpawn, WorkingDirectory) {
    fs::path given = home_ / "project";
    fs::create_directories(given);
    fs::path deleted = home_ / "gone";
    struct Case {
        std::optional<fs::path> cwd;
        fs::path expected;
    };
    const Case cases[] = {
        {given, given}, {deleted, home_}, {home_ / "file", home_}, {std::nullopt, home_}};
    std::ofstream(home_ / "file") << "x";
    for (const auto& c : cases) {
        PtyConfig config = program({"/bin/sh", "-c", "pwd"});
        config.cwd = c.cwd;
        EXPECT_EQ(run(config).output, c.expected.string() + "\r\n");
    }
}

TEST_F(PtySpawn, ExtraEnvironmentAppliedLast) {
    PtyConfig config = program({"/bin/sh", "-c", "echo \"$TERM $KESTRUM_X\""});
    config.env = {{"KESTRUM_X", "1"}, {"TERM", "vt100"}, {"KESTRUM_X", "2"}};
    EXPECT_EQ(run(config).output, "vt100 2\r\n");
}

TEST_F(PtySpawn, SessionLeaderWithControllingTerminal) {
    PtyConfig config = program({"/bin/sh", "-c", "echo ok > /dev/tty; read line"});
    auto pty = Pty::spawn(config);
    ASSERT_TRUE(pty.has_value()) << pty.error().message();
    pid_t pid = static_cast<pid_t>(*pty->pid);
    EXPECT_EQ(::getsid(pid), pid);
    EXPECT_EQ(::getpgid(pid), pid);
    write_all(pty->master.fd(), "\n");
    EXPECT_NE(read_all(pty->master.fd()).find("ok\r\n"), std::string::npos);
    EXPECT_EQ(pty->child->wait().value().code, 0u);
}

TEST_F(PtySpawn, NoDescriptorLeaksIntoTheChild) {
    int leaky = ::open("/dev/null", O_RDONLY);  // deliberately without close-on-exec
    ASSERT_GE(leaky, 0);
    Finished f = run(program({"/bin/sh", "-c", "ls -1 /proc/$$/fd"}));
    ::close(leaky);
    std::string fds = f.output;
    std::erase(fds, '\r');
    EXPECT_EQ(fds, "0\n1\n2\n") << f.output;
}

TEST_F(PtySpawn, WindowSizeAndResize) {
    PtyConfig config = program({"/bin/sh", "-c", "stty size; read x; stty size"});
    config.size = {30, 100, 800, 600};
    auto pty = Pty::spawn(config);
    ASSERT_TRUE(pty.has_value());
    // Wait for the first answer before resizing so the order is fixed.
    std::string seen;
    char buf[256];
    while (seen.find("30 100\r\n") == std::string::npos) {
        pollfd p{pty->master.fd(), POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 30000), 0) << seen;
        ssize_t n = ::read(pty->master.fd(), buf, sizeof buf);
        ASSERT_GT(n, 0);
        seen.append(buf, static_cast<size_t>(n));
    }
    ASSERT_TRUE(pty->master.resize({40, 120, 0, 0}).has_value());
    write_all(pty->master.fd(), "\n");
    EXPECT_NE(read_all(pty->master.fd()).find("40 120\r\n"), std::string::npos);
    pty->child->wait();
}

TEST_F(PtySpawn, ExitStatuses) {
    struct Case {
        const char* script;
        ExitStatus expected;
    };
    const Case cases[] = {
        {"exit 0", {0, std::nullopt}},
        {"exit 3", {3, std::nullopt}},
        {"kill -TERM $$", {1, std::string(::strsignal(SIGTERM))}},
        {"kill -KILL $$", {1, std::string(::strsignal(SIGKILL))}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(program({"/bin/sh", "-c", c.script})).status, c.expected) << c.script;
}

TEST_F(PtySpawn, SpawnFailuresLeaveNothingRunning) {
    struct Case {
        std::optional<std::string> shell;
        const char* shell_env;
        std::string prefix;
    };
    fs::path not_exec = home_ / "notexec";
    std::ofstream(not_exec) << "#!/bin/sh\n";
    const Case cases[] = {
        {"/nonexistent/zsh", "/bin/sh", "failed to spawn shell /nonexistent/zsh: No such file"},
        {"kestrum-no-such-program", "/bin/sh", "failed to spawn shell kestrum-no-such-program: "},
        {not_exec.string(), "/bin/sh",
         "failed to spawn shell " + not_exec.string() + ": Permission denied"},
        {std::string("bad\xff"), "/bin/sh", "failed to spawn shell bad\xEF\xBF\xBD: "},
        {std::nullopt, "/nonexistent/fish", "failed to spawn shell $SHELL: No such file"},
    };
    for (const auto& c : cases) {
        kestrum::testing::ScopedEnv env;
        env.set("SHELL", c.shell_env);
        PtyConfig config;
        config.shell = c.shell;
        auto pty = Pty::spawn(config);
        ASSERT_FALSE(pty.has_value());
        EXPECT_EQ(pty.error().kind(), PtyError::Kind::Spawn);
        EXPECT_TRUE(pty.error().message().starts_with(c.prefix)) << pty.error().message();
        // The failed child was reaped.
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }
}

TEST(PtyError, Texts) {
    using kestrum::core::Error;
    Error cause = Error("Device busy").with_cause("os error 16");
    struct Case {
        PtyError error;
        std::string text;
    };
    const Case cases[] = {
        {PtyError::open_pty({24, 80, 0, 0}, cause), "failed to open pty (80x24): Device busy"},
        {PtyError::spawn("$SHELL", cause), "failed to spawn shell $SHELL: Device busy"},
        {PtyError::clone_reader(cause), "failed to clone pty reader: Device busy"},
        {PtyError::take_writer(cause), "failed to take pty writer: Device busy"},
        {PtyError::resize({50, 200, 0, 0}, cause), "failed to resize pty to 200x50: Device busy"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.message(), c.text);
        // Chained, the source is not repeated: its own causes follow.
        EXPECT_EQ(c.error.to_error().chained(), c.text + ": os error 16");
    }
}

TEST(PtyMaster, WriterIsTakenOnce) {
    auto pty = Pty::spawn(program({"/bin/sh", "-c", "exit 0"}));
    ASSERT_TRUE(pty.has_value());
    EXPECT_TRUE(pty->master.take_writer().has_value());
    auto again = pty->master.take_writer();
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error().kind(), PtyError::Kind::TakeWriter);
    EXPECT_TRUE(pty->master.try_clone_reader().has_value());
    pty->child->wait();
}

}  // namespace
}  // namespace kestrum_pty
