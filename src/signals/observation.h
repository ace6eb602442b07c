#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zerin {

struct SignalState;

// A callback registered with a Signal. Destroying (or cancelling) it unsubscribes, so a view
// that goes away can never be called back; it may outlive the signal it came from.
class Subscription {
public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription();

    void cancel();
    bool isActive() const;

private:
    friend class Signal;
    Subscription(std::weak_ptr<SignalState> state, std::uint64_t id);

    std::weak_ptr<SignalState> state;
    std::uint64_t id = 0;
};

// "Something changed" for one model field or model. Main thread only.
// Owned by its model and never copied: the subscribers belong to that model.
class Signal {
public:
    Signal();
    ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Subscription subscribe(std::function<void()> callback);

    // Calls the subscribers present when the call starts, in subscription order. One that is
    // cancelled by an earlier callback is skipped; one added during the call waits for the next.
    void notify() const;

    // Records a read for trackReads, so a view that read the model is told when it changes.
    void noteRead() const;

    std::size_t subscriberCount() const;

private:
    friend class ReadWatch;
    friend std::vector<Subscription> trackReads(const std::function<void()>& read,
                                                std::function<void()> onChange);
    static Subscription subscribeTo(const std::shared_ptr<SignalState>& state,
                                    std::function<void()> callback);

    std::shared_ptr<SignalState> state;
};

// Runs `read` and calls `onChange` once, at the first later change of any signal read during
// it (Observable::get notes its reads). A view rebuilds with this: the returned subscriptions
// live with the view's current content and are replaced at the next rebuild.
[[nodiscard]] std::vector<Subscription> trackReads(const std::function<void()>& read,
                                                   std::function<void()> onChange);

// Keeps a reader subscribed to the signals its latest run read, and calls `onChange` at every
// change of any of them. For a view that draws often: a run that reads the same signals as the
// one before keeps its subscriptions, so steady redrawing neither allocates nor resubscribes.
class ReadWatch {
public:
    explicit ReadWatch(std::function<void()> onChange);
    ReadWatch(const ReadWatch&) = delete;
    ReadWatch& operator=(const ReadWatch&) = delete;

    void run(const std::function<void()>& read);

private:
    std::function<void()> onChange;
    std::vector<std::shared_ptr<SignalState>> reads;
    std::vector<std::shared_ptr<SignalState>> watched;
    std::vector<Subscription> subscriptions;
};

} // namespace zerin
