#pragma once

#include <cstdint>
#include <random>

namespace zerin {

// The editor's random numbers (particles and the like; the kernel has its own generator).
// Seeded from the operating system unless a seed is given, so tests can replay a sequence.
class RandomSource {
public:
    RandomSource();
    explicit RandomSource(std::uint64_t seed);

    std::uint64_t next() { return engine(); }

    // Uniform on 0 .. bound - 1, without modulo bias; 0 when bound is 0.
    std::uint64_t below(std::uint64_t bound);

    // Uniform on the closed range [low, high]: low + (high - low) * r / 2^24 with r uniform on
    // 0 .. 2^24, all in 32-bit float. Both ends can occur.
    float uniformFloat(float low, float high);

    // As uniformFloat with r on 0 .. 2^53, in 64-bit float.
    double uniform(double low, double high);

private:
    std::mt19937_64 engine;
};

} // namespace zerin
