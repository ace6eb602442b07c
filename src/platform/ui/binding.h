#pragma once

#include "signals/observable.h"

#include <functional>
#include <utility>

namespace zerin {

// Two-way access to state owned by someone else: a view reads and writes its owner's value
// without holding it. Reads return a copy, so a write made while the copy is being edited
// cannot invalidate it.
template <typename T> struct Binding {
    std::function<T()> get;
    std::function<void(T)> set;

    // The source must outlive every copy of the binding.
    static Binding of(Observable<T>& source) {
        return {[&source] { return source.get(); },
                [&source](T value) { source.set(std::move(value)); }};
    }
    static Binding of(T& variable) {
        return {[&variable] { return variable; },
                [&variable](T value) { variable = std::move(value); }};
    }
};

} // namespace zerin
