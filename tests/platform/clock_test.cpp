// The tick count the frames are paced on: it must step by about a
// millisecond (a 15.6 ms count made the show run up to half again too fast
// or too slow from second to second), count real time, and sleep about as
// long as asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "platform/system.h"

namespace {

// A tick count with the real time it was read at, read until no other work
// came between the two looks at the real time.
struct TimedTick {
    uint32_t tick;
    std::chrono::steady_clock::time_point wall;
};

TimedTick timed_tick() {
    for (int tries = 0;; ++tries) {
        auto before = std::chrono::steady_clock::now();
        uint32_t tick = platform_tick_count();
        auto after = std::chrono::steady_clock::now();
        if (after - before < std::chrono::microseconds(500) || tries == 10000) {
            return {tick, before + (after - before) / 2};
        }
    }
}

}  // namespace

TEST(Clock, StepsEveryMillisecondAndKeepsRealTime) {
    platform_fine_timer_begin();
    const TimedTick start = timed_tick();
    std::vector<uint32_t> steps;
    uint32_t last = start.tick;
    // A quarter of a second watched without pause: every change is a step.
    while (std::chrono::steady_clock::now() - start.wall < std::chrono::milliseconds(250)) {
        uint32_t now = platform_tick_count();
        if (now != last) {
            steps.push_back(now - last);
            last = now;
        }
    }
    const TimedTick end = timed_tick();
    ASSERT_GT(steps.size(), 10u) << "the count hardly moved";
    // A loaded machine may hold the loop up now and then, so the typical
    // step is what counts.
    std::sort(steps.begin(), steps.end());
    EXPECT_LE(steps[steps.size() / 2], 2u) << steps.size() << " steps, the longest " << steps.back() << " ms";
    const double wall_ms = std::chrono::duration<double, std::milli>(end.wall - start.wall).count();
    EXPECT_NEAR(double(end.tick - start.tick), wall_ms, 5.0);
    platform_fine_timer_end();
}

TEST(Clock, SleepsAboutAsLongAsAsked) {
    platform_fine_timer_begin();
    const uint32_t start = platform_tick_count();
    for (int i = 0; i < 10; ++i) platform_sleep(5);
    const uint32_t slept = platform_tick_count() - start;
    EXPECT_GE(slept, 45u);
    // Generous: a busy machine may wake the sleeper late.
    EXPECT_LE(slept, 1000u);
    platform_fine_timer_end();
}
