#include "dsp/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zerin {

namespace {

// A frozen bin's phase wraps by subtracting 2 pi (the float 6.2831855) once per turn, which
// near Nyquist means ~256 dependent, individually rounded subtractions per frame. They can be
// had exactly and many bins at a time by following the value through its binades:
//
// Let x lie in the binade [2^E, 2^(E+1)), written as m grid steps of u = 2^(E-23). For E >= 4
// a subtraction that stays in the binade rounds to m - C_E, with C_E = 2 pi / u rounded to
// nearest (never a tie there), so the steps inside the binade are one integer
// multiply-subtract: n = floor((m - T_E) / C_E) steps, T_E being the lowest m a step can land
// on without leaving (2^23, or 2^23 + 1 where 2 pi lies more than a quarter step above C_E u,
// so that landing exactly on 2^E rounds down out of the binade). The one step that leaves
// lands in the binade below (2 pi < 8 <= 2^(E-1)), on its grid of u/2, at 2m' - C_(E-1).
// Below 16 at most three single steps remain. Bit-for-bit what stepping one 2 pi at a time
// gives; every intermediate is an integer under 2^25 (even above 2^24), so exact in float.
constexpr int kTwoPiMantissa = 13176795; // 6.2831855f = 13176795 * 2^-21

// 2 pi in grid steps of binade E, rounded to nearest, ties to even.
constexpr int twoPiSteps(int e) {
    const int shift = e - 2;
    const int whole = kTwoPiMantissa >> shift;
    const int rem = kTwoPiMantissa - (whole << shift);
    const int half = 1 << (shift - 1);
    return whole + ((rem > half || (rem == half && (whole & 1) != 0)) ? 1 : 0);
}

// Lowest m a step may land on and stay in binade E.
constexpr int lowestStay(int e) {
    const int scaledExcess =
        kTwoPiMantissa - (twoPiSteps(e) << (e - 2)); // (2 pi - C u) / u * 2^(e-2)
    return (1 << 23) + (4 * scaledExcess > (1 << (e - 2)) ? 1 : 0);
}

template <int E> float leaveBinade(float x) {
    constexpr float lo = static_cast<float>(1 << E);
    constexpr float toGrid = static_cast<float>(1 << (23 - E));
    constexpr float halfGrid = 0.5f / toGrid; // the grid of the binade below
    constexpr float step = static_cast<float>(twoPiSteps(E));
    constexpr float stepBelow = static_cast<float>(twoPiSteps(E - 1));
    constexpr float lowest = static_cast<float>(lowestStay(E));
    // 1/step rounded down a little, so that the quotient never exceeds room/step and its
    // floor is at most one short.
    constexpr float inverseStep = (1.0f / step) * (1.0f - 0x1p-21f);

    const float m = x * toGrid;
    const float room = m - lowest; // at least -1 for x in the binade
    float n = std::floor(room * inverseStep);
    n = (n + 1.0f) * step <= room ? n + 1.0f : n;
    n = n > 0.0f ? n : 0.0f;
    const float last = m - n * step;
    const float below = (2.0f * last - stepBelow) * halfGrid;
    return x >= lo ? below : x;
}

// Bin k's centre frequency turns by k pi/2 over one hop, at every frame size (the hop is a
// quarter of the frame); this is that turn as the phases add it, and the bin ranges below are
// worked out from the same floats.
constexpr float hopTurn(int k) {
    return ((static_cast<float>(k) * kTwoPi) * static_cast<float>(kHopSize)) * kInverseFFTSize;
}

// The first bin whose phase plus turn can reach 2^E (the highest phase is pi).
constexpr int firstReaching(int e) {
    int k = 0;
    while (k < kMaxNumBins && kPi + hopTurn(k) < static_cast<float>(1 << e))
        ++k;
    return k;
}

// The first bin whose phase plus turn always lies above binade E (the lowest phase is -pi):
// from there on a value gets into binade E only by stepping down from the binade above.
constexpr int firstAbove(int e) {
    int k = 0;
    while (k < kMaxNumBins && hopTurn(k) - kPi < static_cast<float>(2 << e))
        ++k;
    return k;
}

// Whether the integer n is a float: below 2^24 any is, above only those with zeros to shift.
constexpr bool exactInFloat(int n) {
    for (; n >= (1 << 24); n >>= 1)
        if ((n & 1) != 0) return false;
    return true;
}

// Binade E's pass for a value that lies below it or came down from the binade above. That
// one's last step lands within one step of our top (its last value runs from 2^23, a start
// exactly on its bottom, up to one step above its lowest stay), so the steps taken through
// the binade come in two counts, told apart by one comparison, and each count comes off in
// exact subtractions.
template <int E> float crossBinade(float x) {
    constexpr int step = twoPiSteps(E);
    constexpr int stepBelow = twoPiSteps(E - 1);
    constexpr int lowest = lowestStay(E);
    constexpr int entryLow = 2 * (1 << 23) - step;
    constexpr int entryHigh = 2 * (lowestStay(E + 1) + twoPiSteps(E + 1) - 1) - step;
    constexpr int fewest = (entryLow - lowest) / step;
    static_assert((entryHigh - lowest) / step <= fewest + 1, "entries span one step count");
    static_assert(entryHigh < (1 << 24), "entries lie in the binade");
    // The steps taken and the one that leaves, on the grid of the binade below, u/2. The
    // extra step of the larger count comes off first, on our own grid, where it is exact.
    constexpr int fewerSteps = 2 * fewest * step + stepBelow;
    static_assert(exactInFloat(fewerSteps));
    constexpr float grid = static_cast<float>(1 << E) * 0x1p-23f;
    constexpr float lo = static_cast<float>(1 << E);
    constexpr float oneMore = static_cast<float>(lowest + (fewest + 1) * step) * grid;

    const float extra = x >= oneMore ? static_cast<float>(step) * grid : 0.0f;
    const float rest = x >= lo ? static_cast<float>(fewerSteps) * (0.5f * grid) : 0.0f;
    return (x - extra) - rest;
}

// A bin's phase reaches at most pi + k pi/2 before wrapping, so bins below `first` never
// reach 2^E and the binade's pass can skip them; bins from `crossing` on never start in it.
// Both are rounded to whole vectors, in the direction that gives bins the full pass, which
// is right for any of them.
template <int E> void leaveBinadeAll(float* accum, int count) {
    constexpr int first = firstReaching(E) & ~7;
    constexpr int crossing = (firstAbove(E) + 7) & ~7;
    const int fullEnd = std::min(crossing, count);
    for (int k = first; k < fullEnd; ++k)
        accum[k] = leaveBinade<E>(accum[k]);
    for (int k = std::max(crossing, first); k < count; ++k)
        accum[k] = crossBinade<E>(accum[k]);
}

constexpr float kClearlyTransient = 0.2f; // a rating below it; 1 is tonal

// A phase brought into [-pi, pi] by whole turns.
float wrapPhase(float x) {
    return x - kTwoPi * std::nearbyint(x * (1.0f / kTwoPi));
}

float finishWrap(float x) {
    const float down1 = x - kTwoPi;
    x = x > kPi ? down1 : x;
    const float down2 = x - kTwoPi;
    x = x > kPi ? down2 : x;
    const float down3 = x - kTwoPi;
    x = x > kPi ? down3 : x;
    const float up = x + kTwoPi;
    return x < -kPi ? up : x;
}

} // namespace

