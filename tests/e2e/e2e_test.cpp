// The real executable on a virtual display of its own, driven with xdotool: the
// window, the child's start-up, typing, a resize, closing, and a shell that fails.
// Every wait is for an event (a file, a window, an exit) with a generous limit.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous: the suite shares two cores with the rest of the tests.
constexpr auto kLimit = 60s;

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit = kLimit) {
    auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool on_path(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const fs::path& output, int keep_fd = -1) {
    std::vector<char*> argv, envp;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != keep_fd) ::close(fd);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

// The exit status, or nothing when the process is still running after `limit`.
std::optional<int> wait_exit(pid_t pid, std::chrono::milliseconds limit = kLimit) {
    std::optional<int> status;
    wait_until(
        [&] {
            int s = 0;
            if (::waitpid(pid, &s, WNOHANG) == pid) status = s;
            return status.has_value();
        },
        limit);
    return status;
}

// Gone, or a zombie nobody has reaped yet: either way no longer running.
bool process_gone(pid_t pid) {
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty()) return true;
    auto close_paren = stat.rfind(')');
    return close_paren != std::string::npos && close_paren + 2 < stat.size() &&
           stat[close_paren + 2] == 'Z';
}

std::map<std::string, std::string> parse_record(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq != std::string::npos) out.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool"})
            if (!on_path(tool)) GTEST_SKIP() << tool << " is not installed";
        char tmpl[] = "/tmp/kestrum-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        home_ = dir_ / "home";
        record_dir_ = dir_ / "record";
        fs::create_directories(home_ / ".config/kestrum");
        fs::create_directories(record_dir_);
        fs::create_directories(dir_ / "run");
        fs::permissions(dir_ / "run", fs::perms::owner_all, fs::perm_options::replace);
        start_display();
    }

    void TearDown() override {
        if (kestrum_ > 0) {
            ::kill(kestrum_, SIGKILL);
            ::waitpid(kestrum_, nullptr, 0);
        }
        auto rec = parse_record(read_file(record_dir_ / "record"));
        if (rec.count("pid")) ::kill(std::stoi(rec["pid"]), SIGKILL);
        if (xvfb_ > 0) {
            ::kill(xvfb_, SIGTERM);
            if (!wait_exit(xvfb_, 10s)) {
                ::kill(xvfb_, SIGKILL);
                ::waitpid(xvfb_, nullptr, 0);
            }
        }
        if (HasFailure()) std::fprintf(stderr, "kestrum log:\n%s\n", log().c_str());
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    // An X server of our own: focus and typed keys must not mix with other tests.
    void start_display() {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        xvfb_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1600x1000x24",
                       "-nolisten", "tcp"},
                      {"PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "")},
                      dir_ / "xvfb.log", fds[1]);
        ::close(fds[1]);
        std::string number;
        auto deadline = Clock::now() + kLimit;
        char c;
        while (Clock::now() < deadline) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) continue;
            if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start: " << read_file(dir_ / "xvfb.log");
        display_ = ":" + number;
    }

    void write_config(const std::string& text) {
        std::ofstream(home_ / ".config/kestrum/config.toml") << text;
    }

    void launch(const std::string& shell, const std::vector<std::string>& args = {}) {
        std::vector<std::string> env = {
            "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"),
            "HOME=" + home_.string(),
            "SHELL=" + shell,
            "DISPLAY=" + display_,
            "XDG_RUNTIME_DIR=" + (dir_ / "run").string(),
            // No session bus: one instance per test, never forwarded to another.
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir_ / "no-bus").string(),
            "KESTRUM_E2E_DIR=" + record_dir_.string(),
            "KESTRUM_LOG=info",
            "LANG=C.UTF-8",
        };
        // A sanitizer build's settings reach the program under test.
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        std::vector<std::string> argv = {KESTRUM_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        kestrum_ = spawn(argv, env, dir_ / "kestrum.log");
        ASSERT_GT(kestrum_, 0);
    }

    // xdotool's standard output, trimmed; nothing when it failed.
    std::optional<std::string> xdo(const std::string& args) {
        std::string cmd = "DISPLAY=" + display_ + " timeout 60 xdotool " + args + " 2>/dev/null";
        FILE* p = ::popen(cmd.c_str(), "r");
        if (!p) return std::nullopt;
        std::string out;
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        int status = ::pclose(p);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
            out.pop_back();
        if (status != 0) return std::nullopt;
        return out;
    }

    // The first visible window titled "Kestrum", focused.
    std::string focused_window() {
        std::string id;
        bool found = wait_until([&] {
            auto out = xdo("search --onlyvisible --name '^Kestrum$'");
            if (!out || out->empty()) return false;
            id = out->substr(0, out->find('\n'));
            return true;
        });
        EXPECT_TRUE(found) << "no Kestrum window appeared";
        if (found) {
            EXPECT_TRUE(xdo("windowfocus --sync " + id)) << "could not focus " << id;
        }
        return id;
    }

    std::map<std::string, std::string> wait_record() {
        bool started = wait_until([&] { return fs::exists(record_dir_ / "record"); });
        EXPECT_TRUE(started) << "the shell never started";
        return parse_record(read_file(record_dir_ / "record"));
    }

    std::string log() { return read_file(dir_ / "kestrum.log"); }

    fs::path recorder() const { return fs::path(KESTRUM_RECORDER); }

    fs::path dir_, home_, record_dir_;
    std::string display_;
    pid_t xvfb_ = -1;
    pid_t kestrum_ = -1;
};

