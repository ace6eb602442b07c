// Signals, subscriptions and read tracking: what every view and model of the editor stands on.

#include "signals/observable.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zerin {
namespace {

TEST(Signal, SubscribersComeAndGoSafelyEvenDuringANotify) {
    Signal signal;
    std::vector<std::string> calls;
    std::optional<Subscription> later, added;
    Subscription first = signal.subscribe([&] {
        calls.push_back("first");
        later.reset(); // cancelled before its turn: skipped
        if (!added) added.emplace(signal.subscribe([&] { calls.push_back("added"); }));
    });
    later.emplace(signal.subscribe([&] { calls.push_back("later"); }));
    signal.notify();
    signal.notify();
    first.cancel();
    signal.notify();
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "first", "added", "added"}));
    EXPECT_EQ(signal.subscriberCount(), 1u);

    Subscription orphan;
    {
        Signal gone;
        orphan = gone.subscribe([] {});
    }
    EXPECT_FALSE(orphan.isActive());
    // An observer may drop the very model that is notifying it.
    auto model = std::make_unique<Observable<int>>(0);
    int after = 0;
    Subscription dropper = model->observe([&] { model.reset(); });
    Subscription next = model->observe([&] { ++after; });
    model->set(1);
    EXPECT_EQ(after, 1);
}

TEST(TrackReads, ReportsTheFirstRealChangeOfWhatWasReadOnce) {
    Observable<int> read(1), alsoRead(2), peeked(3);
    int stale = 0;
    auto tracking =
        trackReads([&] { (void)(read.get() + alsoRead.get() + read.get() + peeked.peek()); },
                   [&] { ++stale; });
    EXPECT_EQ(tracking.size(), 2u); // one subscription per model, however often it was read
    peeked.set(30);
    EXPECT_FALSE(alsoRead.set(2)); // an equal value is no change
    EXPECT_EQ(stale, 0);
    alsoRead.set(20);
    read.set(10);
    EXPECT_EQ(stale, 1);
    tracking = trackReads([&] { (void)read.get(); }, [&] { ++stale; });
    tracking.clear(); // a rebuild drops the old tracking
    read.set(11);
    EXPECT_EQ(stale, 1);
}

} // namespace
} // namespace zerin
