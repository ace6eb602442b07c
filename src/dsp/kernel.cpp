#include "dsp/kernel.h"

#include "dsp/fft.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace zerin {

namespace {

float relaxed(const std::atomic<float>& v) {
    return v.load(std::memory_order_relaxed);
}

// float -> int32 with truncation toward zero, defined for every input: NaN gives -1,
// out-of-range values saturate.
std::int32_t truncateToInt(float v) {
    if (!(v == v)) return -1;
    if (v >= 2147483520.0f) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

float decibelsToGain(float db) {
    return std::pow(10.0f, db / 20.0f);
}

std::uint32_t modeBit(SpectralMode mode) {
    return 1u << rawValue(mode);
}

// Every piece of the kernel's scratch block is a multiple of 8 floats long, so every piece
// stays 32-byte aligned.
constexpr std::size_t kBinsPadded = kMaxBinStride;

constexpr std::size_t windowFloats() {
    std::size_t total = 0;
    for (int size : kFFTSizes)
        total += static_cast<std::size_t>(size);
    return total;
}

} // namespace

void clearFrames(ChannelState& ch, const FrameGeometry& frame, double sampleRate) noexcept {
    ch.frame = frame;
    ch.delaySlots = delaySlotsFor(sampleRate, frame);
    std::memset(ch.outputRing, 0, sizeof ch.outputRing);
    ch.hopCounter = 0;
    ch.outputReadPos = 0;
    ch.delayWritePos = 0;
    ch.freezeActive = false;
    ch.holdTaken = false;
    ch.scatterHopCounter = 0;
    std::memset(ch.feedbackMag, 0, sizeof ch.feedbackMag);
    std::memset(ch.feedbackPhase, 0, sizeof ch.feedbackPhase);
    std::memset(ch.prevMagnitude, 0, sizeof ch.prevMagnitude);
    std::memset(ch.lastPhase, 0, sizeof ch.lastPhase);
    std::memset(ch.frozenAdvance, 0, sizeof ch.frozenAdvance);
    for (int k = 0; k < kMaxNumBins; ++k) {
        ch.scatterMap[k] = k;
        ch.binClassification[k] = 1.0f;
    }
}

namespace {

// Everything of a record back to silence.
void clearChannel(ChannelState& ch, const FrameGeometry& frame, double sampleRate) {
    clearFrames(ch, frame, sampleRate);
    std::memset(ch.inputRing, 0, sizeof ch.inputRing);
    std::memset(ch.dryRing, 0, sizeof ch.dryRing);
    ch.inputWritePos = 0;
    std::memset(ch.magDelayLines, 0, ch.delayLineFloats * sizeof(float));
    std::memset(ch.phaseDelayLines, 0, ch.delayLineFloats * sizeof(float));
}

// A record with delay lines of `floats` each, made again if they are of another length (the
// rate changed). Null once memory ran out; what was made is then left for deallocate().
ChannelState* ensureChannel(ChannelState*& ch, std::size_t floats) {
    if (ch == nullptr) {
        ch = new (std::nothrow) ChannelState{};
        if (ch == nullptr) return nullptr;
    }
    if (ch->magDelayLines != nullptr && ch->delayLineFloats == floats) return ch;
    freeFloats(ch->magDelayLines);
    freeFloats(ch->phaseDelayLines);
    ch->magDelayLines = allocateFloats(floats);
    ch->phaseDelayLines = allocateFloats(floats);
    ch->delayLineFloats = floats;
    return ch->magDelayLines != nullptr && ch->phaseDelayLines != nullptr ? ch : nullptr;
}

void freeChannel(ChannelState*& ch) {
    if (ch == nullptr) return;
    freeFloats(ch->magDelayLines);
    freeFloats(ch->phaseDelayLines);
    delete ch;
    ch = nullptr;
}

} // namespace

bool ZerinExtensionDSPKernel::allocateScratch() noexcept {
    if (mScratchBlock != nullptr) return true;
    const std::size_t total = 2 * windowFloats() + kMaxFFTSize // windows, work frame
                              + 2 * kBinsPadded                // spectrum (complex)
                              + 4 * kBinsPadded                // bin delays, three scratch rows
                              + 4 * kBinsPadded                // ping-pong and the spared part
                              + 9 * kBinsPadded                // curve shaping
                              + 4 * kCurveGridStride + 3 * kBinsPadded // snapshot slots
                              + 4 * kBinsPadded                        // freeze's crossfade
                              + 2 * kBinsPadded                        // size change's bins
                              + 7 * kMaxHopSize;                       // segment scratch
    float* p = allocateFloats(total);
    if (p == nullptr) return false;
    mScratchBlock = p;
    auto take = [&p](std::size_t n) {
        float* q = p;
        p += n;
        return q;
    };
    for (int i = 0; i < kFFTSizeCount; ++i) {
        mScratch.window[i] = take(kFFTSizes[i]);
        mScratch.synthesisWindow[i] = take(kFFTSizes[i]);
    }
    mScratch.work = take(kMaxFFTSize);
    mScratch.spectrum = reinterpret_cast<std::complex<float>*>(take(2 * kBinsPadded));
    mBins.delayHops = take(kBinsPadded);
    mBins.targetDelayHops = take(kBinsPadded);
    mBins.feedbackWeights = take(kBinsPadded);
    mBins.slotDelayMs = take(2 * kBinsPadded);
    mBins.slotFeedback = take(2 * kBinsPadded);
    mBins.gridPosition = take(kBinsPadded);
    mBins.gridIndex = reinterpret_cast<std::int32_t*>(take(kBinsPadded));
    mBins.gridFraction = take(kBinsPadded);
    mBins.slotDelayGrid = take(2 * kCurveGridStride);
    mBins.slotFeedbackGrid = take(2 * kCurveGridStride);
    mScratch.mag = take(kBinsPadded);
    mScratch.phase = take(kBinsPadded);
    mScratch.delayMag = take(kBinsPadded);
    mScratch.fedMag = take(kBinsPadded);
    mScratch.sparedMag = take(kBinsPadded);
    mScratch.sparedSpectrum = reinterpret_cast<std::complex<float>*>(take(2 * kBinsPadded));
    mScratch.holdMag = take(kBinsPadded);
    mScratch.holdPhase = take(kBinsPadded);
    mScratch.holdSpectrum = reinterpret_cast<std::complex<float>*>(take(2 * kBinsPadded));
    mSizeChange.delayHops = take(kBinsPadded);
    mSizeChange.feedbackWeights = take(kBinsPadded);
    mRatings.slots = take(3 * kBinsPadded);
    mSegment.inputGain = take(kMaxHopSize);
    mSegment.outputGain = take(kMaxHopSize);
    mSegment.dryWet = take(kMaxHopSize);
    mSegment.dry = take(kMaxHopSize);
    mSegment.lfoPhase = take(kMaxHopSize);
    mSegment.bypass = take(kMaxHopSize);
    mSegment.outgoing = take(kMaxHopSize);
    return true;
}

bool ZerinExtensionDSPKernel::initialize(int channelCount, double sampleRate) noexcept {
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) {
        // Refused: pass audio through rather than keep running at the previous rate.
        mInitialized = false;
        return false;
    }
    mSampleRate = sampleRate;
    // At least one sample, and within an int at any rate.
    mBypassFadeLength = static_cast<std::int32_t>(
        std::clamp(std::round(sampleRate * kBypassFadeSeconds), 1.0, 1048576.0));
    mSizeChange.fadeLength = static_cast<std::int32_t>(
        std::clamp(std::round(sampleRate * kSizeFadeSeconds), 1.0, 1048576.0));
    mChannelCount = channelCount < kMaxChannels ? channelCount : kMaxChannels;

