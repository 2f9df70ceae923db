#include "platform/PollEventLoop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace kalindor {
namespace {

// Real time, so only what holds however late the loop is woken: no tick comes before its
// time, none is made up, every timer gets its turn, and a timer disabled or destroyed from its
// own callback (even while another is due) fires no more.
TEST(PollEventLoop, TimersFireInTurnNeverEarlyAndStopWhenDisabledOrDestroyed) {
    PollEventLoop loop;
    const std::int64_t start = loop.nowMs();
    std::vector<std::int64_t> fast;
    auto fastTimer = loop.createTimer([&] { fast.push_back(loop.nowMs() - start); });
    fastTimer->setInterval(20);
    fastTimer->setEnabled(true);
    int slow = 0;
    auto slowTimer = loop.createTimer([&] { ++slow; });
    slowTimer->setInterval(70);
    slowTimer->setEnabled(true);
    int destroyedTicks = 0;
    std::unique_ptr<Timer> destroyed = loop.createTimer([&] {
        ++destroyedTicks;
        destroyed.reset();
    });
    destroyed->setInterval(5);
    destroyed->setEnabled(true);
    int disabledTicks = 0;
    std::unique_ptr<Timer> disabled = loop.createTimer([&] {
        ++disabledTicks;
        disabled->setEnabled(false);
    });
    disabled->setInterval(5);
    disabled->setEnabled(true);
    auto end = loop.createTimer([&] { loop.quit(); });
    end->setInterval(210);
    end->setEnabled(true);

    EXPECT_EQ(loop.run(), 0);
    const std::int64_t elapsed = loop.nowMs() - start;
    EXPECT_GE(elapsed, 210);
    ASSERT_FALSE(fast.empty());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        EXPECT_GE(fast[i], 20 * static_cast<std::int64_t>(i + 1)) << i;
    }
    EXPECT_LE(slow, 3);
    EXPECT_GE(slow, 1);
    EXPECT_EQ(destroyedTicks, 1);
    EXPECT_EQ(disabledTicks, 1);
}

TEST(PollEventLoop, AWatchedSignalEndsRunWithItsNumber) {
    PollEventLoop loop;
    loop.watchSignals({SIGUSR1});
    auto raiser = loop.createTimer([] { std::raise(SIGUSR1); });
    raiser->setInterval(10);
    raiser->setEnabled(true);
    // A timer far away proves run() did not simply run out of timers.
    auto far = loop.createTimer([] {});
    far->setInterval(100'000);
    far->setEnabled(true);
    EXPECT_EQ(loop.run(), SIGUSR1);
}

}  // namespace
}  // namespace kalindor
