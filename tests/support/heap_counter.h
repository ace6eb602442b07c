#pragma once

// Counts the calling thread's heap calls while a piece of code runs. heap_counter.cpp replaces
// (or, under a sanitizer, hooks) the C allocation functions for the whole binary: link it alone.

namespace zerin::test {

void startCountingHeapCalls() noexcept;
int stopCountingHeapCalls() noexcept; // the calls since the start

template <typename Fn> int heapCalls(Fn&& fn) {
    startCountingHeapCalls();
    fn();
    return stopCountingHeapCalls();
}

// Keeps an allocation from being optimised away.
template <typename T> T* escape(T* p) {
    asm volatile("" : : "r"(p) : "memory");
    return p;
}

} // namespace zerin::test
