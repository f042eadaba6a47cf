#include "core/error.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "core/fatal.hpp"
#include "core/log.hpp"
#include "support/log_capture.hpp"

namespace kestrum::core {
namespace {

TEST(Error, PlainAndChainedForms) {
    Error spawn = Error("failed to spawn login shell /bin/zsh")
                      .with_cause("No such file or directory")
                      .with_cause("os error 2");
    EXPECT_EQ(fmt::format("{}", spawn), "failed to spawn login shell /bin/zsh");
    EXPECT_EQ(fmt::format("{:#}", spawn),
              "failed to spawn login shell /bin/zsh: No such file or directory: os error 2");
    // Wrapping keeps the inner chain after the inner message.
    Error outer = Error::wrap("could not open tab", spawn);
    EXPECT_EQ(outer.chained(),
              "could not open tab: failed to spawn login shell /bin/zsh: No such file or "
              "directory: os error 2");
    EXPECT_EQ(Error("alone").chained(), "alone");
}

TEST(Error, ExpectedCarriesIt) {
    auto f = [](bool ok) -> Result<int> {
        if (ok) return 7;
        return fail("nope");
    };
    EXPECT_EQ(f(true).value(), 7);
    EXPECT_EQ(f(false).error().message(), "nope");
}

TEST(PanicHookDeathTest, LogsLocationThenRunsPreviousHook) {
    EXPECT_DEATH(
        {
            testing::ensure_logging();
            install_panic_hook();
            fatal("grid out of bounds");
        },
        "ERROR kestrum_app: panic at .*error_test.cpp:[0-9]+:[0-9]+: grid out of bounds\n"
        "kestrum: fatal error at .*error_test.cpp");
}

// Uncaught on another thread, as a session thread would fail.
TEST(PanicHookDeathTest, UncaughtExceptions) {
    EXPECT_DEATH(
        {
            testing::ensure_logging();
            install_panic_hook();
            std::thread([] { throw Panic("broken invariant"); }).join();
        },
        "panic at .*error_test.cpp:[0-9]+:[0-9]+: broken invariant");
    EXPECT_DEATH(
        {
            testing::ensure_logging();
            install_panic_hook();
            std::thread([] { throw 42; }).join();
        },
        "panic at <unknown>:0:0: \\(non-string panic payload\\)");
}

TEST(PanicHookDeathTest, SilentLoggerStillRunsPreviousHook) {
    EXPECT_DEATH(
        {
            testing::ensure_logging();
            set_log_filter(LogFilter::parse("off"));
            install_panic_hook();
            fatal("quiet");
        },
        "^kestrum: fatal error at .*: quiet");
}

}  // namespace
}  // namespace kestrum::core
