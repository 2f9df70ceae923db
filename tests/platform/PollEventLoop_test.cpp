// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PollEventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

namespace kalindor {
namespace {

// Real time, so only what holds however late the loop is woken. A blocker holds the loop
// 40 ms at 300, so the periodic timer's first tick comes late; the next keeps the 300 ms
// cadence and so still comes before a one-shot due at 620, whatever the load. Enabling an
// enabled timer every 7 ms does not restart its period; no tick comes before its time; a
// timer disabled or destroyed from its own callback fires no more.
TEST(PollEventLoop, TimersKeepTheirCadenceAndStopWhenDisabledDestroyedOrTheLoopEnds) {
    PollEventLoop loop;
    const std::int64_t start = loop.nowMs();
    std::string order;
    std::vector<std::unique_ptr<Timer>> timers;
    const auto add = [&](int ms, std::function<void()> onTick) -> Timer& {
        timers.push_back(loop.createTimer(std::move(onTick)));
        timers.back()->setInterval(ms);
        timers.back()->setEnabled(true);
        return *timers.back();
    };
    add(300, [&] {
        order += 'B';
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        timers[0]->setEnabled(false);
    });
    std::vector<std::int64_t> ticks;
    Timer& periodic = add(300, [&] {
        ticks.push_back(loop.nowMs() - start);
        order += 'A';
    });
    add(620, [&] {
        order += 'C';
        timers[2]->setEnabled(false);
    });
    add(7, [&] { periodic.setEnabled(true); });
    add(650, [&] { loop.quit(); });
    std::unique_ptr<Timer> destroyed = loop.createTimer([&] {
        order += 'D';
        destroyed.reset();
    });
    destroyed->setInterval(5);
    destroyed->setEnabled(true);

    EXPECT_EQ(loop.run().value(), 0);
    EXPECT_EQ(order, "DBAAC");
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_GE(ticks[i], 300 * static_cast<std::int64_t>(i + 1)) << i;
    }
    // A watched signal ends run() with its number although timers are still due.
    ASSERT_TRUE(loop.watchSignals({SIGUSR1}));
    add(10, [] { std::raise(SIGUSR1); });
    EXPECT_EQ(loop.run().value(), SIGUSR1);

    // A 20 ms timer held up 200 ms fires once when the loop is free again, not ten times in a
    // row to catch up: its next tick is a full period later.
    timers.clear();
    ticks.clear();
    std::int64_t stallEndMs = 0;
    add(20, [&] { ticks.push_back(loop.nowMs()); });
    add(30, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stallEndMs = loop.nowMs();
        timers[1]->setEnabled(false);
    });
    add(300, [&] { loop.quit(); });
    EXPECT_EQ(loop.run().value(), 0);
    EXPECT_EQ(std::ranges::count_if(
                  ticks, [&](std::int64_t ms) { return ms >= stallEndMs && ms < stallEndMs + 20; }),
              1);
}

}  // namespace
}  // namespace kalindor
