#include "dsp/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zerin {

namespace {

// Past this many rows the lines would not fit in memory anyway (2^24 rows of 1032 floats).
constexpr double kMostDelaySlots = 16777216.0;

// Row `row` of a ring of `slots` rows, for a row at most one ring behind the first.
inline int wrapped(int row, int slots) {
    return row + (slots & (row >> 31));
}

// How much of the feedback a bin keeps: all of it when tonal, a fifth when a transient at
// full sensitivity.
float feedbackScaleOf(float sens, float rating) {
    return std::fma(-sens, 1.0f - std::fma(0.8f, rating, 0.2f), 1.0f);
}

// The wet level, as an RMS, of a spectrum whose magnitudes have this sum of squares: the
// analysis window's squares sum to N (the frame's size), so a signal of RMS r gives
// N^2 r^2 / 2 over the bins; resynthesis then carries it with the pass-through gain
// 4 * 0.8165^2. This times 1/N.
constexpr float kWetLevelPerRootEnergyN = 4.0f * 0.8165f * 0.8165f * 1.4142135f;

// The sum of the squares of value(k) over the `bins` bins (8n + 1 of them at every size);
// eight running sums, so that it vectorises.
template <typename Value> float energyOf(int bins, Value value) {
    float lanes[8] = {};
    for (int k = 0; k + 8 <= bins; k += 8)
        for (int j = 0; j < 8; ++j)
            lanes[j] = std::fma(value(k + j), value(k + j), lanes[j]);
    float energy = value(bins - 1) * value(bins - 1);
    for (float lane : lanes)
        energy += lane;
    return energy;
}

// The share of the Feedback knob bin k keeps: its feedback curve's, and with Source up less
// for a transient.
template <bool kWeighted, bool kPerBand>
float feedbackShareOf(const ChannelState& ch, const float* shares, float sens, int k) {
    float share = 1.0f;
    if constexpr (kWeighted) share = feedbackScaleOf(sens, ch.binClassification[k]);
    if constexpr (kPerBand) share *= shares[k];
    return share;
}

// The feedback amount that keeps the recirculated part of this frame within the loop's
// ceiling: `fb` itself while that part's level is at most the knee, so that the loop below
// it is exactly what it would be without the limit.
template <bool kWeighted, bool kPerBand>
float limitedFeedback(const ChannelState& ch, const float* fed, float fb, float sens,
                      const float* shares) {
    // Shares only ever lower a bin's feedback (they lie in 0..1), so the level without them
    // bounds it: the shares are worked out only for a loop near its knee.
    const int bins = ch.frame.bins;
    const float perRootEnergy = kWetLevelPerRootEnergyN * ch.frame.inverseSize;
    float level = fb * std::sqrt(energyOf(bins, [fed](int k) { return fed[k]; })) * perRootEnergy;
    if (!(level > kLoopKnee)) return fb;
    if constexpr (kWeighted || kPerBand) {
        level = fb *
                std::sqrt(energyOf(bins,
                                   [&](int k) {
                                       return fed[k] * feedbackShareOf<kWeighted, kPerBand>(
                                                           ch, shares, sens, k);
                                   })) *
                perRootEnergy;
        if (!(level > kLoopKnee)) return fb;
    }
    return fb * (softCeiling(level, kLoopKnee, kLoopCeiling) / level);
}

// Writes this frame's magnitudes (with feedback) and phases into the current slot.
template <bool kWeighted, bool kPerBand>
void writeSlot(const DelayInputs& in, ChannelState& ch, const float* mag, const float* phase,
               int pos) {
    const float sens = in.frame.sensitivity;
    const float* shares = in.feedbackWeights;
    const float* fed = in.fedMag != nullptr ? in.fedMag : ch.feedbackMag;
    const float fb = limitedFeedback<kWeighted, kPerBand>(ch, fed, in.frame.feedback, sens, shares);
    float* magRow = ch.magSlot(pos);
    float* phaseRow = ch.phaseSlot(pos);
    for (int k = 0; k < ch.frame.bins; ++k) {
        const float feedbackScale = feedbackShareOf<kWeighted, kPerBand>(ch, shares, sens, k);
        const float written = std::fma(fed[k] * fb, feedbackScale, mag[k]);
        // The last guard, for inputs far beyond full scale; NaN cannot arise from kept
        // magnitudes.
        magRow[k] = written < kMaxMagnitude ? written : kMaxMagnitude;
        phaseRow[k] = phase[k];
    }
}

// Reads every bin `delay` slots back, interpolating magnitudes between the two slots around
// a fractional delay; phases come from the nearer (newer) slot.
template <bool kWeighted>
void readSlots(const DelayInputs& in, const ChannelState& ch, int pos, float lfoHops, float* outMag,
               float* outPhase) {
    const float sens = in.frame.sensitivity;
    const float* hops = in.binDelayHops;
    const float factor = in.delayFactor;
    const int slots = ch.delaySlots;
    // The oldest row a delay may reach: with the older row one beyond it, the row being
    // written, whose weight is then 0.
    const float longest = static_cast<float>(slots - 1);
    const float* lines = ch.magDelayLines;
    const float* phases = ch.phaseDelayLines;
    // First where every bin reads, in a pass that vectorises; then the reads, which land on
    // rows all over the lines (megabytes a channel) when the delays differ from bin to bin,
    // each fetched a few bins ahead so that the loads overlap instead of waiting one by one.
    const int bins = ch.frame.bins;
    const int stride = ch.frame.stride;
    alignas(32) std::int32_t newerAt[kMaxNumBins];
    alignas(32) std::int32_t olderAt[kMaxNumBins];
    alignas(32) float fractions[kMaxNumBins];
    for (int k = 0; k < bins; ++k) {
        float delayScale = factor;
        if constexpr (kWeighted)
            delayScale =
                std::fma(-sens, 1.0f - std::fma(0.9f, ch.binClassification[k], 0.1f), 1.0f) *
                factor;
        float d = std::fma(delayScale, hops[k], lfoHops);
        d = d > 0.0f ? d : 0.0f; // first, so that a NaN becomes 0
        d = d < longest ? d : longest;
        const int di = static_cast<int>(d);
        fractions[k] = d - static_cast<float>(di);
        const int r = wrapped(pos - di, slots);
        newerAt[k] = r * stride + k;
        olderAt[k] = wrapped(r - 1, slots) * stride + k;
    }
    constexpr int kAhead = 8;
    for (int k = 0; k < bins; ++k) {
        if (k + kAhead < bins) {
            __builtin_prefetch(lines + newerAt[k + kAhead]);
            __builtin_prefetch(lines + olderAt[k + kAhead]);
            __builtin_prefetch(phases + newerAt[k + kAhead]);
        }
        const float frac = fractions[k];
        outMag[k] = std::fma(lines[newerAt[k]], 1.0f - frac, lines[olderAt[k]] * frac);
        outPhase[k] = phases[newerAt[k]];
    }
}

} // namespace

