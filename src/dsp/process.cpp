#include "dsp/kernel.h"

#include "dsp/fft.h"
#include "dsp/polar.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace zerin {

namespace {

constexpr int kRingMask = kMaxFFTSize - 1;
constexpr float kSmoothing = 0.001f;
constexpr float kOverlapGain = 0.6666667f; // 2/3: four overlapping squared windows sum to 4

// Flush denormals to zero (FTZ) and treat denormal inputs as zero (DAZ) for one call:
// decaying feedback and reverberant tails otherwise crawl through the slow denormal path.
struct DenormalGuard {
#if defined(__SSE2__)
    unsigned saved = _mm_getcsr();
    DenormalGuard() {
        _mm_setcsr(saved | 0x8040u);
    }
    ~DenormalGuard() {
        _mm_setcsr(saved);
    }
#endif
};

// What enters the kernel: non-finite samples become silence and the rest is limited to
// +-2^20 (120 dB above full scale), so no frame's FFT can overflow and every value derived
// from the input stays finite.
float admissible(float v) {
    constexpr float kMaxSample = 1048576.0f;
    const float finite = std::isfinite(v) ? v : 0.0f;
    return std::clamp(finite, -kMaxSample, kMaxSample);
}

// Calls fn(slot, offset, count) for the at most two contiguous pieces of `total` ring slots
// starting at `start` (wrapped), so the loops inside can vectorise.
template <typename Fn> void forRingPieces(int start, int total, Fn&& fn) {
    const int slot = start & kRingMask;
    const int first = std::min(total, kMaxFFTSize - slot);
    if (first > 0) fn(slot, 0, first);
    if (total > first) fn(0, first, total - first);
}

// The values of a one-pole smoother s += 0.001 (target - s) at `count` successive samples.
// Once a step leaves s unchanged every later step does too, so the rest is a fill.
float smooth(float s, float target, float* values, int count) {
    for (int n = 0; n < count; ++n) {
        const float next = std::fma(kSmoothing, target - s, s);
        if (next == s) {
            std::fill(values + n, values + count, s);
            return s;
        }
        s = next;
        values[n] = s;
    }
    return s;
}

// The safety stage of the wet path: peaks above kWetKnee are rounded off below kWetCeiling.
// The scan is one vectorised pass; the rounding runs only where a peak is found.
void limitWetPeaks(float* wet, int count) {
    int over = 0; // an int, not a bool: GCC vectorises an int reduction
    for (int i = 0; i < count; ++i)
        over |= std::fabs(wet[i]) > kWetKnee ? 1 : 0;
    if (over == 0) return;
    for (int i = 0; i < count; ++i)
        wet[i] = std::copysign(softCeiling(std::fabs(wet[i]), kWetKnee, kWetCeiling), wet[i]);
}

// The LFO's phase advance per sample, within [0, 2 pi): the advance loop takes away one turn
// at most, so a larger step (a rate at or above the sample rate, which only a broken value
// asks for) would walk the phase off to infinity, and a negative one would never wrap.
// Within range the step is left exactly as it is.
float lfoStep(float increment) {
    if (increment >= 0.0f && increment < kTwoPi) return increment;
    if (!std::isfinite(increment)) return 0.0f;
    const float turn = std::fmod(increment, kTwoPi);
    return turn < 0.0f ? turn + kTwoPi : turn;
}

// Outputs with no input to match get silence, never whatever the host left in them.
void silenceUnmatched(float* const* outputs, int from, int to, int frameCount) {
    for (int i = from; i < to; ++i)
        std::memset(outputs[i], 0, sizeof(float) * frameCount);
}

// Window and analyse the last frame of inputs into polar form.
void analyse(ZerinExtensionDSPKernel& kernel, const ChannelState& ch, float* mag, float* phase) {
    const FrameGeometry& g = ch.frame;
    const int size = g.index;
    float* work = kernel.mScratch.work;
    const float* w = kernel.mScratch.window[size];
    // Gather the ring oldest first (the sample written last lands at the frame's end) and
    // window it.
    forRingPieces(ch.inputWritePos - g.size, g.size, [&](int slot, int n, int count) {
        for (int i = 0; i < count; ++i)
            work[n + i] = ch.inputRing[slot + i] * w[n + i];
    });
    forwardFFT(kernel.mFFTSetups[size], work, kernel.mScratch.spectrum);
    toPolar(kernel.mScratch.spectrum, mag, phase, g.bins);
}

bool isLive(const ZerinExtensionDSPKernel& kernel, const ChannelState& ch) {
    return &ch == kernel.mChannels[0] || &ch == kernel.mChannels[1];
}

} // namespace