    bool ok = allocateScratch() && mMeter.allocate();
    for (int i = 0; ok && i < kFFTSizeCount; ++i) {
        if (mFFTSetups[i] == nullptr) mFFTSetups[i] = acquireFFTSetup(kFFTSizes[i]);
        ok = mFFTSetups[i] != nullptr;
    }
    const std::size_t floats = delayLineFloatsFor(sampleRate);
    ok = ok && floats > 0;
    for (int c = 0; ok && c < mChannelCount; ++c)
        ok = ensureChannel(mChannels[c], floats) != nullptr &&
             ensureChannel(mOther[c], floats) != nullptr;
    if (!ok) {
        deallocate();
        return false;
    }

    for (int i = 0; i < kFFTSizeCount; ++i) {
        const int size = kFFTSizes[i];
        for (int n = 0; n < size; ++n) {
            const double w = 0.8165 * (1.0 - std::cos(2.0 * 3.141592653589793 * n / size));
            mScratch.window[i][n] = static_cast<float>(w);
            // Scaling by 1/size is exact (a power of two), so folding it into the window
            // changes no result.
            mScratch.synthesisWindow[i][n] = mScratch.window[i][n] / static_cast<float>(size);
        }
    }
    mGeometry = frameGeometryAt(parameterValues().choice(parameter::fftSize));
    mLatency.store(mGeometry.latency(), std::memory_order_relaxed);