// noipa: with the bin count propagated as a constant GCC 12 narrows loop arithmetic into
// types it then fails to vectorise.
[[gnu::noipa]] void advanceFrozenPhases(float* accum, int count) noexcept {
    for (int k = 0; k < count; ++k)
        accum[k] += hopTurn(k);
    // Phases stay below pi + 4096 pi/2 < 8192: binades 12 down to 4 cover them. At 2048
    // (1025 bins, below pi + 1024 pi/2 < 2048) the two highest passes find no bin to take.
    leaveBinadeAll<12>(accum, count);
    leaveBinadeAll<11>(accum, count);
    leaveBinadeAll<10>(accum, count);
    leaveBinadeAll<9>(accum, count);
    leaveBinadeAll<8>(accum, count);
    leaveBinadeAll<7>(accum, count);
    leaveBinadeAll<6>(accum, count);
    leaveBinadeAll<5>(accum, count);
    leaveBinadeAll<4>(accum, count);
    for (int k = 0; k < count; ++k)
        accum[k] = finishWrap(accum[k]);
}

void measureFrozenAdvance(ChannelState& ch, float sens, const float* phase) noexcept {
    measureAdvance(ch, sens, phase, ch.frozenAdvance);
}

void measureAdvance(const ChannelState& ch, float sens, const float* phase,
                    float* advance) noexcept {
    for (int k = 0; k < ch.frame.bins; ++k) {
        // A bin's centre turns by k pi/2 a hop: whole turns aside, (k mod 4) quarter turns.
        const float centre = static_cast<float>(k & 3) * (0.5f * kPi);
        const float deviation = wrapPhase(phase[k] - ch.lastPhase[k] - centre);
        // Transient bins have no steady frequency to measure: they turn as the classic
        // freeze turns them. Only clearly transient ones (hit frame after frame): the skirts
        // of a steady partial flicker around the middle of the scale with the noise under
        // them, and must turn with their partial, or the pulse is back.
        const bool transient = sens > 0.0f && ch.binClassification[k] < kClearlyTransient;
        advance[k] = transient ? centre : centre + deviation;
    }
}

void advanceSmoothPhases(float* accum, const float* advance, int count) noexcept {
    for (int k = 0; k < count; ++k)
        accum[k] = wrapPhase(accum[k] + advance[k]);
}

void processFreeze(ChannelState& ch, float sens, bool smooth, const float* mag, const float* phase,
                   float* outMag, float* outPhase) noexcept {
    if (!ch.freezeActive) {
        std::memcpy(ch.frozenMag, mag, ch.binBytes());
        std::memcpy(ch.frozenPhaseAccum, phase, ch.binBytes());
        measureFrozenAdvance(ch, sens, phase);
        ch.freezeActive = true;
    }
    // The classic freeze turns every bin at its centre frequency, so the held sound repeats
    // every four hops and a chord pulses at that rate; the smooth one turns each bin at the
    // frequency measured in it, as a phase vocoder does, and a held chord stays still.
    const int bins = ch.frame.bins;
    if (smooth)
        advanceSmoothPhases(ch.frozenPhaseAccum, ch.frozenAdvance, bins);
    else
        advanceFrozenPhases(ch.frozenPhaseAccum, bins);

    if (sens > 0.0f) {
        // Tonal bins stay frozen; transient bins follow the live input.
        for (int k = 0; k < bins; ++k) {
            const float w = std::fma(-sens, 1.0f - ch.binClassification[k], 1.0f);
            outMag[k] = std::fma(ch.frozenMag[k], w, mag[k] * (1.0f - w));
            outPhase[k] = w > 0.5f ? ch.frozenPhaseAccum[k] : phase[k];
        }
    } else {
        std::memcpy(outMag, ch.frozenMag, ch.binBytes());
        std::memcpy(outPhase, ch.frozenPhaseAccum, ch.binBytes());
    }
}

} // namespace zerin