DelayInputs delayInputs(const ZerinExtensionDSPKernel& kernel, const ChannelState& ch) noexcept {
    // Spread moves the left side's delays down and the right side's up, each by up to half.
    float factor = 1.0f;
    if (kernel.mStereo && kernel.mShaping.spread != 0.0f) {
        const bool right = &ch == kernel.mChannels[1] || &ch == kernel.mOther[1];
        factor = std::fma(right ? 0.5f : -0.5f, kernel.mShaping.spread, 1.0f);
    }
    if (!isLive(kernel, ch)) {
        const SizeChange& old = kernel.mSizeChange;
        return {kernel.mFrame, kernel.mLFOPhase, old.delayHops,
                old.feedbackFlat ? nullptr : old.feedbackWeights, factor};
    }
    return {kernel.mFrame, kernel.mLFOPhase, kernel.mBins.delayHops,
            kernel.mShaping.feedbackFlat ? nullptr : kernel.mBins.feedbackWeights, factor};
}

namespace {

// What this frame of `ch` feeds back into its line with ping-pong on: the other side's last
// output, or on the way there a blend with its own. Null for its own alone: in mono, in
// freeze (which feeds nothing back) and with ping-pong off.
const float* crossedFeedback(ZerinExtensionDSPKernel& kernel, ChannelState& ch,
                             SpectralMode mode) noexcept {
    const float p = kernel.mShaping.pingPong;
    if (p == 0.0f || !kernel.mStereo || mode == SpectralMode::freeze) return nullptr;
    ChannelState* const* pair = isLive(kernel, ch) ? kernel.mChannels : kernel.mOther;
    const bool left = &ch == pair[0];
    // The left side's frame runs first and overwrites its output: it keeps a copy for the
    // right side's.
    const float* other = left ? pair[1]->feedbackMag : pair[0]->sentMag;
    if (left) std::memcpy(ch.sentMag, ch.feedbackMag, ch.binBytes());
    if (p == 1.0f) return other;
    float* fed = kernel.mScratch.fedMag;
    const float* own = ch.feedbackMag;
    for (int k = 0; k < ch.frame.bins; ++k)
        fed[k] = std::fma(p, other[k] - own[k], own[k]);
    return fed;
}

// The active mode, writing all 1025 output magnitudes and phases; any other leaves them.
void runMode(ZerinExtensionDSPKernel& kernel, ChannelState& ch, SpectralMode mode,
             const ModeInput& in, float* outMag, float* outPhase) noexcept {
    DelayInputs delay = delayInputs(kernel, ch);
    delay.fedMag = crossedFeedback(kernel, ch, mode);
    switch (mode) {
        case SpectralMode::delay:
            processDelay(delay, ch, in.mag, in.phase, outMag, outPhase);
            break;
        case SpectralMode::freeze:
            processFreeze(ch, kernel.mFrame.sensitivity, kernel.mFrame.smoothFreeze, in.mag,
                          in.phase, outMag, outPhase);
            break;
        case SpectralMode::scatter:
            processScatter({delay,
                            isLive(kernel, ch) ? &kernel.mRNGState : &kernel.mSizeChange.random,
                            kernel.mScratch.delayMag},
                           ch, in.mag, in.phase, outMag, outPhase);
            break;
    }
}

// Listening to what Source spares: the frame's spectrum (in the scratch spectrum, unless
// wholly spared) moves from the modes' output towards the part of the modes' input Source keeps
// out of them, with its live phases. Returns the magnitudes heard when `measured`, else null.
const float* blendSpared(ZerinExtensionDSPKernel& kernel, const ChannelState& ch, SpectralMode mode,
                         const ModeInput& in, bool measured) noexcept {
    const float p = kernel.mShaping.spared;
    const float sens = kernel.mFrame.sensitivity;
    const int bins = ch.frame.bins;
    float* spared = kernel.mScratch.sparedMag;
    std::complex<float>* spectrum = kernel.mScratch.spectrum;
    // Real and imaginary parts alike, as one row of floats, so that the blends vectorise.
    auto* heard = reinterpret_cast<float*>(spectrum);
    if (sens > 0.0f) {
        for (int k = 0; k < bins; ++k)
            spared[k] = in.mag[k] * sparedShare(mode, sens, ch.binClassification[k]);
        if (p == 1.0f) {
            fromPolar(spared, in.phase, spectrum, bins);
            return measured ? spared : nullptr;
        }
        fromPolar(spared, in.phase, kernel.mScratch.sparedSpectrum, bins);
        const auto* part = reinterpret_cast<const float*>(kernel.mScratch.sparedSpectrum);
        for (int i = 0; i < 2 * bins; ++i)
            heard[i] = std::fma(part[i], p, heard[i] * (1.0f - p));
    } else if (p == 1.0f) {
        // Source at rest spares nothing; the modes' output was not even turned into a spectrum.
        std::memset(heard, 0, sizeof(float) * 2 * static_cast<std::size_t>(bins));
    } else {
        for (int i = 0; i < 2 * bins; ++i)
            heard[i] *= 1.0f - p;
    }
    if (!measured) return nullptr;
    for (int k = 0; k < bins; ++k) {
        const float re = heard[2 * k], im = heard[2 * k + 1];
        spared[k] = std::sqrt(std::fma(re, re, im * im));
    }
    return spared;
}

// Back to time: the frame's spectrum, in the scratch spectrum, scaled, windowed and
// overlap-added starting at the slot of the sample that triggered the frame.
void resynthesise(ZerinExtensionDSPKernel& kernel, ChannelState& ch) noexcept {
    const FrameGeometry& g = ch.frame;
    const int size = g.index;
    float* work = kernel.mScratch.work;
    inverseFFT(kernel.mFFTSetups[size], kernel.mScratch.spectrum, work);
    const float* sw = kernel.mScratch.synthesisWindow[size];
    forRingPieces(ch.outputReadPos, g.size, [&](int slot, int n, int count) {
        float* ring = ch.outputRing + slot;
        for (int i = 0; i < count; ++i)
            ring[i] = std::fma(work[n + i] * sw[n + i], kOverlapGain, ring[i]);
    });
}

// The first channel's ratings, for the editor's bands.
void publishClassification(ZerinExtensionDSPKernel& kernel, const ChannelState& ch) noexcept {
    const int back = kernel.mRatings.index.writeSlot();
    float* slot = kernel.mRatings.slots + back * static_cast<std::size_t>(kMaxBinStride);
    std::memcpy(slot, ch.binClassification, ch.binBytes());
    kernel.mRatings.stamps[back] = {kernel.mSampleRate, ++kernel.mRatings.made, ch.frame.size};
    kernel.mRatings.index.publish();
}

} // namespace

