#include "platform/PollEventLoop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <vector>

namespace kalindor {
namespace {

TEST(PollEventLoopTest, TimersFireAtTheirPeriodsUntilQuit) {
    PollEventLoop loop;
    std::vector<std::int64_t> fast;
    int slow = 0;
    const std::int64_t start = loop.nowMs();
    auto fastTimer = loop.createTimer([&] { fast.push_back(loop.nowMs() - start); });
    fastTimer->setInterval(20);
    fastTimer->setEnabled(true);
    auto slowTimer = loop.createTimer([&] { ++slow; });
    slowTimer->setInterval(70);
    slowTimer->setEnabled(true);
    auto end = loop.createTimer([&] { loop.quit(); });
    end->setInterval(210);
    end->setEnabled(true);

    EXPECT_EQ(loop.run().value(), 0);
    const std::int64_t elapsed = loop.nowMs() - start;
    EXPECT_GE(elapsed, 210);
    EXPECT_LT(elapsed, 400);
    ASSERT_GE(fast.size(), 9u);
    EXPECT_LE(fast.size(), 11u);
    EXPECT_GE(fast.front(), 20);
    EXPECT_EQ(slow, 3);
}

TEST(PollEventLoopTest, ADisabledOrDestroyedTimerStopsFiringEvenFromItsOwnCallback) {
    PollEventLoop loop;
    int ticks = 0;
    std::unique_ptr<Timer> once;
    once = loop.createTimer([&] {
        ++ticks;
        once.reset();  // destroys itself while firing
    });
    once->setInterval(5);
    once->setEnabled(true);
    int disabledTicks = 0;
    std::unique_ptr<Timer> selfDisabling;
    selfDisabling = loop.createTimer([&] {
        ++disabledTicks;
        selfDisabling->setEnabled(false);
    });
    selfDisabling->setInterval(5);
    selfDisabling->setEnabled(true);
    auto end = loop.createTimer([&] { loop.quit(); });
    end->setInterval(60);
    end->setEnabled(true);

    ASSERT_TRUE(loop.run());
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(disabledTicks, 1);
    EXPECT_FALSE(selfDisabling->enabled());
}

TEST(PollEventLoopTest, AWatchedSignalEndsRunWithItsNumber) {
    PollEventLoop loop;
    ASSERT_TRUE(loop.watchSignals({SIGUSR1}));
    auto raiser = loop.createTimer([] { std::raise(SIGUSR1); });
    raiser->setInterval(10);
    raiser->setEnabled(true);
    // A second timer far away proves run() did not simply run out of timers.
    auto far = loop.createTimer([] {});
    far->setInterval(100'000);
    far->setEnabled(true);
    EXPECT_EQ(loop.run().value(), SIGUSR1);
}

}  // namespace
}  // namespace kalindor