constexpr const char* kConfig =
    "scrollback_lines = 1000\n"
    "[font]\nsize = 14.0\n"
    "[padding]\nx = 8.0\ny = 6.0\n";

TEST_F(EndToEnd, ChildStartsTypesResizesAndClosingEndsCleanly) {
    write_config(kConfig);
    launch(recorder().string());
    std::string window = focused_window();
    ASSERT_FALSE(window.empty());

    auto rec = wait_record();
    EXPECT_EQ(rec["argv0"], "-" + recorder().filename().string());
    EXPECT_EQ(rec["env:TERM"], "xterm-256color");
    EXPECT_EQ(rec["env:COLORTERM"], "truecolor");
    EXPECT_EQ(rec["env:SHELL"], recorder().string());
    EXPECT_EQ(fs::path(rec["cwd"]), home_);
    // 900 x 600 points at scale 1 with the bundled 14 px face and 8/6 padding.
    const std::string initial = rec["size"];
    EXPECT_EQ(initial, "34 98");

    ASSERT_TRUE(xdo("type --delay 15 'hello e2e'"));
    ASSERT_TRUE(xdo("key Return"));
    EXPECT_TRUE(wait_until([&] { return read_file(record_dir_ / "input") == "hello e2e\n"; }))
        << "input: " << read_file(record_dir_ / "input");

    // The child learns the new size once the burst of size changes has settled.
    ASSERT_TRUE(xdo("windowsize " + window + " 700 400"));
    EXPECT_TRUE(wait_until([&] {
        std::string sizes = read_file(record_dir_ / "sizes");
        return sizes.find("size=22 76\n") != std::string::npos;
    })) << "sizes: "
        << read_file(record_dir_ / "sizes");

    ASSERT_TRUE(xdo("key ctrl+shift+w"));
    auto status = wait_exit(kestrum_);
    ASSERT_TRUE(status) << "kestrum did not exit";
    kestrum_ = -1;
    EXPECT_TRUE(WIFEXITED(*status)) << "status " << *status;
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    pid_t child = std::stoi(rec["pid"]);
    EXPECT_TRUE(wait_until([&] { return process_gone(child); })) << "the shell survived";
}

TEST_F(EndToEnd, SuperWClosesTheLastTabAndTheProgram) {
    write_config(kConfig);
    launch(recorder().string());
    ASSERT_FALSE(focused_window().empty());
    auto rec = wait_record();
    ASSERT_TRUE(rec.count("pid"));
    ASSERT_TRUE(xdo("key super+w"));
    auto status = wait_exit(kestrum_);
    ASSERT_TRUE(status) << "kestrum did not exit";
    kestrum_ = -1;
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "status " << *status;
    pid_t child = std::stoi(rec["pid"]);
    EXPECT_TRUE(wait_until([&] { return process_gone(child); })) << "the shell survived";
}

// What a file manager's "Open With Kestrum" does: the folder as a file argument.
TEST_F(EndToEnd, AFolderFromTheDesktopIsTheFirstTabsDirectory) {
    write_config(kConfig);
    fs::path folder = dir_ / "project dir";
    fs::create_directories(folder);
    launch(recorder().string(), {folder.string()});
    ASSERT_FALSE(focused_window().empty());
    auto rec = wait_record();
    EXPECT_EQ(fs::path(rec["cwd"]), folder);
    ASSERT_TRUE(xdo("key ctrl+shift+w"));
    auto status = wait_exit(kestrum_);
    ASSERT_TRUE(status) << "kestrum did not exit";
    kestrum_ = -1;
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "status " << *status;
}

TEST_F(EndToEnd, AShellThatCannotStartGivesTheCriticalAlertAndStatusOne) {
    write_config(kConfig);
    launch((dir_ / "missing-shell").string());
    // The alert is the only window shown; answering it ends the program.
    std::string alert = focused_window();
    ASSERT_FALSE(alert.empty());
    ASSERT_TRUE(xdo("key Return"));
    auto status = wait_exit(kestrum_);
    ASSERT_TRUE(status) << "kestrum did not exit after the alert";
    kestrum_ = -1;
    EXPECT_TRUE(WIFEXITED(*status)) << "status " << *status;
    EXPECT_EQ(WEXITSTATUS(*status), 1);
    EXPECT_NE(log().find("failed to start terminal session: failed to spawn shell"),
              std::string::npos)
        << log();
}

}  // namespace