void processFrame(ZerinExtensionDSPKernel& kernel, ChannelState& ch) noexcept {
    // The frame's output spectrum is what the next frame feeds back, so the mode writes it
    // straight into the feedback arrays (the delay stage reads the old values before it
    // writes them).
    const SpectralMode mode = kernel.mActiveMode;
    float* outMag = ch.feedbackMag;
    float* outPhase = ch.feedbackPhase;
    float* mag = kernel.mScratch.mag;
    float* phase = kernel.mScratch.phase;
    const bool classify = kernel.mFrame.sensitivity > 0.0f;
    // Frames at a size being left sound, but show nothing.
    const bool live = isLive(kernel, ch);

    // A freeze that holds its capture and follows no transients reads nothing of the input.
    const bool metering = live && kernel.mMeter.wanted();
    const bool holding = kernel.mHold.position > 0.0f;
    const bool frozenAlone =
        mode == SpectralMode::freeze && !classify && ch.freezeActive && !metering && !holding;
    if (!frozenAlone) analyse(kernel, ch, mag, phase);
    if (classify) updateClassification(ch, mag);
    // The freeze parameter puts the held spectrum in the live one's place.
    const ModeInput in = holding ? holdInput(kernel, ch, mag, phase) : ModeInput{mag, phase};

    runMode(kernel, ch, mode, in, outMag, outPhase);
    // What a smooth freeze captured at the next frame measures its frequencies against.
    if (!frozenAlone) std::memcpy(ch.lastPhase, phase, ch.binBytes());

    // The modes' output is what feeds back; what is heard may be what Source spared.
    const float spared = kernel.mShaping.spared;
    if (spared < 1.0f) fromPolar(outMag, outPhase, kernel.mScratch.spectrum, ch.frame.bins);
    const float* heardMag = outMag;
    if (spared > 0.0f) heardMag = blendSpared(kernel, ch, mode, in, metering);
    if (metering) kernel.mMeter.take(mag, heardMag, &ch == kernel.mChannels[0]);
    resynthesise(kernel, ch);
    if (classify && live && &ch == kernel.mChannels[0]) publishClassification(kernel, ch);
}

