// The freeze parameter: the input spectrum held, in any mode, with an equal-power crossfade
// from the live input to it and back.

#include "dsp/kernel.h"
#include "dsp/polar.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zerin {

void ZerinExtensionDSPKernel::takeHold() noexcept {
    constexpr auto r = std::memory_order_relaxed;
    const std::uint32_t releases = mFreezeReleases.load(r);
    if (releases != mFreezeReleasesSeen) {
        mFreezeReleasesSeen = releases;
        mNotes.releaseAll();
    }
    const bool notes = mNotes.held(mValues.choice(parameter::freezeNote));
    if (notes != mNotesHoldFreeze.load(r)) mNotesHoldFreeze.store(notes, r);
    mFrame.hold = mValues.on(parameter::freeze) || notes;
}

void ZerinExtensionDSPKernel::advanceHold() noexcept {
    const float target = mFrame.hold ? 1.0f : 0.0f;
    // A press while the last hold still fades out goes back to that capture: a new one would
    // have to start from a blend of two spectra.
    mHold.capture = mFrame.hold && mHold.position == 0.0f;
    const float fadeMs = mValues.value(parameter::freezeFade);
    const auto hopMs = static_cast<float>(1000.0 * mGeometry.hop / mSampleRate);
    const float step = fadeMs > hopMs ? hopMs / fadeMs : 1.0f;
    mHold.position = mHold.position < target ? std::min(target, mHold.position + step)
                                             : std::max(target, mHold.position - step);
}

ModeInput holdInput(ZerinExtensionDSPKernel& kernel, ChannelState& ch, const float* mag,
                    const float* phase) noexcept {
    const HoldFade& fade = kernel.mHold;
    if (fade.position == 0.0f) return {mag, phase};
    const int bins = ch.frame.bins;
    // A record that took over at a new frame size holds what it hears at its first frame.
    if (fade.capture || !ch.holdTaken) {
        // Held as analysed: the phases start turning from the frame after, so that a live
        // input and a held one that keeps its frequencies stay in step through the fade.
        std::memcpy(ch.heldMag, mag, ch.binBytes());
        std::memcpy(ch.heldPhase, phase, ch.binBytes());
        measureAdvance(ch, kernel.mFrame.sensitivity, phase, ch.heldAdvance);
        ch.holdTaken = true;
    } else if (kernel.mFrame.smoothFreeze) {
        advanceSmoothPhases(ch.heldPhase, ch.heldAdvance, bins);
    } else {
        advanceFrozenPhases(ch.heldPhase, bins);
    }
    if (fade.position == 1.0f) return {ch.heldMag, ch.heldPhase};

    // The blend of the two signals the spectra stand for: live * cos + held * sin keeps the
    // power of two unrelated sounds level across the fade.
    const float angle = fade.position * (0.5f * kPi);
    const float live = std::cos(angle);
    const float held = std::sin(angle);
    std::complex<float>* sum = kernel.mScratch.spectrum;
    std::complex<float>* other = kernel.mScratch.holdSpectrum;
    fromPolar(mag, phase, sum, bins);
    fromPolar(ch.heldMag, ch.heldPhase, other, bins);
    for (int k = 0; k < bins; ++k)
        sum[k] = sum[k] * live + other[k] * held;
    toPolar(sum, kernel.mScratch.holdMag, kernel.mScratch.holdPhase, bins);
    return {kernel.mScratch.holdMag, kernel.mScratch.holdPhase};
}

} // namespace zerin
