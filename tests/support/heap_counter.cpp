#include "support/heap_counter.h"

#include <cerrno>
#include <cstddef>

namespace {

// Constant-initialised, so touching them from inside malloc needs no allocation.
thread_local bool tCounting = false;
thread_local int tHeapCalls = 0;

void noteAllocation(const volatile void* = nullptr, std::size_t = 0) {
    tHeapCalls += tCounting ? 1 : 0;
}
void noteRelease(const volatile void* p) {
    tHeapCalls += tCounting && p != nullptr ? 1 : 0;
}

} // namespace

namespace zerin::test {

void startCountingHeapCalls() noexcept {
    tHeapCalls = 0;
    tCounting = true;
}

int stopCountingHeapCalls() noexcept {
    tCounting = false;
    return tHeapCalls;
}

} // namespace zerin::test

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*,
                                                                  std::size_t),
                                                         void (*)(const volatile void*));
const int gHooks = __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteRelease);
#else
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) noexcept {
    noteAllocation();
    return __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t n) noexcept {
    noteAllocation();
    return __libc_calloc(count, n);
}
void* realloc(void* p, std::size_t n) noexcept {
    noteAllocation();
    return __libc_realloc(p, n);
}
void* memalign(std::size_t alignment, std::size_t n) noexcept {
    noteAllocation();
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) noexcept {
    return memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) noexcept {
    *out = memalign(alignment, n);
    return *out != nullptr ? 0 : ENOMEM;
}
void free(void* p) noexcept {
    noteRelease(p);
    __libc_free(p);
}
}
#endif