void ZerinExtensionDSPKernel::takeParameters() noexcept {
    mValues = parameterValues();
    const ParameterValues& v = mValues;
    const float sensitivity = v.fraction(parameter::sourceSensitivity);
    mFrame.feedback = v.fraction(parameter::feedback);
    mFrame.lfoDepth = v.fraction(parameter::lfoDepth);
    mFrame.sensitivity = sensitivity > 0.001f ? sensitivity : 0.0f;
    mFrame.scatterSpeed = v.fraction(parameter::scatterSpeed);
    mFrame.smoothFreeze = v.choice(parameter::freezeStyle) == 1;
    mFrame.inputGain = v.gain(parameter::inputGain);
    mFrame.outputGain = v.gain(parameter::outputGain);
    mFrame.dryWet = v.heardMix();
}

void ZerinExtensionDSPKernel::process(const float* const* inputs, int inputCount,
                                      float* const* outputs, int outputCount,
                                      int frameCount) noexcept {
    if (frameCount <= 0) return;
    // A host that hands unequal channel counts gets the channels both sides have.
    const int matched = std::max(0, std::min(inputCount, outputCount));
    silenceUnmatched(outputs, matched, outputCount, frameCount);
    if (!mInitialized) {
        for (int i = 0; i < matched; ++i)
            if (outputs[i] != inputs[i])
                std::memmove(outputs[i], inputs[i], sizeof(float) * frameCount);
        return;
    }

    const bool bypassed = mBypassed.load(std::memory_order_relaxed);
    DenormalGuard denormals;
    takeModeChanges();
    if (mCurves.index.acquire()) mShaping.slotsStale = true;

    takeParameters();
    takeHold();

    const float rate = effectiveLFORate();
    const float lfoIncrement = lfoStep((rate * kTwoPi) / static_cast<float>(mSampleRate));
    // The phase is a number in [0, 2 pi) by construction; should anything ever leave it
    // otherwise, it starts again rather than silence the delay (sin of infinity is NaN, and a
    // NaN delay reads 0 hops) for the rest of the session.
    if (!(mLFOPhase >= 0.0f && mLFOPhase < kTwoPi)) mLFOPhase = 0.0f;
    const int channels = std::min(matched, static_cast<int>(mChannelCount));
    silenceUnmatched(outputs, channels, matched, frameCount);
    if (channels == 0) return;
    mStereo = channels == 2;

    // Segments that end at the live frames' samples: each channel meets at most one frame in
    // a segment, and the frames of all channels that fall on one sample run in channel order,
    // so the output does not depend on how the host cuts its calls. A new frame size takes
    // over where a segment starts on a hop's first sample, which is the same sample however
    // the calls are cut.
    for (int offset = 0; offset < frameCount;) {
        if (mChannels[0]->hopCounter == 0) takeSizeChange();
        const int length = std::min(segmentLength(), frameCount - offset);
        processSegment(inputs, outputs, channels, offset, length, lfoIncrement, bypassed);
        offset += length;
    }
}

int ZerinExtensionDSPKernel::segmentLength() const noexcept {
    const int toFrame = mGeometry.hop - mChannels[0]->hopCounter;
    return mSizeChange.active ? std::min(toFrame, mOther[0]->frame.hop) : toFrame;
}

bool ZerinExtensionDSPKernel::advanceBypassFade(bool bypassed, int length) noexcept {
    const std::int32_t target = bypassed ? mBypassFadeLength : 0;
    if (mBypassFade == 0 && target == 0) return false;
    // A linear fade: the two sides carry the same signal where the mix is dry, and then
    // their sum stays level. The division makes both ends exact, 0 and 1.
    const auto whole = static_cast<float>(mBypassFadeLength);
    for (int n = 0; n < length; ++n) {
        mBypassFade += mBypassFade < target ? 1 : (mBypassFade > target ? -1 : 0);
        mSegment.bypass[n] = static_cast<float>(mBypassFade) / whole;
    }
    return true;
}

