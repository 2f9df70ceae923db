#include "platform/PollEventLoop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace kalindor {
namespace {

// Real time, so only what holds however late the loop is woken: no tick comes before its
// time, a timer disabled or destroyed from its own callback fires no more, quit() ends run()
// with 0 and a watched signal with its number, although timers are still due.
TEST(PollEventLoop, TimersFireNeverEarlyUntilDisabledDestroyedOrTheLoopEnds) {
    PollEventLoop loop;
    const std::int64_t start = loop.nowMs();
    std::vector<std::int64_t> ticks;
    auto periodic = loop.createTimer([&] { ticks.push_back(loop.nowMs() - start); });
    periodic->setInterval(20);
    periodic->setEnabled(true);
    int onceTicks = 0;
    std::unique_ptr<Timer> destroyed = loop.createTimer([&] {
        ++onceTicks;
        destroyed.reset();
    });
    std::unique_ptr<Timer> disabled = loop.createTimer([&] {
        ++onceTicks;
        disabled->setEnabled(false);
    });
    for (Timer* timer : {destroyed.get(), disabled.get()}) {
        timer->setInterval(5);
        timer->setEnabled(true);
    }
    auto end = loop.createTimer([&] { loop.quit(); });
    end->setInterval(110);
    end->setEnabled(true);
    EXPECT_EQ(loop.run(), 0);
    EXPECT_GE(loop.nowMs() - start, 110);
    ASSERT_FALSE(ticks.empty());
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_GE(ticks[i], 20 * static_cast<std::int64_t>(i + 1)) << i;
    }
    EXPECT_EQ(onceTicks, 2);

    loop.watchSignals({SIGUSR1});
    auto raiser = loop.createTimer([] { std::raise(SIGUSR1); });
    raiser->setInterval(10);
    raiser->setEnabled(true);
    EXPECT_EQ(loop.run(), SIGUSR1);
}

}  // namespace
}  // namespace kalindor
