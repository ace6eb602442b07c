#include "platform/ui/main_queue.h"
#include "platform/ui/modifier_keys.h"
#include "platform/ui/random_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace zerin {
namespace {

TEST(MainQueue, RunsTasksFromAnyThreadInPostingOrderAtTheNextPump) {
    std::atomic<int> wakes{0};
    MainQueue queue(MainQueue::steadyClock, [&] { ++wakes; });
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

    std::vector<int> next(2, 0); // each thread's tasks run in the order it posted them
    std::vector<std::thread> posters;
    for (int t = 0; t < 2; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i)
                queue.post([&next, t, i] { EXPECT_EQ(next[t]++, i); });
        });
    while (next[0] + next[1] < 1000) {
        queue.pump();
        std::this_thread::yield();
    }
    for (auto& t : posters)
        t.join();
    EXPECT_EQ(wakes.load(), 3 + 1000);
}

TEST(MainQueue, TimersTickOnceWhenDueKeepTheirPhaseAndStopWithTheirHandle) {
    double now = 100.0;
    Timer survivor;
    int ticks = 0, selfStopping = 0, dropped = 0, tiny = 0;
    {
        MainQueue queue([&] { return now; });
        Timer timer = queue.scheduleRepeating(0.1, [&] { ++ticks; });
        Timer self;
        self = queue.scheduleRepeating(0.1, [&] {
            ++selfStopping;
            self.invalidate();
        });
        std::optional<Timer> holder(queue.scheduleRepeating(0.1, [&] { ++dropped; }));
        // Intervals of 0 or NaN take the minimum: due at every pump, yet ticking once in each.
        std::optional<Timer> zero(queue.scheduleRepeating(0.0, [&] { ++tiny; }));
        std::optional<Timer> nan(queue.scheduleRepeating(std::nan(""), [&] { ++tiny; }));
        survivor = queue.scheduleRepeating(10.0, [] {});
        now += 0.05;
        queue.pump();
        EXPECT_EQ(ticks, 0);
        now += 0.05;
        queue.pump();
        EXPECT_EQ(tiny, 4);
        zero.reset();
        nan.reset();
        queue.pump();
        EXPECT_EQ(ticks, 1);
        holder.reset();
        now += 0.95; // a loop that stalled ticks once, and the timer keeps its phase
        queue.pump();
        EXPECT_EQ(ticks, 2);
        EXPECT_NEAR(*queue.secondsUntilNextWork(), 0.05, 1e-9);
    }
    EXPECT_EQ(selfStopping, 1);
    EXPECT_EQ(dropped, 1);
    EXPECT_FALSE(survivor.isValid()); // the queue has gone
    survivor.invalidate();
}

TEST(SystemSources, OptionIsAltAndLockKeysAreIgnored) {
    EXPECT_EQ(modifierKeysFromX11State(1u << 3), (ModifierKeys{.option = true}));
    EXPECT_EQ(modifierKeysFromX11State((1u << 1) | (1u << 4)), ModifierKeys{}); // Caps, Num
    EXPECT_EQ(modifierKeysFromX11State(1u | (1u << 2) | (1u << 6)),
              (ModifierKeys{.shift = true, .control = true, .command = true}));
}

TEST(SystemSources, SeededRandomSequencesRepeatAndDrawsCoverTheirRangeOnTheirGrid) {
    RandomSource a(7), b(7);
    std::set<std::uint64_t> residues;
    for (int i = 0; i < 2000; ++i) {
        const std::uint64_t residue = a.below(7);
        const float unit = a.uniformFloat(0.0f, 1.0f) * 16777216.0f; // r / 2^24
        ASSERT_TRUE(b.below(7) == residue && b.uniformFloat(0.0f, 1.0f) * 16777216.0f == unit);
        ASSERT_TRUE(unit >= 0.0f && unit <= 16777216.0f && unit == std::floor(unit)) << unit;
        residues.insert(residue);
    }
    EXPECT_EQ(residues, (std::set<std::uint64_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(a.below(0), 0u);
}

} // namespace
} // namespace zerin
