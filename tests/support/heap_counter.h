#pragma once

// Counts the heap calls (allocations and releases) the calling thread makes while a counted
// piece of code runs. Linking heap_counter.cpp replaces the C allocation functions, which
// operator new and FFTW's allocator end in, for the whole binary (under a sanitizer, which
// owns the heap itself, it hooks them instead): give it an executable of its own.

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
