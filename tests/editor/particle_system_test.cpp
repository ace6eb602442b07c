#include "editor/particle_system.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace zerin {
namespace {

void expectFreshRanges(const Particle& p) {
    EXPECT_TRUE(p.t >= 0.0f && p.t <= 1.0f) << p.t;
    EXPECT_TRUE(p.speed >= 0.15f && p.speed <= (1.0f + 0.5f) * 0.3f) << p.speed;
    EXPECT_TRUE(p.size >= 1.5f && p.size <= 4.0f) << p.size;
    EXPECT_TRUE(p.alpha >= 0.3f && p.alpha <= 1.0f) << p.alpha;
    EXPECT_TRUE(p.phase >= 0.0f && p.phase <= 6.2831855f) << p.phase;
}

TEST(ParticleSystem, StartsWith120FreshParticlesSpreadAlongTheCurve) {
    ParticleSystem system(RandomSource(11));
    ASSERT_EQ(system.particles().size(), 120u);
    std::set<float> places;
    for (const Particle& p : system.particles()) {
        expectFreshRanges(p);
        EXPECT_EQ(p.wobbleY, 0.0f);
        EXPECT_EQ(p.scatterOffset, 0.0f);
        places.insert(p.t);
    }
    EXPECT_GT(places.size(), 110u);
}

TEST(ParticleSystem, DelayModeStreamsUpwardsAndRespawnsPastTheTop) {
    ParticleSystem system(RandomSource(12));
    std::vector<bool> respawned(120, false);
    double now = 700000000.0; // a realistic frame time: the sines must still move
    float dt = 0.016f;        // the first update's step
    for (int frame = 0; frame < 240; ++frame) {
        const std::vector<Particle> before = system.particles();
        system.update(SpectralMode::delay, now, 0.5f);
        for (std::size_t i = 0; i < before.size(); ++i) {
            const Particle& p = system.particles()[i];
            const float advanced = before[i].t + dt * before[i].speed;
            if (advanced > 1.0f) {
                respawned[i] = true;
                expectFreshRanges(p);
            } else {
                EXPECT_EQ(p.t, advanced);
            }
            EXPECT_LE(std::fabs(p.wobbleY), 2.0f);
            EXPECT_EQ(p.scatterOffset, 0.0f);
        }
        dt = static_cast<float>((now + 1.0 / 30.0) - now);
        now += 1.0 / 30.0;
    }
    // 8 s at no less than 0.15 per second: every particle has passed the top at least once.
    for (bool r : respawned)
        EXPECT_TRUE(r);
}

TEST(ParticleSystem, FreezeHoldsEveryParticleInPlaceAndPulsesIt) {
    ParticleSystem system(RandomSource(13));
    system.update(SpectralMode::scatter, 10.0, 1.0f);
    system.update(SpectralMode::scatter, 12.0, 1.0f); // leaves sideways offsets behind
    const std::vector<Particle> held = system.particles();
    std::set<float> alphas;
    for (double now : {12.016, 20.0, 5000.0, 5000.25}) {
        system.update(SpectralMode::freeze, now, 1.0f);
        for (std::size_t i = 0; i < held.size(); ++i) {
            const Particle& p = system.particles()[i];
            EXPECT_EQ(p.t, held[i].t);
            EXPECT_TRUE(p.alpha >= -0.1f - 1e-6f && p.alpha <= 0.7f + 1e-6f) << p.alpha;
            EXPECT_EQ(p.scatterOffset, 0.0f);
            alphas.insert(p.alpha);
        }
    }
    EXPECT_GT(alphas.size(), 100u);
}

TEST(ParticleSystem, ScatterFollowsTheSpeedControlAndRespawnsDrifters) {
    // Same seed, same particles: only the control differs (rate 0.05 at 0, 1.4 at 1).
    ParticleSystem slow(RandomSource(14));
    ParticleSystem fast(RandomSource(14));
    const std::vector<Particle> start = slow.particles();
    slow.update(SpectralMode::scatter, 50.0, 0.0f);
    fast.update(SpectralMode::scatter, 50.0, 1.0f);
    for (std::size_t i = 0; i < start.size(); ++i) {
        const float slowStep = slow.particles()[i].t - start[i].t;
        const float fastStep = fast.particles()[i].t - start[i].t;
        if (slowStep > 0.0f && fastStep > 0.0f) {
            EXPECT_NEAR(fastStep / slowStep, 28.0f, 0.05f);
        }
    }

    int driftRespawns = 0;
    for (int frame = 1; frame < 400; ++frame) {
        const std::vector<Particle> before = fast.particles();
        fast.update(SpectralMode::scatter, 50.0 + 0.25 * frame, 1.0f);
        for (std::size_t i = 0; i < before.size(); ++i) {
            const Particle& p = fast.particles()[i];
            ASSERT_TRUE(p.t >= 0.0f && p.t <= 1.0f);
            ASSERT_LE(std::fabs(p.scatterOffset), 80.0f);
            const bool fresh = p.scatterOffset == 0.0f && p.wobbleY == 0.0f;
            if (fresh && before[i].t + 0.25f * 1.4f * before[i].speed * 1.5f <= 1.0f)
                ++driftRespawns; // respawned for its offset, not for reaching the top
        }
    }
    EXPECT_GT(driftRespawns, 0);
}

TEST(ParticleSystem, AClockSteppingBackMovesNothingAndEveryUpdateIsObserved) {
    ParticleSystem system(RandomSource(16));
    int updates = 0;
    Subscription s = system.observe([&] { ++updates; });
    system.update(SpectralMode::delay, 1000.0, 0.5f);
    const std::vector<Particle> before = system.particles();
    system.update(SpectralMode::delay, 990.0, 0.5f);
    system.update(SpectralMode::scatter, 980.0, 0.5f);
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(system.particles()[i].t, before[i].t);
    EXPECT_EQ(system.lastTime(), 980.0);
    EXPECT_EQ(updates, 3);
}

} // namespace
} // namespace zerin