    reset();
    // No render call runs: take curves still waiting now rather than at the first call, and
    // hear them (at the rate, which may be new) from the first frame.
    mCurves.index.acquire();
    takeLayout(mGeometry);
    mShaping.combineStale = true;
    snapSmoothedValues();
    mInitialized = true;
    return true;
}

void ZerinExtensionDSPKernel::reset() noexcept {
    for (int c = 0; c < mChannelCount; ++c) {
        if (mChannels[c] != nullptr) clearChannel(*mChannels[c], mGeometry, mSampleRate);
        if (mOther[c] != nullptr) clearChannel(*mOther[c], mGeometry, mSampleRate);
    }
    mSizeChange.active = false;
    mSizeChange.uncleared = 0;
    mHeard = false;
    mLFOPhase = 0.0f;
    // A host resets when its transport jumps or it reactivates: a hold starts again from the
    // live input, and no note a host never let go stays down.
    mHold = HoldFade{};
    mNotes.releaseAll();
    mNotesHoldFreeze.store(false, std::memory_order_relaxed);
    // Nothing to fade from once the history is gone.
    mBypassFade = mBypassed.load(std::memory_order_relaxed) ? mBypassFadeLength : 0;
}

void ZerinExtensionDSPKernel::snapSmoothedValues() noexcept {
    mValues = parameterValues();
    mSmoothedInputGain = mValues.gain(parameter::inputGain);
    mSmoothedOutputGain = mValues.gain(parameter::outputGain);
    mSmoothedDryWet = mValues.heardMix();
    mBypassFade = mBypassed.load(std::memory_order_relaxed) ? mBypassFadeLength : 0;
    adoptFrameSize();
    shapeCurves(true);
}

void ZerinExtensionDSPKernel::adoptFrameSize() noexcept {
    const FrameGeometry wanted = frameGeometryAt(mValues.choice(parameter::fftSize));
    if (wanted.size == mGeometry.size || mChannels[0] == nullptr) return;
    if (mHeard || mSizeChange.active || mSizeChange.uncleared > 0) reset();
    switchFrameSize(wanted);
}

void ZerinExtensionDSPKernel::switchFrameSize(const FrameGeometry& frame) noexcept {
    // Silent records are silent at any size: only their layout changes.
    for (int c = 0; c < mChannelCount; ++c)
        clearFrames(*mChannels[c], frame, mSampleRate);
    takeLayout(frame);
    mLatency.store(frame.latency(), std::memory_order_relaxed);
}

void ZerinExtensionDSPKernel::takeLayout(const FrameGeometry& frame) noexcept {
    mGeometry = frame;
    // The curves at the new bins, at once: a glide under way lands.
    mShaping.setRate(mSampleRate, frame);
    mShaping.slotsStale = true;
    mShaping.gliding = false;
    mMeter.prepare(mSampleRate, frame);
}

void ZerinExtensionDSPKernel::deallocate() noexcept {
    for (FFTSetup*& setup : mFFTSetups) {
        releaseFFTSetup(setup);
        setup = nullptr;
    }
    for (int c = 0; c < kMaxChannels; ++c) {
        freeChannel(mChannels[c]);
        freeChannel(mOther[c]);
    }
    freeFloats(mScratchBlock);
    mScratchBlock = nullptr;
    mMeter.deallocate();
    // Every piece of the scratch lived in that one block.
    mScratch = {};
    mBins = {};
    mSegment = {};
    mRatings.slots = nullptr;
    mSizeChange.delayHops = mSizeChange.feedbackWeights = nullptr;
    mInitialized = false;
}

