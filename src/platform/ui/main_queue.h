#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace zerin {

struct MainQueueState;

// A repeating timer's handle. Destroying it invalidates the timer, so a tick can never reach
// a view that has gone; it may outlive the queue.
class Timer {
public:
    Timer() = default;
    Timer(Timer&& other) noexcept;
    Timer& operator=(Timer&& other) noexcept;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    void invalidate(); // main thread
    bool isValid() const;

private:
    friend class MainQueue;
    Timer(std::weak_ptr<MainQueueState> state, std::uint64_t id);

    std::weak_ptr<MainQueueState> state;
    std::uint64_t id = 0;
};

// Work for the editor's thread: tasks posted from any thread and repeating timers. The event
// loop that runs the editor (X11, a host's idle callback, a test) calls pump() whenever it
// wakes; nothing here blocks or sleeps.
class MainQueue {
public:
    using Clock = std::function<double()>; // seconds, monotonic

    // `wake` is called on the posting thread after each post, so a loop sleeping in poll()
    // can be woken (a self-pipe write, say); it must be safe to call from any thread.
    explicit MainQueue(Clock clock = steadyClock, std::function<void()> wake = {});
    ~MainQueue();
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    // Any thread (not the render thread: it takes a lock and allocates). Tasks run in the
    // order they were posted, at the next pump.
    void post(std::function<void()> task);

    // Main thread. First tick one interval from now; an interval below 0.1 ms is taken as
    // 0.1 ms, so a timer can never starve the loop.
    [[nodiscard]] Timer scheduleRepeating(double interval, std::function<void()> tick);

    // Main thread. Runs the tasks posted before the call (tasks they post wait for the next
    // pump), then every timer that is due, each at most once: a loop that fell behind skips
    // the missed ticks and keeps the timer's phase. Returns how many tasks and ticks ran.
    int pump();

    // How long the loop may sleep before a timer is due (0 when one is due or a task is
    // waiting); none when there is nothing to wait for.
    std::optional<double> secondsUntilNextWork() const;

    double now() const { return clock(); }

    static double steadyClock();

private:
    Clock clock;
    std::function<void()> wake;
    std::shared_ptr<MainQueueState> state;
};

} // namespace zerin
