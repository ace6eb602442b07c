#include "editor/particle_system.h"

#include "dsp/constants.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

constexpr float kFirstFrameStep = 0.016f; // seconds
constexpr float kScatterRespawnOffset = 80.0f;

// The sine of an argument formed in double (it holds the frame time, which is large: float
// would freeze its fractional part), taken back to float.
float sinOf(double argument) {
    return static_cast<float>(std::sin(argument));
}

} // namespace

ParticleSystem::ParticleSystem() : ParticleSystem(RandomSource()) {}

ParticleSystem::ParticleSystem(RandomSource random) : random(random) {
    list.reserve(particleCount);
    for (int i = 0; i < particleCount; ++i) {
        Particle p;
        respawn(p);
        list.push_back(p);
    }
}

const std::vector<Particle>& ParticleSystem::particles() const {
    changed.noteRead();
    return list;
}

double ParticleSystem::lastTime() const {
    changed.noteRead();
    return previousTime;
}

Subscription ParticleSystem::observe(std::function<void()> onChange) const {
    return changed.subscribe(std::move(onChange));
}

void ParticleSystem::respawn(Particle& p) {
    p.t = random.uniformFloat(0.0f, 1.0f);
    p.speed = (random.uniformFloat(0.0f, 1.0f) + 0.5f) * 0.3f;
    p.size = random.uniformFloat(1.5f, 4.0f);
    p.alpha = random.uniformFloat(0.3f, 1.0f);
    p.wobbleY = 0.0f;
    p.scatterOffset = 0.0f;
    p.phase = random.uniformFloat(0.0f, kTwoPi);
}

void ParticleSystem::updateDelay(Particle& p, float dt, double n) {
    p.t = p.t + dt * p.speed;
    if (p.t > 1.0f) respawn(p);
    p.wobbleY = 2.0f * sinOf(2.0 * n + static_cast<double>(p.t) * 10.0 + p.phase);
    p.scatterOffset = 0.0f;
}

void ParticleSystem::updateFreeze(Particle& p, double n) const {
    const float t = p.t;
    p.alpha = 0.4f * sinOf(1.25 * n + static_cast<double>(t) * 5.0 + p.phase) + 0.3f;
    p.wobbleY = 4.0f * sinOf(static_cast<double>(t) * 3.0 + n + p.phase);
    p.scatterOffset = 0.0f;
}

void ParticleSystem::updateScatter(Particle& p, float dt, double n, float spd) {
    const float spdC = std::max(spd, 0.01f);
    // Each new value comes from the old ones.
    const float t = p.t + dt * spd * p.speed * 1.5f;
    const float wobbleY = 3.0f * std::sin(8.0f * p.t + p.phase);
    const float drift = sinOf(n / (300.0 / spdC) + p.phase);
    const float offset = p.scatterOffset + spd * dt * 40.0f * 0.8f * drift;
    p.t = t;
    p.wobbleY = wobbleY;
    p.scatterOffset = offset;
    if (p.t > 1.0f || std::fabs(p.scatterOffset) > kScatterRespawnOffset) respawn(p);
}

void ParticleSystem::update(SpectralMode mode, double now, float scatterSpeed) {
    float dt = previousTime > 0.0 ? static_cast<float>(now - previousTime) : kFirstFrameStep;
    // A clock that steps back (or a NaN time) would run the particles backwards, below t = 0
    // where nothing respawns them; such a frame moves nothing instead.
    if (!(dt >= 0.0f)) dt = 0.0f;
    previousTime = now;

    const double n = now;
    const float spd = scatterSpeed * 1.35f + 0.05f;
    for (Particle& p : list) {
        switch (mode) {
            case SpectralMode::delay:
                updateDelay(p, dt, n);
                break;
            case SpectralMode::freeze:
                updateFreeze(p, n);
                break;
            case SpectralMode::scatter:
                updateScatter(p, dt, n, spd);
                break;
        }
    }
    changed.notify();
}

} // namespace zerin