ZerinExtensionDSPKernel::ZerinExtensionDSPKernel() noexcept {
    // Every buffer holds the default set, so that the newest set is whole before any hand-over
    // and a single curve handed over joins whole ones.
    fillSetFromDelayCurve(mCurves.sets[0], kDefaultCurve, kDefaultCurveCount);
    mCurves.sets[1] = mCurves.sets[2] = mCurves.sets[0];
    // Through the path hosts use, so the defaults are stored exactly as set values are.
    for (int a = 0; a < parameter::kCount; ++a)
        setParameter(static_cast<parameter::Address>(a), parameter::kRanges[a].defaultValue);
}

float ParameterValues::gain(parameter::Address a) const noexcept {
    return decibelsToGain(values[a]);
}

std::int32_t ParameterValues::choice(parameter::Address a) const noexcept {
    const float v = values[a];
    return truncateToInt(v + (v < 0.0f ? -0.5f : 0.5f));
}

void ZerinExtensionDSPKernel::setParameter(std::uint64_t address, float value) noexcept {
    if (address >= static_cast<std::uint64_t>(parameter::kCount) || !std::isfinite(value) ||
        parameter::isOutput(static_cast<int>(address)))
        return;
    const auto a = static_cast<parameter::Address>(address);
    const parameter::Range& range = parameter::kRanges[a];
    value = std::clamp(value, range.min, range.max);
    if (a == parameter::mode) {
        const SpectralMode before =
            spectralModeOfValue(mParameters[a].load(std::memory_order_relaxed));
        // The mode goes out first and the bit for the mode left after it: a call that sees the
        // new mode before the bit still applies the leaving (takeModeChanges compares with the
        // mode it last ran), and one that sees neither runs the old mode untouched. The other
        // order could clear a freeze capture while freeze still runs for one more call.
        mParameters[a].store(value, std::memory_order_release);
        if (spectralModeOfValue(value) != before)
            mModesLeft.fetch_or(modeBit(before), std::memory_order_release);
        return;
    }
    mParameters[a].store(value, std::memory_order_relaxed);
    // Each time the freeze goes off, every held note is let go too, so that a note whose off
    // never came is released by the parameter.
    if (a == parameter::freeze && value < 0.5f)
        mFreezeReleases.fetch_add(1, std::memory_order_relaxed);
}

float ZerinExtensionDSPKernel::getParameter(std::uint64_t address) const noexcept {
    if (address >= static_cast<std::uint64_t>(parameter::kCount)) return 0.0f;
    const auto a = static_cast<parameter::Address>(address);
    // What the kernel reports.
    if (a == parameter::noteHold) return notesHoldFreeze() ? 1.0f : 0.0f;
    if (a == parameter::tempo) return static_cast<float>(hostTempo());
    ParameterValues values;
    values.values[a] = relaxed(mParameters[a]);
    switch (parameter::kRanges[a].scale) {
        case parameter::Scale::percent:
            return values.fraction(a) * 100.0f;
        case parameter::Scale::toggle:
            return values.on(a) ? 1.0f : 0.0f;
        case parameter::Scale::choice:
            return static_cast<float>(values.choice(a));
        case parameter::Scale::plain:
        case parameter::Scale::decibels:
            break;
    }
    return values.value(a);
}

ParameterValues ZerinExtensionDSPKernel::parameterValues() const noexcept {
    ParameterValues values;
    for (int a = 0; a < parameter::kCount; ++a)
        values.values[a] = relaxed(mParameters[a]);
    return values;
}

void ZerinExtensionDSPKernel::applyModeChange(SpectralMode left) noexcept {
    for (int c = 0; c < mChannelCount; ++c) {
        ChannelState* ch = mChannels[c];
        if (ch == nullptr) continue;
        if (left == SpectralMode::scatter) {
            ch->scatterHopCounter = 0;
            for (int k = 0; k < kMaxNumBins; ++k)
                ch->scatterMap[k] = k;
        } else if (left == SpectralMode::freeze) {
            ch->freezeActive = false;
        }
    }
}

