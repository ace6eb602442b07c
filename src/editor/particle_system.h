#pragma once

#include "model/curve_model.h"
#include "platform/ui/random_source.h"
#include "signals/observation.h"

#include <functional>
#include <vector>

namespace zerin {

// A dot travelling along the curve. `t` is its place on the curve (0 at the lowest
// frequency, 1 at the highest); the drawing layer turns it into a position with
// heardCurveSample.
struct Particle {
    float t = 0.0f;             // 0..1
    float speed = 0.0f;         // increase of t per second in delay mode, 0.15..0.45
    float size = 0.0f;          // core radius in points, 1.5..4; the glow is 2.5 times wider
    float alpha = 0.0f;         // core opacity, 0.3..1; the glow uses 0.12 of it
    float wobbleY = 0.0f;       // points below the curve
    float scatterOffset = 0.0f; // points right of the curve
    float phase = 0.0f;         // radians, 0..2 pi
};

// The particles shown over the curve: they stream upwards in frequency in delay mode, hold
// and pulse in freeze mode, and drift sideways in scatter mode. Main thread only; observers
// hear of every update.
class ParticleSystem {
public:
    static constexpr int particleCount = 120;

    ParticleSystem();
    explicit ParticleSystem(RandomSource random);
    ParticleSystem(const ParticleSystem&) = delete;
    ParticleSystem& operator=(const ParticleSystem&) = delete;

    // Always particleCount particles, in creation order.
    const std::vector<Particle>& particles() const;
    // Frame time of the previous update, seconds; 0 before the first.
    double lastTime() const;

    // New random place, speed, size, opacity and phase; no offsets.
    void respawn(Particle& particle);

    // Advances every particle to frame time `now` (seconds); `scatterSpeed` is a fraction 0..1.
    void update(SpectralMode mode, double now, float scatterSpeed);

    [[nodiscard]] Subscription observe(std::function<void()> onChange) const;

private:
    void updateDelay(Particle& p, float dt, double n);
    void updateFreeze(Particle& p, double n) const;
    void updateScatter(Particle& p, float dt, double n, float spd);

    RandomSource random;
    std::vector<Particle> list;
    double previousTime = 0.0;
    // Mutable: subscribing and noting a read leave the particles as they are.
    mutable Signal changed;
};

} // namespace zerin
