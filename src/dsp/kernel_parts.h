#pragma once

// The kernel's record in named parts: the buffers a frame and a segment work in, what the
// curves become at the bins, and the two hand-overs between threads (the curves in, the
// ratings out). Plain records of pointers into the one allocation `initialize` makes, and of
// the exchanges' slots; the operations on them are the kernel's.

#include "dsp/curve.h"
#include "dsp/display_frame.h"
#include "dsp/triple_buffer.h"

#include <atomic>
#include <complex>
#include <cstdint>

namespace zerin {

// What one frame works in. Render thread (and `initialize`, which fills the windows).
struct FrameScratch {
    float* window = nullptr;                 // Hann, 0.8165 * (1 - cos(2 pi n / 2048))
    float* synthesisWindow = nullptr;        // window / 2048: inverse scaling and window in one
    float* work = nullptr;                   // time-domain frame
    std::complex<float>* spectrum = nullptr; // 1025 bins
    float* mag = nullptr;                    // the analysed spectrum
    float* phase = nullptr;
    float* delayMag = nullptr; // scatter's delayed magnitudes
    float* holdMag = nullptr;  // a crossfade's blend of the live and the held spectrum
    float* holdPhase = nullptr;
    std::complex<float>* holdSpectrum = nullptr;
};

// Per-call scratch of `process`: the smoothed values at each sample of a segment and the dry
// samples of the channel being processed. Render thread.
struct SegmentScratch {
    float* inputGain = nullptr;
    float* outputGain = nullptr;
    float* dryWet = nullptr;
    float* dry = nullptr;
    float* lfoPhase = nullptr; // LFO phase at each sample, before its advance
    float* bypass = nullptr;   // bypass fade at each sample: 0 processed .. 1 bypassed
    bool fading = false;       // the segment has a sample not wholly processed
};

// The curves at the bins, worked out by curve shaping before a frame reads them.
struct CurveBins {
    float* delayHops = nullptr;        // heard
    float* targetDelayHops = nullptr;  // where a glide is going
    float* feedbackWeights = nullptr;  // 0..1
    float* slotDelayMs = nullptr;      // slot A's bins, then slot B's, after sync
    float* slotFeedback = nullptr;     // the same for the feedback curves, as 0..1
    float* slotDelayGrid = nullptr;    // slot A's then slot B's delays on the grid
    float* slotFeedbackGrid = nullptr; // and feedback shares
    float* gridPosition = nullptr;     // each bin's place on the grid, unshifted
    std::int32_t* gridIndex = nullptr; // and shifted: the grid point below it
    float* gridFraction = nullptr;     // and how far past it
};

// The curves' hand-over: three sets so that the producer never writes one the render thread
// may be reading, however often it hands over.
struct CurveExchange {
    CurveSet sets[3] = {};
    TripleBufferIndex index;
};

// The ratings' hand-over: three buffers of 1025 ratings, so a taken frame is always one whole
// frame's, each with its stamp; the render thread counts what it made from 1 and never starts
// again, so a later frame has a larger number.
struct RatingsExchange {
    float* slots = nullptr;
    FrameStamp stamps[3] = {};
    std::uint64_t made = 0;
    TripleBufferIndex index;
    std::atomic<bool> wanted{false};
};

} // namespace zerin