void ZerinExtensionDSPKernel::processSegment(const float* const* inputs, float* const* outputs,
                                             int channels, int offset, int length,
                                             float lfoIncrement, bool bypassed) noexcept {
    // The smoothed values and LFO phase at every sample, shared by all channels.
    mSmoothedInputGain = smooth(mSmoothedInputGain, mFrame.inputGain, mSegment.inputGain, length);
    mSmoothedOutputGain =
        smooth(mSmoothedOutputGain, mFrame.outputGain, mSegment.outputGain, length);
    mSmoothedDryWet = smooth(mSmoothedDryWet, mFrame.dryWet, mSegment.dryWet, length);
    float lfo = mLFOPhase;
    for (int n = 0; n < length; ++n) {
        mSegment.lfoPhase[n] = lfo;
        lfo += lfoIncrement;
        if (lfo >= kTwoPi) lfo -= kTwoPi;
    }
    mSegment.fading = advanceBypassFade(bypassed, length);
    // The channels' frames fall on one sample (they share the hop count): the curves move on
    // once per frame, before any channel's.
    const bool frameHere = mGeometry.hop - 1 - mChannels[0]->hopCounter < length;
    if (frameHere) {
        shapeCurves(false);
        advanceHold();
    }

    for (int c = 0; c < channels; ++c) {
        const float* x = inputs[c] + offset;
        float* y = outputs[c] + offset;
        // The old frames first: the output may be the input's own buffer.
        if (mSizeChange.active) processChannelSegment(*mOther[c], x, mSegment.outgoing, length);
        processChannelSegment(*mChannels[c], x, y, length);
        if (mSizeChange.active) mixOutgoing(y, length);
    }
    // The analyser's levels move on once the frame's channels are all measured.
    if (frameHere) mMeter.endFrame();
    if (mSizeChange.active)
        advanceSizeChange(length);
    else if (mSizeChange.uncleared > 0)
        clearOldRecords(length);

    mLFOPhase = lfo;
}

void ZerinExtensionDSPKernel::processChannelSegment(ChannelState& ch, const float* x, float* y,
                                                    int length) noexcept {
    // The frame, if any, runs at the sample that fills the hop: after that sample entered the
    // input ring and before its output slot is read.
    const int trigger = ch.frame.hop - 1 - ch.hopCounter;
    const bool frame = trigger < length;

    // Input rings up to and including the trigger sample. The dry sample due now was written
    // the latency ago; the whole range is taken out before any of it is overwritten. A non-finite
    // sample enters neither path as anything but silence.
    const int written = frame ? trigger + 1 : length;
    auto writeInputs = [&](int from, int to) {
        const int p = ch.inputWritePos;
        forRingPieces(p - ch.frame.latency(), to - from, [&](int slot, int n, int count) {
            std::memcpy(mSegment.dry + from + n, ch.dryRing + slot, sizeof(float) * count);
        });
        forRingPieces(p, to - from, [&](int slot, int n, int count) {
            const float* in = x + from + n;
            const float* gain = mSegment.inputGain + from + n;
            int sounded = 0; // an int, so that the loop vectorises
            for (int i = 0; i < count; ++i) {
                const float raw = admissible(in[i]);
                ch.dryRing[slot + i] = raw;
                ch.inputRing[slot + i] = admissible(raw * gain[i]);
                sounded |= raw != 0.0f ? 1 : 0;
            }
            mHeard = mHeard || sounded != 0;
        });
        ch.inputWritePos = (p + to - from) & kRingMask;
    };
    auto readOutputs = [&](int from, int to) {
        const int p = ch.outputReadPos;
        forRingPieces(p, to - from, [&](int slot, int n, int count) {
            const int s = from + n;
            limitWetPeaks(ch.outputRing + slot, count);
            for (int i = 0; i < count; ++i) {
                const float wet = ch.outputRing[slot + i];
                ch.outputRing[slot + i] = 0.0f;
                const float m = mSegment.dryWet[s + i];
                y[s + i] =
                    mSegment.outputGain[s + i] * std::fma(mSegment.dry[s + i], 1.0f - m, wet * m);
            }
        });
        ch.outputReadPos = (p + to - from) & kRingMask;
    };

    writeInputs(0, written);
    readOutputs(0, frame ? trigger : length);
    if (frame) {
        mLFOPhase = mSegment.lfoPhase[trigger];
        processFrame(*this, ch);
        writeInputs(written, length);
        readOutputs(trigger, length);
        ch.hopCounter = length - written;
    } else {
        ch.hopCounter += length;
    }
    if (mSegment.fading) applyBypassFade(y, length);
}

