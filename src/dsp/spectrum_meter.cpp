#include "dsp/spectrum_meter.h"

#include "dsp/fft.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zerin {

namespace {

// One frame's step of a one-pole smoother with this time constant.
float perFrame(double sampleRate, int hop, double seconds) {
    return static_cast<float>(1.0 - std::exp(-hop / (sampleRate * seconds)));
}

} // namespace

bool SpectrumMeter::allocate() noexcept {
    if (mBlock != nullptr) return true;
    // Frame maxima (2 rows), levels (4), hold counters (4), three snapshots (12).
    mBlock = allocateFloats(static_cast<std::size_t>(22) * kStride);
    if (mBlock == nullptr) return false;
    mFrameMax = mBlock;
    mLevels = mBlock + 2 * kStride;
    mHoldFrames = mBlock + 6 * kStride;
    mSnapshots = mBlock + 10 * kStride;
    return true;
}

void SpectrumMeter::deallocate() noexcept {
    freeFloats(mBlock);
    mBlock = mFrameMax = mLevels = mHoldFrames = mSnapshots = nullptr;
}

void SpectrumMeter::prepare(double sampleRate, const FrameGeometry& frame) noexcept {
    mSampleRate = sampleRate;
    mFrame = frame;
    // The magnitude a full-scale sine centred on a bin gives there: half the analysis
    // window's sum, 0.8165 * N / 2.
    mFullScale = 0.8165f * static_cast<float>(frame.size) / 2.0f;
    mAttack = perFrame(sampleRate, frame.hop, kAttackSeconds);
    mRelease = perFrame(sampleRate, frame.hop, kReleaseSeconds);
    const double frameSeconds = frame.hop / sampleRate;
    mPeakFall = static_cast<float>(std::pow(10.0, -kPeakFallDbPerSecond * frameSeconds / 20.0));
    mHoldLength = static_cast<float>(std::ceil(kPeakHoldSeconds / frameSeconds));
    mSamplesSincePublish = 0.0;
    mFrameOpen = false;
    if (mBlock != nullptr) std::memset(mBlock, 0, sizeof(float) * 10 * kStride);
}

void SpectrumMeter::take(const float* inputMag, const float* outputMag, bool first) noexcept {
    if (mBlock == nullptr) return;
    // A frame whose first channel went unmeasured (metering began between channels) starts
    // with the channel it has.
    first = first || !mFrameOpen;
    mFrameOpen = true;
    float* in = row(mFrameMax, 0);
    float* out = row(mFrameMax, 1);
    const float unit = 1.0f / mFullScale;
    for (int k = 0; k < mFrame.bins; ++k) {
        const float i = inputMag[k] * unit;
        const float o = outputMag[k] * unit;
        // NaN never gets in: the comparisons keep what was there, or 0.
        in[k] = first ? (i > 0.0f ? i : 0.0f) : (i > in[k] ? i : in[k]);
        out[k] = first ? (o > 0.0f ? o : 0.0f) : (o > out[k] ? o : out[k]);
    }
}

void SpectrumMeter::endFrame() noexcept {
    if (mBlock == nullptr || !mFrameOpen) return;
    mFrameOpen = false;
    for (int r = 0; r < 2; ++r) {
        const float* x = row(mFrameMax, r);
        float* level = row(mLevels, r);
        float* peak = row(mLevels, r + 2);
        float* hold = row(mHoldFrames, r);
        for (int k = 0; k < mFrame.bins; ++k) {
            const float step = x[k] > level[k] ? mAttack : mRelease;
            level[k] = std::fma(step, x[k] - level[k], level[k]);
            const bool higher = level[k] >= peak[k];
            peak[k] = higher ? level[k] : (hold[k] > 0.0f ? peak[k] : peak[k] * mPeakFall);
            hold[k] = higher ? mHoldLength : std::max(hold[k] - 1.0f, 0.0f);
        }
    }
    // Thirty a second on average: the frames fall where they fall, and what one publication
    // comes late by, the next comes early by.
    const double interval = mSampleRate / kSnapshotsPerSecond;
    mSamplesSincePublish += mFrame.hop;
    if (mSamplesSincePublish < interval) return;
    mSamplesSincePublish = std::min(mSamplesSincePublish - interval, interval);
    // Linear, as measured: the taker works out the decibels, off the render thread.
    const int slot = mExchange.writeSlot();
    std::memcpy(mSnapshots + slot * kRows * kStride, mLevels, sizeof(float) * kRows * kStride);
    mStamps[slot] = {mSampleRate, ++mMade, mFrame.size};
    mExchange.publish();
}

bool SpectrumMeter::takeSnapshot(float* out, FrameStamp& stamp) noexcept {
    if (mBlock == nullptr || !mExchange.acquire()) return false;
    const float* snapshot = mSnapshots + mExchange.front * kRows * kStride;
    stamp = mStamps[mExchange.front];
    const int bins = stamp.fftSize / 2 + 1;
    for (int r = 0; r < kRows; ++r) {
        const float* level = row(snapshot, r);
        float* db = out + r * bins;
        for (int k = 0; k < bins; ++k)
            db[k] = std::max(20.0f * std::log10(std::max(level[k], 1e-7f)), kFloorDb);
    }
    return true;
}

} // namespace zerin
