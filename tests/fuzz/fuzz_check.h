#pragma once

// A broken invariant becomes a crash, so libFuzzer keeps its input and the replay stops.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace zerin::fuzz {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Says which property failed before trapping: a bare trap would leave only a stack to go on.
inline void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "fuzz: broken: %s\n", property);
    std::fflush(stderr);
    __builtin_trap();
}

// For failures of the harness itself (no temporary folder, no memfd): these say nothing
// about the code under test, so they must not look like a finding. `error` is an errno, or 0.
[[noreturn]] inline void harnessFailure(const char* what, int error = 0) {
    std::fprintf(stderr, "fuzz: the harness cannot run: %s%s%s\n", what, error ? ": " : "",
                 error ? std::strerror(error) : "");
    std::fflush(stderr);
    std::_Exit(3);
}

} // namespace zerin::fuzz