void ZerinExtensionDSPKernel::takeModeChanges() noexcept {
    const std::uint32_t left = mModesLeft.exchange(0, std::memory_order_acquire);
    const SpectralMode mode =
        spectralModeOfValue(mParameters[parameter::mode].load(std::memory_order_acquire));
    // The second test catches a change whose new mode is visible before its bit is.
    for (const SpectralMode m : {SpectralMode::freeze, SpectralMode::scatter})
        if ((left & modeBit(m)) != 0 || (mActiveMode == m && mode != m)) applyModeChange(m);
    mActiveMode = mode;
}

void ZerinExtensionDSPKernel::setCurveSet(const CurveSet& set) noexcept {
    const CurveSet& latest = latestCurveSet();
    CurveSet& next = mCurves.sets[mCurves.index.writeSlot()];
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            const CurveData& given = set.curves[s][k];
            CurveData& kept = next.curves[s][k];
            const int count = given.count > 0 ? std::min<int>(given.count, kMaxCurvePoints) : 0;
            fillCurve(kept, given.points, count);
            if (kept.count < 1) kept = latest.curves[s][k];
        }
    mCurves.index.publish();
}

void ZerinExtensionDSPKernel::setCurve(CurveSlot slot, CurveKind kind, const CurvePoint* points,
                                       int count) noexcept {
    const CurveSet& latest = latestCurveSet();
    CurveSet& next = mCurves.sets[mCurves.index.writeSlot()];
    next = latest;
    CurveData& kept = next.at(slot, kind);
    fillCurve(kept, points, count);
    if (kept.count < 1) kept = latest.at(slot, kind);
    mCurves.index.publish();
}

bool ZerinExtensionDSPKernel::takeFrame(DisplayFrameKind kind, float* values,
                                        FrameStamp& stamp) noexcept {
    if (kind == DisplayFrameKind::levels) return mMeter.takeSnapshot(values, stamp);
    if (mRatings.slots == nullptr || !mRatings.index.acquire()) return false;
    const float* slot = mRatings.slots + mRatings.index.front * kBinsPadded;
    stamp = mRatings.stamps[mRatings.index.front];
    std::memcpy(values, slot, static_cast<std::size_t>(stamp.fftSize / 2 + 1) * sizeof(float));
    return true;
}

void ZerinExtensionDSPKernel::setFrameWanted(DisplayFrameKind kind, bool wanted) noexcept {
    if (kind == DisplayFrameKind::levels)
        mMeter.setWanted(wanted);
    else
        mRatings.wanted.store(wanted, std::memory_order_relaxed);
}

bool ZerinExtensionDSPKernel::frameWanted(DisplayFrameKind kind) const noexcept {
    return kind == DisplayFrameKind::levels ? mMeter.wanted()
                                            : mRatings.wanted.load(std::memory_order_relaxed);
}

void ZerinExtensionDSPKernel::setHostTempo(double bpm) noexcept {
    if (bpm >= kMinHostTempo && bpm <= kMaxHostTempo)
        mHostTempo.store(bpm, std::memory_order_relaxed);
}

float ZerinExtensionDSPKernel::effectiveLFORate() const noexcept {
    const float knob = relaxed(mParameters[parameter::lfoRate]);
    const double tempo = mHostTempo.load(std::memory_order_relaxed);
    // A tempo stored around setHostTempo and out of its range counts as none.
    if (relaxed(mParameters[parameter::tempoSync]) < 0.5f || !(tempo > 0.0) ||
        tempo > kMaxHostTempo)
        return knob;
    static constexpr float kTempoDivisions[] = {4.0f, 2.0f, 1.0f, 0.5f, 0.25f, 0.125f, 0.0625f};
    const float beat = static_cast<float>(tempo / 60.0);
    float best = 1e9f;
    float rate = beat;
    for (float m : kTempoDivisions) {
        const float candidate = m * beat;
        const float distance = std::fabs(candidate - knob);
        if (distance < best) {
            best = distance;
            rate = candidate;
        }
    }
    return rate;
}

} // namespace zerin
