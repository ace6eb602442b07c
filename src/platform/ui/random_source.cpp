#include "platform/ui/random_source.h"

namespace zerin {

RandomSource::RandomSource() {
    std::random_device device;
    std::seed_seq seeds{device(), device(), device(), device()};
    engine.seed(seeds);
}

RandomSource::RandomSource(std::uint64_t seed) : engine(seed) {}

std::uint64_t RandomSource::below(std::uint64_t bound) {
    if (bound == 0) return 0;
    // Draws under `threshold` would make the low residues more likely; 2^64 mod bound of
    // them are thrown away.
    const std::uint64_t threshold = (0 - bound) % bound;
    for (;;) {
        const std::uint64_t r = engine();
        if (r >= threshold) return r % bound;
    }
}

float RandomSource::uniformFloat(float low, float high) {
    constexpr std::uint64_t steps = std::uint64_t{1} << 24;
    const float r = static_cast<float>(below(steps + 1));
    return low + (high - low) * r / static_cast<float>(steps);
}

double RandomSource::uniform(double low, double high) {
    constexpr std::uint64_t steps = std::uint64_t{1} << 53;
    const double r = static_cast<double>(below(steps + 1));
    return low + (high - low) * r / static_cast<double>(steps);
}

} // namespace zerin