// Towards bypass: the processed output gives way to the raw input the latency ago, which is the
// dry sample of the mix. Once bypassed, out * 0 + dry is the dry sample exactly.
void ZerinExtensionDSPKernel::applyBypassFade(float* y, int length) const noexcept {
    for (int i = 0; i < length; ++i) {
        const float b = mSegment.bypass[i];
        y[i] = std::fma(mSegment.dry[i], b, y[i] * (1.0f - b));
    }
}

void ZerinExtensionDSPKernel::takeSizeChange() noexcept {
    const FrameGeometry wanted = frameGeometryAt(mValues.choice(parameter::fftSize));
    // One change at a time, and only into records already silent.
    if (wanted.size == mGeometry.size || mSizeChange.active || mSizeChange.uncleared > 0) return;
    // Nothing but silence since the reset (a host that starts a plug-in at its defaults and
    // sets the session's values a few cycles later): nothing to fade, and the host learns the
    // new latency before the first sound.
    if (!mHeard) {
        switchFrameSize(wanted);
        return;
    }
    startSizeChange(wanted);
}

void ZerinExtensionDSPKernel::startSizeChange(const FrameGeometry& frame) noexcept {
    SizeChange& change = mSizeChange;
    const std::size_t bins = sizeof(float) * static_cast<std::size_t>(mGeometry.bins);
    std::memcpy(change.delayHops, mBins.delayHops, bins);
    std::memcpy(change.feedbackWeights, mBins.feedbackWeights, bins);
    change.feedbackFlat = mShaping.feedbackFlat;
    change.random = mRNGState;
    for (int c = 0; c < mChannelCount; ++c) {
        std::swap(mChannels[c], mOther[c]);
        ChannelState& now = *mChannels[c];
        const ChannelState& old = *mOther[c];
        // The new frames start with the history the old ones had: a whole frame of input at
        // their first hop, and the dry term at the new latency at once.
        clearFrames(now, frame, mSampleRate);
        std::memcpy(now.inputRing, old.inputRing, sizeof now.inputRing);
        std::memcpy(now.dryRing, old.dryRing, sizeof now.dryRing);
        now.inputWritePos = old.inputWritePos;
    }
    takeLayout(frame);
    change.active = true;
    // Each output sample sums four frames: from the new size's first frame on, the first whole
    // one comes a frame less a sample after the change.
    change.leadIn = frame.latency();
    change.faded = 0;
}

// The old frames' output into the new ones' in `y`: the old alone through the lead-in, then
// cos / sin at equal power, then the new alone.
void ZerinExtensionDSPKernel::mixOutgoing(float* y, int length) const noexcept {
    const SizeChange& change = mSizeChange;
    const float* old = mSegment.outgoing;
    const float step = (0.5f * kPi) / static_cast<float>(change.fadeLength);
    for (int n = 0; n < length; ++n) {
        const int fade = n - change.leadIn + change.faded;
        if (fade < 0) {
            y[n] = old[n];
        } else if (fade < change.fadeLength) {
            const float angle = static_cast<float>(fade) * step;
            y[n] = std::fma(old[n], std::cos(angle), y[n] * std::sin(angle));
        }
    }
}

void ZerinExtensionDSPKernel::advanceSizeChange(int length) noexcept {
    SizeChange& change = mSizeChange;
    const int lead = std::min(change.leadIn, length);
    change.leadIn -= lead;
    change.faded += length - lead;
    // The host hears the new latency from the crossfade on: the old frames alone before it.
    if (change.leadIn == 0) mLatency.store(mGeometry.latency(), std::memory_order_relaxed);
    if (change.faded < change.fadeLength) return;
    // The old records fall silent; their delay lines are cleared from the next segment on.
    change.active = false;
    change.uncleared = static_cast<std::size_t>(mOther[0]->delaySlots) *
                       static_cast<std::size_t>(mOther[0]->frame.stride);
}

void ZerinExtensionDSPKernel::clearOldRecords(int length) noexcept {
    // About 64 floats of each line a sample: a third of a second of audio clears ten seconds
    // of history at any size, and no call pays for more than its own length.
    constexpr std::size_t kFloatsPerSample = 64;
    SizeChange& change = mSizeChange;
    const std::size_t count =
        std::min(change.uncleared, kFloatsPerSample * static_cast<std::size_t>(length));
    change.uncleared -= count;
    for (int c = 0; c < mChannelCount; ++c) {
        std::memset(mOther[c]->magDelayLines + change.uncleared, 0, count * sizeof(float));
        std::memset(mOther[c]->phaseDelayLines + change.uncleared, 0, count * sizeof(float));
    }
}

} // namespace zerin
