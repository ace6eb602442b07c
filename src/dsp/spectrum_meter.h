#pragma once

// What the editor's analyser draws: the level of every bin of the input and of the wet
// output, with meter ballistics (a fast attack, a slower release, a peak held for a second
// that then falls), measured on the spectra the kernel computes anyway and handed over about
// 30 times a second, only while someone listens. The render thread measures and publishes;
// one other thread takes the newest levels. Nothing here allocates or locks once allocated.

#include "dsp/constants.h"
#include "dsp/display_frame.h"
#include "dsp/triple_buffer.h"

#include <atomic>
#include <cstdint>

namespace zerin {

class SpectrumMeter {
public:
    // The rows of a snapshot, each a value per bin of the frames measured (stamp.fftSize / 2
    // + 1) in dBFS (a full-scale sine centred on a bin reads 0 there), at least kFloorDb.
    enum Row { input = 0, output = 1, inputPeak = 2, outputPeak = 3 };
    static constexpr int kRows = 4;
    static constexpr float kFloorDb = -120.0f;
    static constexpr double kAttackSeconds = 0.01;
    static constexpr double kReleaseSeconds = 0.3;
    static constexpr double kPeakHoldSeconds = 1.0;
    static constexpr double kPeakFallDbPerSecond = 24.0;
    static constexpr double kSnapshotsPerSecond = 30.0;

    SpectrumMeter() = default;
    ~SpectrumMeter() { deallocate(); }
    SpectrumMeter(const SpectrumMeter&) = delete;
    SpectrumMeter& operator=(const SpectrumMeter&) = delete;

    // Not on the render thread. False when memory ran out (the meter then stays silent).
    bool allocate() noexcept;
    void deallocate() noexcept;
    // Idle, or the render thread when the frame size changes: the ballistics at this rate and
    // layout, every level back to silence.
    void prepare(double sampleRate, const FrameGeometry& frame) noexcept;

    // Whether an editor listens; the kernel measures only then. Any thread.
    void setWanted(bool wanted) noexcept { mWanted.store(wanted, std::memory_order_relaxed); }
    bool wanted() const noexcept { return mWanted.load(std::memory_order_relaxed); }

    // Render thread, one call per channel of a frame, the first with `first`: the channel's
    // analysed and output magnitudes (the kernel's scale). The louder channel counts.
    void take(const float* inputMag, const float* outputMag, bool first) noexcept;
    // Render thread, after the frame's last channel: the ballistics move one frame, and the
    // levels are published when a snapshot is due.
    void endFrame() noexcept;

    // The newest levels since the last call (kRows rows of stamp.fftSize / 2 + 1 floats into
    // `out`, which holds kRows * kMaxNumBins), with the rate and size they were measured at and
    // their number. False when none is new. One thread only.
    bool takeSnapshot(float* out, FrameStamp& stamp) noexcept;

private:
    static constexpr int kStride = kMaxBinStride; // a row of the largest frame's bins, padded
    static float* row(float* base, int r) noexcept { return base + r * kStride; }
    static const float* row(const float* base, int r) noexcept { return base + r * kStride; }

    std::atomic<bool> mWanted{false};
    float* mBlock = nullptr;
    float* mFrameMax = nullptr;   // this frame's louder channel, input and output rows
    float* mLevels = nullptr;     // kRows rows, linear, full scale 1
    float* mHoldFrames = nullptr; // per bin and peak row, frames the peak still holds
    float* mSnapshots = nullptr;  // three slots of kRows rows, linear
    FrameStamp mStamps[3] = {};
    TripleBufferIndex mExchange;
    std::uint64_t mMade = 0;
    double mSampleRate = 0.0;
    FrameGeometry mFrame;
    float mFullScale = 1.0f;
    float mAttack = 1.0f, mRelease = 1.0f, mPeakFall = 1.0f, mHoldLength = 0.0f;
    double mSamplesSincePublish = 0.0;
    bool mFrameOpen = false; // a channel of this frame has been taken
};

} // namespace zerin
