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
    // By index in kFFTSizes: Hann, 0.8165 * (1 - cos(2 pi n / N)), and that over N, the
    // inverse's scaling and the window in one.
    float* window[kFFTSizeCount] = {};
    float* synthesisWindow[kFFTSizeCount] = {};
    float* work = nullptr;                   // time-domain frame
    std::complex<float>* spectrum = nullptr; // the bins
    float* mag = nullptr;                    // the analysed spectrum
    float* phase = nullptr;
    float* delayMag = nullptr;  // scatter's delayed magnitudes
    float* fedMag = nullptr;    // a ping-pong glide's blend of the two sides' feedback
    float* sparedMag = nullptr; // what Source spares, then the magnitudes heard
    std::complex<float>* sparedSpectrum = nullptr;
    float* holdMag = nullptr; // a crossfade's blend of the live and the held spectrum
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
    float* outgoing = nullptr; // the output of frames at the size being left
    bool fading = false;       // the segment has a sample not wholly processed
};

// Where a change of frame size stands. The frames at the new size start at once, from the
// input history the old ones had; the old ones run on, and are heard alone, until the new
// ones' output is whole (one new frame, less a sample), and then the two cross-fade at equal
// power. The old records are then cleared a little each sample, so that the next change finds
// them silent without a pause on the render thread. Render thread, and `initialize`.
struct SizeChange {
    std::int32_t leadIn = 0; // samples before the crossfade starts
    std::int32_t faded = 0;  // samples of the crossfade done
    std::int32_t fadeLength = 1;
    bool active = false;       // the old frames still sound
    std::size_t uncleared = 0; // floats of the old records' delay lines still to clear
    // What the old frames read of the curves: the bins as they were at the change.
    float* delayHops = nullptr;
    float* feedbackWeights = nullptr;
    bool feedbackFlat = true;
    // The old frames' own scatter draws: in whatever order the frames of the two sizes fall,
    // each size's channels draw in turn as they would alone.
    std::uint32_t random = 0;
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
