#pragma once

#include "signals/observation.h"

#include <functional>
#include <utility>

namespace zerin {

// One observed model field. Reads through get() subscribe a tracking view (trackReads);
// a set() that changes the value notifies. Main thread only.
template <typename T> class Observable {
public:
    Observable() = default;
    explicit Observable(T initial) : value(std::move(initial)) {}

    const T& get() const {
        changed.noteRead();
        return value;
    }

    // Reads without subscribing: for the model's own bookkeeping.
    const T& peek() const { return value; }

    // Stores `newValue`; notifies and returns true only when it differs from the old value.
    bool set(T newValue) {
        if (newValue == value) return false;
        value = std::move(newValue);
        changed.notify();
        return true;
    }

    [[nodiscard]] Subscription observe(std::function<void()> onChange) const {
        return changed.subscribe(std::move(onChange));
    }

private:
    T value{};
    // Mutable: subscribing and noting a read do not change the value.
    mutable Signal changed;
};

} // namespace zerin
