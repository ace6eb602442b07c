#include "signals/observation.h"

#include <algorithm>

namespace zerin {

namespace {

struct SignalEntry {
    std::uint64_t id = 0;
    std::function<void()> callback;
    bool active = true;
};

// The signals read while trackReads runs `read` on this thread; nested tracking saves and
// restores the outer list.
thread_local std::vector<std::shared_ptr<SignalState>>* currentReads = nullptr;

} // namespace

struct SignalState {
    std::vector<std::shared_ptr<SignalEntry>> entries;
    std::uint64_t nextId = 1;
};

Subscription::Subscription(std::weak_ptr<SignalState> state, std::uint64_t id)
    : state(std::move(state)), id(id) {}

Subscription::Subscription(Subscription&& other) noexcept
    : state(std::move(other.state)), id(other.id) {
    other.id = 0;
}

Subscription& Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        cancel();
        state = std::move(other.state);
        id = other.id;
        other.id = 0;
    }
    return *this;
}

Subscription::~Subscription() {
    cancel();
}

void Subscription::cancel() {
    if (const auto s = state.lock()) {
        auto& entries = s->entries;
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [this](const auto& e) { return e->id == id; });
        if (found != entries.end()) {
            // A notify in progress holds its own list of entries; the flag stops it from
            // calling this one after all.
            (*found)->active = false;
            entries.erase(found);
        }
    }
    state.reset();
    id = 0;
}

bool Subscription::isActive() const {
    const auto s = state.lock();
    if (!s) return false;
    return std::any_of(s->entries.begin(), s->entries.end(),
                       [this](const auto& e) { return e->id == id; });
}

Signal::Signal() : state(std::make_shared<SignalState>()) {}

Signal::~Signal() = default;

Subscription Signal::subscribeTo(const std::shared_ptr<SignalState>& state,
                                 std::function<void()> callback) {
    const std::uint64_t id = state->nextId++;
    state->entries.push_back(std::make_shared<SignalEntry>(SignalEntry{id, std::move(callback)}));
    return Subscription(state, id);
}

Subscription Signal::subscribe(std::function<void()> callback) {
    return subscribeTo(state, std::move(callback));
}

void Signal::notify() const {
    // Copies keep the entries (and the state) alive even if a callback destroys the model.
    const auto keepAlive = state;
    const auto entries = state->entries;
    for (const auto& entry : entries)
        if (entry->active) entry->callback();
}

void Signal::noteRead() const {
    if (currentReads) currentReads->push_back(state);
}

std::size_t Signal::subscriberCount() const {
    return state->entries.size();
}

namespace {

// Runs `read` and puts the signals it read into `reads`, each once, in address order. Nested
// tracking saves and restores the outer list.
void collectReads(const std::function<void()>& read,
                  std::vector<std::shared_ptr<SignalState>>& reads) {
    reads.clear();
    auto* const outer = currentReads;
    currentReads = &reads;
    try {
        read();
    } catch (...) {
        currentReads = outer;
        throw;
    }
    currentReads = outer;
    std::sort(reads.begin(), reads.end());
    reads.erase(std::unique(reads.begin(), reads.end()), reads.end());
}

} // namespace

std::vector<Subscription> trackReads(const std::function<void()>& read,
                                     std::function<void()> onChange) {
    std::vector<std::shared_ptr<SignalState>> reads;
    collectReads(read, reads);

    // One change is enough to make the reader stale; later ones before it rebuilds add nothing.
    auto fired = std::make_shared<bool>(false);
    auto shared = std::make_shared<std::function<void()>>(std::move(onChange));
    std::vector<Subscription> subscriptions;
    subscriptions.reserve(reads.size());
    for (const auto& s : reads) {
        subscriptions.push_back(Signal::subscribeTo(s, [fired, shared] {
            if (*fired) return;
            *fired = true;
            if (*shared) (*shared)();
        }));
    }
    return subscriptions;
}

ReadWatch::ReadWatch(std::function<void()> onChange) : onChange(std::move(onChange)) {}

void ReadWatch::run(const std::function<void()>& read) {
    collectReads(read, reads);
    if (reads == watched) return;
    subscriptions.clear();
    subscriptions.reserve(reads.size());
    for (const auto& s : reads)
        subscriptions.push_back(Signal::subscribeTo(s, [this] { onChange(); }));
    watched.swap(reads);
}

} // namespace zerin
