#include "platform/ui/main_queue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace zerin {

namespace {

constexpr double kMinimumInterval = 0.0001;

struct TimerEntry {
    std::uint64_t id = 0;
    double interval = 0.0;
    double due = 0.0;
    std::shared_ptr<std::function<void()>> tick;
};

} // namespace

struct MainQueueState {
    std::mutex taskMutex; // guards tasks only; timers are touched on the main thread alone
    std::deque<std::function<void()>> tasks;
    std::vector<TimerEntry> timers;
    std::uint64_t nextTimerId = 1;

    TimerEntry* findTimer(std::uint64_t id) {
        const auto found = std::find_if(timers.begin(), timers.end(),
                                        [id](const TimerEntry& t) { return t.id == id; });
        return found == timers.end() ? nullptr : &*found;
    }
};

Timer::Timer(std::weak_ptr<MainQueueState> state, std::uint64_t id)
    : state(std::move(state)), id(id) {}

Timer::Timer(Timer&& other) noexcept : state(std::move(other.state)), id(other.id) {
    other.id = 0;
}

Timer& Timer::operator=(Timer&& other) noexcept {
    if (this != &other) {
        invalidate();
        state = std::move(other.state);
        id = other.id;
        other.id = 0;
    }
    return *this;
}

Timer::~Timer() {
    invalidate();
}

void Timer::invalidate() {
    if (const auto s = state.lock()) {
        auto& timers = s->timers;
        timers.erase(std::remove_if(timers.begin(), timers.end(),
                                    [this](const TimerEntry& t) { return t.id == id; }),
                     timers.end());
    }
    state.reset();
    id = 0;
}

bool Timer::isValid() const {
    const auto s = state.lock();
    return s && s->findTimer(id) != nullptr;
}

double MainQueue::steadyClock() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

MainQueue::MainQueue(Clock clock, std::function<void()> wake)
    : clock(std::move(clock)), wake(std::move(wake)), state(std::make_shared<MainQueueState>()) {}

MainQueue::~MainQueue() = default;

void MainQueue::post(std::function<void()> task) {
    {
        std::lock_guard lock(state->taskMutex);
        state->tasks.push_back(std::move(task));
    }
    if (wake) wake();
}

Timer MainQueue::scheduleRepeating(double interval, std::function<void()> tick) {
    // Written so that a NaN interval also takes the minimum.
    if (!(interval >= kMinimumInterval)) interval = kMinimumInterval;
    const std::uint64_t id = state->nextTimerId++;
    state->timers.push_back(TimerEntry{id, interval, clock() + interval,
                                       std::make_shared<std::function<void()>>(std::move(tick))});
    return Timer(state, id);
}

int MainQueue::pump() {
    const auto keepAlive = state;
    int ran = 0;

    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(state->taskMutex);
        tasks.swap(state->tasks);
    }
    for (auto& task : tasks) {
        if (task) task();
        ++ran;
    }

    // Ticks may invalidate or add timers, so work from the ids due now and look each up again.
    const double now = clock();
    std::vector<std::pair<double, std::uint64_t>> due;
    for (const TimerEntry& t : state->timers)
        if (t.due <= now) due.emplace_back(t.due, t.id);
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
        TimerEntry* entry = state->findTimer(id);
        if (!entry) continue;
        const double missed = std::floor((now - entry->due) / entry->interval);
        entry->due += (missed + 1.0) * entry->interval;
        const auto tick = entry->tick; // the entry may be erased by the tick itself
        (*tick)();
        ++ran;
    }
    return ran;
}

std::optional<double> MainQueue::secondsUntilNextWork() const {
    {
        std::lock_guard lock(state->taskMutex);
        if (!state->tasks.empty()) return 0.0;
    }
    if (state->timers.empty()) return std::nullopt;
    double earliest = state->timers.front().due;
    for (const TimerEntry& t : state->timers)
        earliest = std::min(earliest, t.due);
    return std::max(0.0, earliest - clock());
}

} // namespace zerin
