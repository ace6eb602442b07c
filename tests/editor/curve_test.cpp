#include "dsp/curve.h"
#include "editor/curve_geometry.h"
#include "editor/particle_system.h"
#include "model/curve_model.h"
#include "widgets/theme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace zerin {
namespace {

namespace C = ZerinCurveConstants;

constexpr Size kCanvas{554.0, 262.0}; // plot 500 x 200 at (44, 34)

// The editor opens on the curve the kernel starts with, and a mode value no build knows is
// no mode at all.
TEST(CurveModel, UnknownModesAreRefusedAndTheDefaultCurveIsTheKernels) {
    EXPECT_EQ(spectralModeFromRawValue(2), SpectralMode::scatter);
    EXPECT_FALSE(spectralModeFromRawValue(3) || spectralModeFromRawValue(-1));
    const auto& curve = C::defaultCurve();
    ASSERT_EQ(curve.size(), std::size(kDefaultCurve));
    for (std::size_t i = 0; i < curve.size(); ++i)
        EXPECT_TRUE(curve[i].freq == kDefaultCurve[i].freq &&
                    curve[i].value == kDefaultCurve[i].value &&
                    curve[i].id != curve[(i + 1) % curve.size()].id);
    EXPECT_EQ(C::defaultCurve(), curve); // the same ids every time
}

TEST(CurveGeometry, ScreenAndCurveValuesRoundTripAndStayOnTheAxes) {
    EXPECT_EQ(screenPoint(20.0f, 0.0f, kCanvas), (Point{44.0, 34.0}));
    EXPECT_NEAR(screenPoint(20000.0f, 2000.0f, kCanvas).x, 544.0, 1e-4);
    EXPECT_EQ(screenPoint(20000.0f, 2000.0f, kCanvas).y, 234.0);
    EXPECT_EQ(screenPoint(2.0f, -100.0f, kCanvas).x, 44.0);         // the frequency is clamped
    EXPECT_NEAR(screenPoint(2.0f, -100.0f, kCanvas).y, 24.0, 1e-4); // the delay is not
    // Feedback runs the other way: 100 % at the top, 0 % at the bottom.
    EXPECT_EQ(screenY(100.0f, kCanvas, CurveKind::feedback), 34.0);
    EXPECT_EQ(screenY(0.0f, kCanvas, CurveKind::feedback), 234.0);
    for (const CurveKind kind : {CurveKind::delay, CurveKind::feedback}) {
        for (double fx = 0.0; fx <= 1.0; fx += 0.05) {
            for (double fy = 0.0; fy <= 1.0; fy += 0.125) {
                const Point location{44.0 + 500.0 * fx, 34.0 + 200.0 * fy};
                const CurvePoint value = curveValueAt(location, kCanvas, kind);
                const Point back = screenPoint(value.freq, value.value, kCanvas, kind);
                EXPECT_NEAR(back.x, location.x, 1e-3);
                EXPECT_NEAR(back.y, location.y, 1e-4);
            }
        }
        const CurvePoint above = curveValueAt({0.0, -50.0}, kCanvas, kind);
        EXPECT_EQ(above.value, kind == CurveKind::delay ? 0.0f : 100.0f);
    }
    // Off the plot, on a canvas too small to have one, or at a NaN: the nearest axis ends.
    const CurvePoint low = curveValueAt({-300.0, -50.0}, kCanvas),
                     high = curveValueAt({5000.0, 261.0}, kCanvas);
    EXPECT_TRUE(low.freq == 20.0f && low.value == 0.0f && high.freq == 20000.0f &&
                high.value == 2000.0f);
    for (const Size canvas : {kCanvas, Size{54.0, 38.0}, Size{}}) {
        for (const Point p : {Point{44.0, 10.0}, Point{100.0, 100.0}, Point{NAN, NAN}}) {
            const CurvePoint v = curveValueAt(p, canvas);
            EXPECT_TRUE(v.freq >= 20.0f && v.freq <= 20000.0f && v.value >= 0.0f &&
                        v.value <= 2000.0f)
                << v.freq << " " << v.value;
        }
    }
}

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
        }
        before = system.particles();
    }
}

// Drift sideways is bounded at either end of the speed control: a particle that strays too far
// starts afresh.
TEST(ParticleSystem, ScatterRespawnsDriftersAtAnySpeed) {
    for (const float control : {0.0f, 1.0f}) {
        ParticleSystem system(RandomSource(14));
        for (int frame = 0; frame < 400; ++frame) {
            system.update(SpectralMode::scatter, kNow + 0.25 * frame, control);
            for (const Particle& p : system.particles())
                ASSERT_TRUE(p.t >= 0.0f && p.t <= 1.0f && std::fabs(p.scatterOffset) <= 80.0f);
        }
    }
}

} // namespace
} // namespace zerin
