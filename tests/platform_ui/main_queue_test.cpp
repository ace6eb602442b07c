#include "platform/ui/main_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

namespace zerin {
namespace {

struct ManualClock {
    double now = 100.0;
    MainQueue::Clock clock() {
        return [this] { return now; };
    }
};

TEST(MainQueue, RunsPostedTasksInOrderAtTheNextPump) {
    ManualClock time;
    MainQueue queue(time.clock());
    std::vector<int> ran;
    queue.post([&] {
        ran.push_back(1);
        queue.post([&] { ran.push_back(3); }); // waits: a pump never chases its own tail
    });
    queue.post([&] { ran.push_back(2); });
    EXPECT_EQ(queue.secondsUntilNextWork(), 0.0);
    EXPECT_EQ(queue.pump(), 2);
    EXPECT_EQ(queue.pump(), 1);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(queue.secondsUntilNextWork(), std::nullopt);
}

TEST(MainQueue, TakesTasksFromOtherThreadsAndWakesTheLoop) {
    std::atomic<int> wakes{0};
    MainQueue queue(MainQueue::steadyClock, [&] { ++wakes; });
    constexpr int perThread = 500;
    std::vector<std::vector<int>> seen(2);
    std::vector<std::thread> posters;
    for (int thread = 0; thread < 2; ++thread)
        posters.emplace_back([&, thread] {
            for (int i = 0; i < perThread; ++i)
                queue.post([&seen, thread, i] { seen[thread].push_back(i); });
        });
    while (seen[0].size() + seen[1].size() < 2 * perThread) {
        queue.pump();
        std::this_thread::yield();
    }
    for (auto& t : posters)
        t.join();
    EXPECT_EQ(wakes.load(), 2 * perThread);
    for (const auto& s : seen)
        for (int i = 0; i < perThread; ++i)
            ASSERT_EQ(s[i], i); // each thread's tasks in its posting order
}

TEST(MainQueue, RepeatingTimerTicksEveryIntervalAndSkipsMissedTicks) {
    ManualClock time;
    MainQueue queue(time.clock());
    int ticks = 0;
    Timer timer = queue.scheduleRepeating(0.1, [&] { ++ticks; });
    time.now += 0.05;
    queue.pump();
    EXPECT_EQ(ticks, 0);
    time.now += 0.05;
    queue.pump();
    queue.pump();
    EXPECT_EQ(ticks, 1);
    // A loop that stalled for 0.95 s ticks once, and the timer keeps its phase.
    time.now += 0.95;
    queue.pump();
    EXPECT_EQ(ticks, 2);
    EXPECT_NEAR(*queue.secondsUntilNextWork(), 0.05, 1e-9);
}

TEST(MainQueue, InvalidatedDroppedOrOrphanedTimersNeverTick) {
    ManualClock time;
    Timer survivor;
    int selfStopping = 0;
    int dropped = 0;
    int instant = 0;
    {
        MainQueue queue(time.clock());
        Timer self;
        self = queue.scheduleRepeating(0.1, [&] {
            ++selfStopping;
            self.invalidate();
        });
        std::optional<Timer> holder(queue.scheduleRepeating(0.1, [&] { ++dropped; }));
        // Intervals of 0 or NaN take the minimum instead of ticking without end.
        Timer zero = queue.scheduleRepeating(0.0, [&] { ++instant; });
        Timer nan = queue.scheduleRepeating(std::nan(""), [&] { ++instant; });
        survivor = queue.scheduleRepeating(1.0, [] {});
        time.now += 0.1;
        queue.pump();
        holder.reset();
        time.now += 1.0;
        queue.pump();
    }
    EXPECT_EQ(selfStopping, 1);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(instant, 4);
    EXPECT_FALSE(survivor.isValid());
    survivor.invalidate();
}

} // namespace
} // namespace zerin
