#include "editor/particle_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace zerin {
namespace {

constexpr double kFrame = 1.0 / 30.0;
constexpr double kNow = 700000000.0; // a realistic frame time: the motion must not freeze

bool isFresh(const Particle& p) {
    return p.t >= 0.0f && p.t <= 1.0f && p.speed >= 0.15f && p.speed <= 0.45f && p.size >= 1.5f &&
           p.size <= 4.0f && p.alpha >= 0.3f && p.alpha <= 1.0f && p.phase >= 0.0f &&
           p.phase <= 6.2831855f;
}

TEST(ParticleSystem, DelayModeStreamsUpAtEachSpeedRespawningPastTheTopButNeverBackwards) {
    ParticleSystem system(RandomSource(12));
    int updates = 0;
    const Subscription s = system.observe([&] { ++updates; });
    std::set<float> places;
    for (const Particle& p : system.particles())
        EXPECT_TRUE(isFresh(p) && places.insert(p.t).second);
    EXPECT_EQ(places.size(), 120u); // spread along the curve
    std::vector<int> respawns(120, 0);
    for (int frame = 0; frame < 240; ++frame) {
        const std::vector<Particle> before = system.particles();
        system.update(SpectralMode::delay, kNow + frame * kFrame, 0.5f);
        const double dt = frame == 0 ? 0.016 : kFrame; // the first update's step is fixed
        for (std::size_t i = 0; i < before.size(); ++i) {
            const Particle& p = system.particles()[i];
            const double advanced = before[i].t + dt * before[i].speed;
            if (advanced > 1.0 + 1e-6) {
                ++respawns[i]; // a new particle, not the old one wrapped round
                EXPECT_TRUE(isFresh(p) && p.size != before[i].size);
            } else if (advanced < 1.0 - 1e-6) {
                EXPECT_NEAR(p.t, advanced, 1e-5);
            }
            EXPECT_TRUE(std::fabs(p.wobbleY) <= 2.0f && p.scatterOffset == 0.0f);
        }
    }
    // 8 s at no less than 0.15 a second: every particle has passed the top.
    EXPECT_EQ(std::count(respawns.begin(), respawns.end(), 0), 0);
    // A clock that steps back moves nothing, in any mode.
    const std::vector<Particle> before = system.particles();
    system.update(SpectralMode::delay, kNow - 1.0, 0.5f);
    system.update(SpectralMode::scatter, kNow - 2.0, 0.5f);
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(system.particles()[i].t, before[i].t);
    EXPECT_EQ(system.lastTime(), kNow - 2.0);
    EXPECT_EQ(updates, 242);
}

TEST(ParticleSystem, FreezeHoldsEveryParticleInPlaceAndPulsesIt) {
    ParticleSystem system(RandomSource(13));
    system.update(SpectralMode::scatter, kNow - 2.0, 1.0f); // leaves sideways offsets behind
    std::vector<Particle> before = system.particles();
    for (int frame = 0; frame < 3; ++frame) {
        system.update(SpectralMode::freeze, kNow + frame * kFrame, 1.0f);
        for (std::size_t i = 0; i < before.size(); ++i) {
            const Particle& p = system.particles()[i];
            EXPECT_TRUE(p.t == before[i].t && p.scatterOffset == 0.0f &&
                        p.alpha != before[i].alpha);
            EXPECT_TRUE(p.alpha >= -0.1f - 1e-6f && p.alpha <= 0.7f + 1e-6f) << p.alpha;
        }
        before = system.particles();
    }
}

TEST(ParticleSystem, ScatterFollowsTheSpeedControlAndRespawnsDrifters) {
    for (const float control : {0.0f, 1.0f}) {
        ParticleSystem system(RandomSource(14));
        const std::vector<Particle> start = system.particles();
        system.update(SpectralMode::scatter, kNow, control);
        const double rate = 1.5 * (0.05 + 1.35 * control); // times the particle's speed
        for (std::size_t i = 0; i < start.size(); ++i) {
            const double moved = start[i].t + 0.016 * rate * start[i].speed;
            EXPECT_TRUE(moved > 1.0 || std::fabs(system.particles()[i].t - moved) < 1e-6);
        }
        // Drift sideways is bounded: a particle that strays too far starts afresh.
        for (int frame = 1; frame < 400; ++frame) {
            system.update(SpectralMode::scatter, kNow + 0.25 * frame, control);
            for (const Particle& p : system.particles())
                ASSERT_TRUE(p.t >= 0.0f && p.t <= 1.0f && std::fabs(p.scatterOffset) <= 80.0f);
        }
    }
}

} // namespace
} // namespace zerin
