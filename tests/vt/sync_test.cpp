// Synchronized updates: bytes held while an update is pending.
#include <gtest/gtest.h>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

TEST(Sync, HeldUntilTheUpdateEnds) {
    Vt vt;
    auto before = Processor::Clock::now();
    vt.feed(
        "a\x1b[?2026h"
        "bc\x1b[6n");
    auto after = Processor::Clock::now();
    EXPECT_EQ(vt.screen(), "a\n\n\n");
    EXPECT_EQ(vt.processor.sync_bytes_pending(), 6u);
    EXPECT_EQ(vt.recorder.replies(), "");
    auto deadline = vt.processor.sync_deadline();
    ASSERT_TRUE(deadline);
    EXPECT_GE(*deadline, before + sync_timeout);
    EXPECT_LE(*deadline, after + sync_timeout);

    vt.feed("d\x1b[?2026le");
    EXPECT_EQ(vt.screen(), "abcde\n\n\n");
    EXPECT_EQ(vt.recorder.replies(), "\x1b[1;4R");
    EXPECT_EQ(vt.processor.sync_bytes_pending(), 0u);
    EXPECT_FALSE(vt.processor.sync_deadline());
}

TEST(Sync, EndSequenceSplitAtEveryByte) {
    const std::string input =
        "\x1b[?2026h"
        "xy\x1b[?2026l"
        "z";
    for (std::size_t cut = 1; cut < input.size(); ++cut) {
        Vt vt;
        vt.feed(input.substr(0, cut));
        vt.feed(input.substr(cut));
        EXPECT_EQ(vt.screen(), "xyz\n\n\n") << "split at " << cut;
        EXPECT_FALSE(vt.processor.sync_active());
    }
}

TEST(Sync, StopAppliesTheHeldBytes) {
    Vt vt;
    vt.feed("\x1b[?2026hheld");
    EXPECT_EQ(vt.screen(), "\n\n\n");
    vt.processor.stop_sync(vt.term);
    EXPECT_EQ(vt.screen(), "held\n\n\n");
    EXPECT_EQ(vt.processor.sync_bytes_pending(), 0u);
    vt.feed("!");
    EXPECT_EQ(vt.screen(), "held!\n\n\n");
}

TEST(Sync, AFullBufferEndsTheUpdate) {
    Vt vt(10, 4, 0);
    vt.feed("\x1b[?2026h");
    std::string chunk(64 * 1024, 'x');
    for (std::size_t held = 0; held < sync_buffer_limit; held += chunk.size())
        vt.feed(chunk);
    EXPECT_EQ(vt.processor.sync_bytes_pending(), sync_buffer_limit);
    vt.feed("\x1b[2J\x1b[Hafter");
    EXPECT_FALSE(vt.processor.sync_active());
    EXPECT_EQ(vt.processor.sync_bytes_pending(), 0u);
    EXPECT_EQ(vt.screen(), "after\n\n\n");
}

TEST(Sync, AnUpdateBeginningInsideHeldBytesDoesNotNest) {
    Vt vt;
    vt.feed(
        "\x1b[?2026h"
        "a\x1b[?2026h"
        "b\x1b[?2026l"
        "c");
    EXPECT_EQ(vt.screen(), "abc\n\n\n");
    EXPECT_FALSE(vt.processor.sync_active());
}

}  // namespace
}  // namespace kestrum::vt
