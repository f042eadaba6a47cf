// Sessions with real children in real pseudo-terminals.
#include "tabs/session.hpp"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "support/env.hpp"
#include "support/log_capture.hpp"
#include "tabs/manager.hpp"

namespace kestrum_tabs {
namespace {

using namespace std::chrono_literals;

// Polls `done` until it holds or a generous limit passes.
template <typename Pred>
bool eventually(Pred done, std::chrono::milliseconds limit = 20s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::string screen_text(SharedTerminal& shared) {
    std::lock_guard lock(shared.mutex);
    auto& t = shared.terminal->term();
    return t.text({t.top_line(), 0}, {t.bottom_line(), t.cols() - 1u});
}

bool shows(SharedTerminal& shared, std::string_view text) {
    return screen_text(shared).find(text) != std::string::npos;
}

kestrum_pty::PtyConfig script(const std::string& sh) {
    kestrum_pty::PtyConfig c;
    c.shell = "/bin/sh";
    c.args = {"-c", sh};
    return c;
}

struct Spawned {
    std::unique_ptr<Session> session;
    std::shared_ptr<std::atomic<bool>> tabs_changed = std::make_shared<std::atomic<bool>>(false);
};

Spawned spawn(const std::string& sh, BellCallback bell = nullptr, std::uint16_t cols = 80,
              std::uint16_t rows = 24) {
    Spawned s;
    auto session = Session::spawn(cols, rows, SessionOptions{}, script(sh), s.tabs_changed,
                                  std::move(bell), 9.0f, 18.0f);
    EXPECT_TRUE(session.has_value()) << (session ? "" : session.error().chained());
    if (session) s.session = std::move(*session);
    return s;
}

TEST(Session, ExitLines) {
    struct Case {
        const char* script;
        std::string line;
    };
    const Case cases[] = {
        {"exit 0", "[process exited]"},
        {"exit 3", "[process exited: 3]"},
        {"kill -TERM $$", std::string("[process exited: ") + ::strsignal(SIGTERM) + "]"},
    };
    for (const auto& c : cases) {
        auto s = spawn(c.script);
        ASSERT_TRUE(s.session);
        auto term = s.session->terminal;
        EXPECT_TRUE(eventually([&] { return shows(*term, c.line); })) << screen_text(*term);
        EXPECT_TRUE(s.session->exited->load());
        // Set just after the line is fed.
        EXPECT_TRUE(eventually([&] { return s.tabs_changed->load(); }));
    }
    EXPECT_EQ(exit_line(std::nullopt), "\r\n\x1b[2m[process exited]\x1b[0m");
    EXPECT_EQ(exit_line(kestrum_pty::ExitStatus{0, std::nullopt}).size(), 26u);
    EXPECT_EQ(exit_line(kestrum_pty::ExitStatus{3, std::nullopt}),
              "\r\n\x1b[38;2;226;52;57m[process exited: 3]\x1b[0m");
}

TEST(Session, InputReachesTheChildAndItsEchoTheScreen) {
    auto s = spawn("read line; echo \"got:$line\"; read again");
    ASSERT_TRUE(s.session);
    s.session->write("");  // nothing queued
    s.session->write("hello\n");
    auto term = s.session->terminal;
    EXPECT_TRUE(eventually([&] { return shows(*term, "got:hello"); })) << screen_text(*term);
    EXPECT_GT(s.session->bytes_read->load(), 0u);
}

TEST(Session, RepliesGoBackToTheChild) {
    // The child asks for the cursor position and prints what it receives.
    auto s = spawn("stty raw -echo; printf '\\033[6n'; dd bs=1 count=6 2>/dev/null | od -c");
    ASSERT_TRUE(s.session);
    auto term = s.session->terminal;
    EXPECT_TRUE(eventually([&] { return shows(*term, "033   [   1   ;   1   R"); }))
        << screen_text(*term);
}

TEST(Session, TitlesFromTheProgramAndTheUser) {
    auto s =
        spawn("printf '\\033]2;build\\033\\\\'; read x; printf '\\033]2;\\a\\a\\033\\\\'; read y");
    ASSERT_TRUE(s.session);
    EXPECT_EQ(s.session->default_title(), "sh");
    EXPECT_TRUE(eventually([&] { return s.session->title() == "build"; }));
    s.session->set_manual_title("mine");
    EXPECT_EQ(s.session->title(), "mine");
    s.session->set_manual_title("\x1b\t");
    EXPECT_EQ(s.session->title(), "build");
    // A program title of control characters only leaves the default.
    s.session->write("\n");
    EXPECT_TRUE(eventually([&] { return s.session->title() == "sh"; })) << s.session->title();
}

TEST(Session, DefaultTitles) {
    EXPECT_EQ(default_title_for(std::nullopt), "shell");
    EXPECT_EQ(default_title_for("/bin/zsh"), "zsh");
    EXPECT_EQ(default_title_for("fish"), "fish");
    EXPECT_EQ(default_title_for("/"), "shell");
    EXPECT_EQ(default_title_for("/usr/bin/.."), "shell");
    EXPECT_EQ(default_title_for(""), "shell");
    EXPECT_EQ(default_title_for("/opt/b\xffn"), "b\xEF\xBF\xBDn");
}

TEST(Session, ReplyFloodIsCappedAndWarnedAtMostOncePerSecond) {
    kestrum::testing::LogCapture capture;
    // Asks for device attributes forever and never reads its input. Raw mode: a
    // full input buffer then blocks the writer instead of dropping characters.
    auto s = spawn(
        "stty raw -echo; while :; do printf "
        "'\\033[c\\033[c\\033[c\\033[c\\033[c\\033[c\\033[c\\033[c'; done");
    ASSERT_TRUE(s.session);
    // Generous: sanitizer builds feed far slower.
    EXPECT_TRUE(eventually(
        [&] { return capture.text().find("query-reply flood:") != std::string::npos; }, 120s));
    auto first = std::chrono::steady_clock::now();
    EXPECT_LE(s.session->pending_reply_bytes(), kReplyCap);
    // Watch a while longer: the cap holds and warnings stay rate-limited.
    std::this_thread::sleep_for(1500ms);
    EXPECT_LE(s.session->pending_reply_bytes(), kReplyCap);
    std::string log = capture.text();
    std::size_t warnings = 0;
    for (size_t at = log.find("query-reply flood:"); at != std::string::npos;
         at = log.find("query-reply flood:", at + 1))
        ++warnings;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
    EXPECT_LE(warnings, static_cast<std::size_t>(seconds) + 2) << log;
    EXPECT_TRUE(std::regex_search(
        log,
        std::regex("WARN  kestrum_tabs::session: query-reply flood: [0-9]+ reply bytes already "
                   "pending and the child is not reading; dropping a [0-9]+-byte reply\n")))
        << log;
}

TEST(Session, BellInterval) {
    struct Case {
        const char* name;
        const char* script;
        std::vector<bool> answers;  // what the callback returns, call by call
        int expected_calls;
    };
    const Case cases[] = {
        {"close bells give one", "printf '\\a'; sleep 0.3; printf '\\a'; read x", {true}, 1},
        {"undelivered bells do not start the interval",
         "printf '\\a'; sleep 0.3; printf '\\a'; read x",
         {false, true},
         2},
        {"bells 1.7 s apart give two",
         "printf '\\a'; sleep 1.7; printf '\\a'; read x",
         {true, true},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto calls = std::make_shared<std::atomic<int>>(0);
        struct Seen {
            std::mutex mutex;
            std::string title;  // guarded by mutex
        };
        auto seen = std::make_shared<Seen>();
        std::vector<bool> answers = c.answers;
        auto bell = std::make_shared<std::function<bool(const std::string&)>>(
            [calls, answers, seen](const std::string& title) {
                int n = calls->fetch_add(1);
                std::lock_guard lock(seen->mutex);
                seen->title = title;
                return n < static_cast<int>(answers.size()) ? answers[n] : true;
            });
        auto s = spawn(c.script, bell);
        ASSERT_TRUE(s.session);
        // Both bells have been read once the child waits in `read`.
        auto term = s.session->terminal;
        EXPECT_TRUE(eventually([&] { return calls->load() >= c.expected_calls; }));
        std::this_thread::sleep_for(400ms);  // room for a wrong extra call to show
        EXPECT_EQ(calls->load(), c.expected_calls);
        std::lock_guard lock(seen->mutex);
        EXPECT_EQ(seen->title, "sh");
    }
}

TEST(Session, ResizeSendsOnlyTheSettledSize) {
    auto s = spawn("read x; stty size; read y");
    ASSERT_TRUE(s.session);
    EXPECT_FALSE(s.session->resize_local(80, 24, 9.4f, 18.2f));  // below one pixel: no change
    EXPECT_TRUE(s.session->resize_local(100, 30, 9, 18));
    EXPECT_TRUE(s.session->resize_local(120, 40, 9, 18));
    s.session->flush_winsize();
    s.session->write("\n");
    auto term = s.session->terminal;
    EXPECT_TRUE(eventually([&] { return shows(*term, "40 120"); })) << screen_text(*term);
    {
        std::lock_guard lock(term->mutex);
        EXPECT_EQ(term->terminal->term().cols(), 120);
        EXPECT_EQ(term->terminal->cell_width, 9);
    }
}

TEST(Session, TeardownEscalatesToKill) {
    auto s = spawn("trap '' HUP; echo ready; while :; do sleep 1; done");
    ASSERT_TRUE(s.session);
    auto term = s.session->terminal;
    auto exited = s.session->exited;
    ASSERT_TRUE(eventually([&] { return shows(*term, "ready"); }));
    s.session.reset();
    // The hang-up is ignored; the kill ends it, and the reader prints why.
    std::string killed = std::string("[process exited: ") + ::strsignal(SIGKILL) + "]";
    EXPECT_TRUE(eventually([&] { return shows(*term, killed); })) << screen_text(*term);
    EXPECT_TRUE(exited->load());
}

TEST(Session, ReaderBlockedByAnOutsiderIsDetachedWithAWarning) {
    kestrum::testing::LogCapture capture;
    auto s = spawn("setsid sleep 60 & echo \"BG=$!\"; exec sleep 60");
    ASSERT_TRUE(s.session);
    auto term = s.session->terminal;
    std::smatch m;
    std::string text;
    ASSERT_TRUE(eventually([&] {
        text = screen_text(*term);
        return std::regex_search(text, m, std::regex("BG=([0-9]+)"));
    }));
    pid_t outsider = std::stoi(m[1]);
    // It has left the child's group once it leads a session of its own.
    ASSERT_TRUE(eventually([&] { return ::getsid(outsider) == outsider; }));
    auto pid = s.session->pid();
    s.session.reset();
    EXPECT_TRUE(eventually([&] {
        return capture.text().find("still blocked 2000ms after teardown") != std::string::npos;
    })) << capture.text()
        << screen_text(*term);
    EXPECT_NE(capture.text().find("pty reader (pgid Some(" + std::to_string(*pid) + "))"),
              std::string::npos);
    // Once the outsider goes, the reader finishes by itself.
    ::kill(outsider, SIGKILL);
    EXPECT_TRUE(eventually([&] { return shows(*term, "[process exited"); }));
}

TEST(Session, AbandonedChildIsEndedAndReaped) {
    auto pty = kestrum_pty::Pty::spawn(script("trap '' HUP; while :; do sleep 1; done"));
    ASSERT_TRUE(pty.has_value());
    pid_t pid = static_cast<pid_t>(*pty->pid);
    abandon_child(*pty);
    EXPECT_FALSE(pty->pid.has_value());
    EXPECT_EQ(::kill(pid, 0), -1);  // reaped, not a zombie
}

TEST(Session, SpawnFailureTexts) {
    auto tabs_changed = std::make_shared<std::atomic<bool>>(false);
    kestrum_pty::PtyConfig c;
    c.shell = "/nonexistent/shell";
    auto s = Session::spawn(80, 24, SessionOptions{}, c, tabs_changed, nullptr, 9, 18);
    ASSERT_FALSE(s.has_value());
    EXPECT_TRUE(s.error().chained().starts_with("failed to spawn shell /nonexistent/shell: "));
}

// ---- the tab manager with real sessions ----

class Tabs : public ::testing::Test {
  protected:
    void SetUp() override {
        auto m = TabManager::create(80, 24, SessionOptions{}, script("read x"), nullptr, 9, 18);
        ASSERT_TRUE(m.has_value());
        manager = std::move(*m);
    }
    void open(int n) {
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(manager->open(80, 24, script("read x"), 9, 18));
    }
    std::vector<Session*> list() const {
        std::vector<Session*> out;
        for (auto& s : manager->sessions)
            out.push_back(s.get());
        return out;
    }
    std::unique_ptr<TabManager> manager;
};

TEST_F(Tabs, OpenAppendsAndActivates) {
    EXPECT_TRUE(manager->tabs_changed->load());
    manager->tabs_changed->store(false);
    open(1);
    manager->select(0);
    open(1);
    EXPECT_EQ(manager->sessions.size(), 3u);
    EXPECT_EQ(manager->active, 2u);
    EXPECT_TRUE(manager->tabs_changed->load());
    // A failed open changes nothing.
    kestrum_pty::PtyConfig bad;
    bad.shell = "/nonexistent/shell";
    EXPECT_FALSE(manager->open(80, 24, bad, 9, 18));
    EXPECT_EQ(manager->sessions.size(), 3u);
    EXPECT_EQ(manager->active, 2u);
}

TEST_F(Tabs, SelectionWraps) {
    manager->select_next();
    EXPECT_EQ(manager->active, 0u);  // one tab: nothing changes
    open(1);
    manager->select(0);
    manager->select_previous();
    EXPECT_EQ(manager->active, 1u);
    manager->select_next();
    EXPECT_EQ(manager->active, 0u);
    manager->select(7);
    EXPECT_EQ(manager->active, 0u);
}

TEST_F(Tabs, RemovalKeepsTheRightTabActive) {
    open(2);  // A, B, C with C active
    auto [a, b, c] = std::tuple{list()[0], list()[1], list()[2]};
    EXPECT_TRUE(manager->remove(0));
    EXPECT_EQ(list(), (std::vector<Session*>{b, c}));
    EXPECT_EQ(manager->active, 1u);

    SetUp();
    open(2);
    a = list()[0];
    b = list()[1];
    EXPECT_TRUE(manager->remove(2));
    EXPECT_EQ(list(), (std::vector<Session*>{a, b}));
    EXPECT_EQ(manager->active, 1u);
    EXPECT_FALSE(manager->remove(5));
}

TEST_F(Tabs, CloseOthersAndRename) {
    open(2);
    EXPECT_TRUE(manager->close_others(9));
    EXPECT_EQ(manager->sessions.size(), 3u);
    Session* b = list()[1];
    EXPECT_TRUE(manager->close_others(1));
    EXPECT_EQ(list(), (std::vector<Session*>{b}));
    EXPECT_EQ(manager->active, 0u);
    manager->rename(0, "  work ");
    EXPECT_EQ(b->title(), "  work ");
    manager->rename(3, "ignored");
    manager->rename(0, "\x01\x02");
    EXPECT_EQ(b->title(), "sh");
}

}  // namespace
}  // namespace kestrum_tabs