std::int32_t delaySlotsFor(double sampleRate, const FrameGeometry& frame) noexcept {
    const double longestHops = std::ceil(kLongestDelayMs / 1000.0 * sampleRate / frame.hop) +
                               std::ceil(kLfoReachHops * frame.hopsPerDefaultHop);
    const double slots = longestHops + 2.0;
    if (!(slots <= kMostDelaySlots)) return 0;
    return static_cast<std::int32_t>(slots);
}

std::size_t delayLineFloatsFor(double sampleRate) noexcept {
    std::size_t most = 0;
    for (int index = 0; index < kFFTSizeCount; ++index) {
        const FrameGeometry frame = frameGeometryAt(index);
        const std::int32_t slots = delaySlotsFor(sampleRate, frame);
        if (slots == 0) return 0;
        most = std::max(most, static_cast<std::size_t>(slots) * frame.stride);
    }
    return most;
}

float softCeiling(float level, float knee, float ceiling) noexcept {
    if (!(level > knee)) return level;
    const float range = ceiling - knee;
    return std::fma(range, std::tanh((level - knee) / range), knee);
}

void processDelay(const DelayInputs& in, ChannelState& ch, const float* mag, const float* phase,
                  float* outMag, float* outPhase) noexcept {
    const float lfoHops =
        (std::sin(in.lfoPhase) * in.frame.lfoDepth) * (kLfoReachHops * ch.frame.hopsPerDefaultHop);
    const int pos = ch.delayWritePos;
    const bool perBand = in.feedbackWeights != nullptr;
    if (in.frame.sensitivity > 0.0f) {
        if (perBand)
            writeSlot<true, true>(in, ch, mag, phase, pos);
        else
            writeSlot<true, false>(in, ch, mag, phase, pos);
        readSlots<true>(in, ch, pos, lfoHops, outMag, outPhase);
    } else {
        if (perBand)
            writeSlot<false, true>(in, ch, mag, phase, pos);
        else
            writeSlot<false, false>(in, ch, mag, phase, pos);
        readSlots<false>(in, ch, pos, lfoHops, outMag, outPhase);
    }
    ch.delayWritePos = pos + 1 < ch.delaySlots ? pos + 1 : 0;
}

} // namespace zerin
