#pragma once

// The real-time spectral kernel: one plain record the audio unit holds by value, plus the
// operations on it. Allocation happens in `initialize` only; `process` and `setParameter`
// never allocate, lock, wait or fail.
//
// Threads: `initialize`, `reset` and `deallocate` run on a host thread while no render call
// runs. `process` runs on the render thread. `setParameter`/`getParameter` may run on any
// thread. `setCurveSet`, `setCurve` and the getters of the curves run on one
// non-render thread at a time (the curves' producer), `takeClassificationSnapshot` on one
// non-render thread at a time (the snapshot's consumer); neither ever waits for the render thread.

#include "dsp/constants.h"
#include "dsp/curve.h"
#include "dsp/display_frame.h"
#include "dsp/freeze_notes.h"
#include "dsp/kernel_parts.h"
#include "dsp/modes.h"
#include "dsp/parameters.h"
#include "dsp/spectrum_meter.h"
#include "dsp/triple_buffer.h"

#include <atomic>
#include <complex>
#include <cstdint>

namespace zerin {

struct FFTSetup;

// Row stride of the default layout's bin rows: 1025 bins padded to a multiple of eight floats.
inline constexpr int kBinStride = 1032;

// Ceiling of every magnitude the kernel keeps (analysed, written to a delay line, frozen).
// 2^20 is 157 times (44 dB above) the largest bin magnitude a full-scale input at the
// highest input gain (+12 dB) can produce, 1672 * 3.98 (the window's sum times the peak),
// so no signal a musician feeds in is ever touched. The loop limit below keeps feedback far
// from it; it remains the guard for inputs far beyond full scale.
inline constexpr float kMaxMagnitude = 1048576.0f;

// Levels of the wet signal, before the output gain, in linear full-scale units.
// The feedback loop saturates smoothly from +12 dBFS towards +15 dBFS: below +12 dBFS the
// loop is left exactly as it is, and a loop held at its ceiling leaves room for the crest
// of dense material before the safety stage. That stage rounds any wet peak above +18 dBFS
// off towards +24 dBFS, which nothing (no input, no setting) can pass.
inline constexpr float kLoopKnee = 3.9810717f;    // +12 dBFS
inline constexpr float kLoopCeiling = 5.6234133f; // +15 dBFS
inline constexpr float kWetKnee = 7.9432823f;     // +18 dBFS
inline constexpr float kWetCeiling = 15.848932f;  // +24 dBFS

// How long bypass takes to fade in or out: short enough to feel like a switch, long enough
// that the step between the processed signal and the input does not click.
inline constexpr double kBypassFadeSeconds = 0.005;

// How long the old and the new frames cross-fade when the frame size changes: long enough
// not to click, short enough that the two latencies' copies of a sound do not smear.
inline constexpr double kSizeFadeSeconds = 0.02;

// Full LFO depth moves every delay by this many default hops (each a quarter of 2048
// samples) either way: 320 ms at 48 kHz, at every frame size.
inline constexpr float kLfoReachHops = 30.0f;

// The rows of history each bin keeps at `sampleRate` in `frame`'s layout: the longest delay
// any range hears, the LFO's reach beyond it, the row being written and the older row a
// fractional delay reads beside the newer one. So a drawn delay is heard as drawn at every
// rate and size. 0 for a rate no memory could hold.
std::int32_t delaySlotsFor(double sampleRate, const FrameGeometry& frame = {}) noexcept;
// The floats each delay line needs to hold that history in every layout.
std::size_t delayLineFloatsFor(double sampleRate) noexcept;

// The smooth ceiling both stages use: the identity up to `knee`, then a tanh that leaves it
// with slope 1 and approaches `ceiling` without reaching it.
float softCeiling(float level, float knee, float ceiling) noexcept;

struct ChannelState {
    FrameGeometry frame; // the layout this record's frames run at
    // The rings hold the largest frame, whatever the layout, so a record that takes over
    // from another at a new size starts with the history it needs.
    alignas(32) float inputRing[kMaxFFTSize]; // the last inputs, after input gain
    std::int32_t inputWritePos;
    std::int32_t hopCounter;
    alignas(32) float outputRing[kMaxFFTSize]; // overlap-add accumulator
    std::int32_t outputReadPos;
    // The raw inputs: the dry term reads the one a latency back, in line with the wet path.
    alignas(32) float dryRing[kMaxFFTSize];

    // Per-bin delay lines, slot-major: slot s of bin k at [s * frame.stride + k]. Every bin
    // advances one slot per delay frame, so the bins share one write position and a frame
    // writes two contiguous rows instead of touching every bin's own line.
    float* magDelayLines;
    float* phaseDelayLines;
    std::size_t delayLineFloats; // allocated for each line: room for every layout
    std::int32_t delaySlots;     // how many rows the lines hold: delaySlotsFor(the rate)
    std::int32_t delayWritePos;

    alignas(32) float feedbackMag[kMaxNumBins]; // previous frame's output, any mode
    alignas(32) float feedbackPhase[kMaxNumBins];
    // With ping-pong, the left side's previous output kept for the right side's frame, which
    // runs after the left one has overwritten feedbackMag.
    alignas(32) float sentMag[kMaxNumBins];
    alignas(32) float frozenMag[kMaxNumBins];
    alignas(32) float frozenPhaseAccum[kMaxNumBins];
    // A smooth freeze's turn per hop of each bin, measured at the capture; and the phases of
    // the last analysed frame, which that measure needs.
    alignas(32) float frozenAdvance[kMaxNumBins];
    alignas(32) float lastPhase[kMaxNumBins];
    bool freezeActive;
    // The spectrum the freeze parameter holds, its phases running on, and each bin's turn
    // per hop when the freeze is smooth.
    alignas(32) float heldMag[kMaxNumBins];
    alignas(32) float heldPhase[kMaxNumBins];
    alignas(32) float heldAdvance[kMaxNumBins];
    alignas(32) std::int32_t scatterMap[kMaxNumBins]; // a permutation of the bins
    std::int32_t scatterHopCounter;
    alignas(32) float prevMagnitude[kMaxNumBins];
    alignas(32) float binClassification[kMaxNumBins]; // 0 transient .. 1 tonal
    bool holdTaken; // heldMag and heldPhase hold a spectrum of this layout

    float* magSlot(int slot) noexcept { return magDelayLines + slot * frame.stride; }
    float* phaseSlot(int slot) noexcept { return phaseDelayLines + slot * frame.stride; }
    std::size_t binBytes() const noexcept { return sizeof(float) * frame.bins; }
};

// Every parameter as one `process` call reads it, in host units and within its range, taken
// once at the call's start so that all its frames see one consistent set; and the forms the
// kernel works with, by the table's scale.
struct ParameterValues {
    float values[parameter::kCount] = {};

    float value(parameter::Address a) const noexcept { return values[a]; }
    float fraction(parameter::Address a) const noexcept { return values[a] / 100.0f; }
    float gain(parameter::Address a) const noexcept;
    bool on(parameter::Address a) const noexcept { return values[a] >= 0.5f; }
    std::int32_t choice(parameter::Address a) const noexcept;
    SpectralMode mode() const noexcept { return spectralModeOfValue(values[parameter::mode]); }
    ListenMode listen() const noexcept {
        return static_cast<ListenMode>(choice(parameter::listen));
    }
    // The mix the outputs glide to: the Mix knob's, or all wet while listening to the wet path
    // or to the spared part alone.
    float heardMix() const noexcept {
        return listen() == ListenMode::mix ? fraction(parameter::dryWet) : 1.0f;
    }
};

// What every frame of one `process` call reads, worked out from its parameters once.
struct FrameParams {
    float feedback = 0.0f;
    float lfoDepth = 0.0f;
    float sensitivity = 0.0f; // 0 when at or below the 0.001 threshold
    float scatterSpeed = 0.0f;
    bool smoothFreeze = false;
    bool hold = false; // the freeze parameter or a held note holds the input spectrum
    // Where the smoothed values glide to.
    float inputGain = 1.0f;
    float outputGain = 1.0f;
    float dryWet = 0.5f; // 1 while listening to the wet path or the spared part alone
};

// Where the freeze parameter's crossfade stands, moved once a frame: 0 live input .. 1 the
// held spectrum. Render thread.
struct HoldFade {
    float position = 0.0f;
    bool capture = false; // this frame takes the spectrum to hold
};

// How the curves are heard at one frame: the macros as smoothed so far, the tempo the delays
// were snapped to, and what must be worked out again before the next frame reads the bins.
// Render thread, and `initialize`.
struct CurveShaping {
    float morph = 0.0f; // 0 slot A .. 1 slot B
    float scale = 1.0f; // of every delay
    float shift = 0.0f; // semitones
    bool sync = false;
    double syncTempo = 0.0;             // BPM the delays were snapped to, when `sync`
    float longestMs = kMaxCurveDelayMs; // the delay range's: no bin is heard later
    bool slotsStale = true;             // the set or the snapping changed
    bool binsStale = true;              // the slots' values at the bins are out of date
    bool gridStale = true;              // the same on the grid shifted curves are read from
    float resampledShift = 0.0f; // the shift the slots' values were last read off the grid at
    bool combineStale = true;    // the slots or the blend changed
    bool gliding = false;        // heard delays on their way to new snapped values
    bool feedbackFlat = true;    // every bin keeps all of the Feedback knob
    // The stereo and listening macros, glided alike: how far the sides' delays move apart
    // (0..1), how much of the other side each feeds back (0 its own .. 1 the other's), and how
    // much of the wet path is what Source spares (0 the modes' output .. 1 the spared part).
    float spread = 0.0f;
    float pingPong = 0.0f;
    float spared = 0.0f;
    // What the macros and a synced delay's glide move by in a frame, at the rate.
    float macroCoefficient = 1.0f;
    float glideCoefficient = 1.0f;

    void setRate(double sampleRate, const FrameGeometry& frame) noexcept;
};

// The grid curves are read from while they are shifted: 48 points an octave from 1 Hz, up to
// four times the highest rate's Nyquist frequency.
inline constexpr float kCurveGridPerOctave = 48.0f;
inline constexpr int kCurveGridPoints = 1000;
inline constexpr int kCurveGridStride = 1008;

// The tempos a host may set. Outside them lie only broken transports (3e38 BPM has been
// seen): no music is that slow or that fast.
inline constexpr double kMinHostTempo = 1.0;
inline constexpr double kMaxHostTempo = 1000.0;

struct ZerinExtensionDSPKernel {
    ZerinExtensionDSPKernel() noexcept; // every parameter at its default
    ~ZerinExtensionDSPKernel() { deallocate(); }
    ZerinExtensionDSPKernel(const ZerinExtensionDSPKernel&) = delete;
    ZerinExtensionDSPKernel& operator=(const ZerinExtensionDSPKernel&) = delete;

    // Allocates everything (only what is missing on a repeat call), makes the FFT plans,
    // resets, and takes the newest curve set (the default set until one is handed over),
    // heard from the first frame with the curve macros at their values. False, with
    // the kernel left uninitialised (passing audio through), if memory or FFT plans cannot be
    // had or the rate is not a positive finite number.
    bool initialize(int channelCount, double sampleRate) noexcept;
    // Clears the signal history and puts the bypass fade at its end; keeps resources,
    // parameters and the curve.
    void reset() noexcept;
    // Puts the smoothed gains and mix, and the bypass fade, at their targets, and the frames at
    // the size asked for, as `initialize` leaves them: for a host whose first render call
    // brings the parameter values (LV2 control ports), so that a session does not fade in
    // from the defaults or cross-fade from the default size. Render thread or idle; never
    // allocates (after sound has come in, a new size clears the history as `reset` does).
    void snapSmoothedValues() noexcept;
    // Frees everything; the kernel is then as constructed except for parameters and curves.
    void deallocate() noexcept;

    // Values in the host's units (dB, percent, Hz, 0/1, mode index) by `parameter::Address`.
    // Non-finite values, unknown addresses and the outputs are ignored, values outside the
    // table's range are taken at its nearest end. The outputs read what the kernel reports:
    // whether notes hold the freeze, the tempo its synced delays and LFO follow. Read back as the
    // kernel works with them: a percentage through its fraction, a toggle as 0 or 1, a choice as
    // its whole number. The render thread takes them at its next `process` call.
    void setParameter(std::uint64_t address, float value) noexcept;
    float getParameter(std::uint64_t address) const noexcept;
    // Every parameter as it stands now. Any thread.
    ParameterValues parameterValues() const noexcept;

    // Processes frameCount samples of the channels both sides have, at most two; further
    // outputs get silence. Inputs and outputs may be the same buffers.
    void process(const float* const* inputs, int inputCount, float* const* outputs, int outputCount,
                 int frameCount) noexcept;

    // Producer side of the curves' hand-over: never waits; the render thread takes the newest
    // set whole at its next call. Points are kept as fillCurve keeps them: sorted by
    // frequency, the lowest 32. A curve of one point is flat at its value; a curve of none
    // leaves that curve as it was.
    void setCurveSet(const CurveSet& set) noexcept;
    // The newest set with one curve replaced.
    void setCurve(CurveSlot slot, CurveKind kind, const CurvePoint* points, int count) noexcept;
    // The newest set handed over (or installed), at once.
    const CurveSet& latestCurveSet() const noexcept { return mCurves.sets[mCurves.index.latest]; }
    // Consumer side of the display frames: copies the newest unread frame of `kind`
    // (rowsOf(kind) rows of a value per bin of stamp.fftSize, into room for rowsOf(kind) *
    // kMaxNumBins: channel 0's ratings, or the analyser's levels) and its stamp, and returns true,
    // or returns false if none is new. One thread at a time per kind.
    bool takeFrame(DisplayFrameKind kind, float* values, FrameStamp& stamp) noexcept;
    // Whether an editor draws frames of `kind`. The analyser measures only while its levels
    // are wanted; the ratings are made for the sound whenever Source is up, and the flag only
    // tells their readers. Any thread.
    void setFrameWanted(DisplayFrameKind kind, bool wanted) noexcept;
    bool frameWanted(DisplayFrameKind kind) const noexcept;

    // The host's tempo in BPM, for tempo sync. A tempo that is not a number, or outside
    // kMinHostTempo..kMaxHostTempo, is ignored: the last usable one stays. Any thread.
    void setHostTempo(double bpm) noexcept;
    double hostTempo() const noexcept { return mHostTempo.load(std::memory_order_relaxed); }
    // Bypass on or off; the render thread fades to it from its next call. Any thread.
    void setBypassed(bool bypassed) noexcept {
        mBypassed.store(bypassed, std::memory_order_relaxed);
    }
    bool bypassed() const noexcept { return mBypassed.load(std::memory_order_relaxed); }
    float effectiveLFORate() const noexcept; // Hz, tempo-snapped when tempo sync is on
    // One MIDI message (status byte first) for the freeze's notes, applied from the next
    // `process` call on: a host cuts its calls at each message's sample, and the capture
    // then falls on the frame it would fall on had the freeze parameter turned there. Render
    // thread, between calls.
    void takeMidi(const std::uint8_t* data, std::size_t size) noexcept { mNotes.take(data, size); }
    // Whether the last call held the input spectrum (parameter or note).
    bool holding() const noexcept { return mFrame.hold; }
    // Whether notes held the freeze in the last call, for an editor that lights HOLD then
    // too. Any thread.
    bool notesHoldFreeze() const noexcept {
        return mNotesHoldFreeze.load(std::memory_order_relaxed);
    }
    // Brings the bins' delays and feedback shares up to date with the curves, the macros and
    // the tempo, moving the smoothed macros one frame on (or straight to their targets when
    // `snap`). Render thread (before a frame) or idle.
    void shapeCurves(bool snap) noexcept;
    // Effects of leaving a mode on the channel records; render thread or idle.
    void applyModeChange(SpectralMode left) noexcept;

    // Introspection for the editor-facing unit and for tests.
    const CurveSet& currentSet() const noexcept { return mCurves.sets[mCurves.index.front]; }
    const CurveData& currentCurve() const noexcept {
        return currentSet().at(CurveSlot::a, CurveKind::delay);
    }
    const CurveShaping& curveShaping() const noexcept { return mShaping; }
    bool curveDirty() const noexcept { return mCurves.index.hasFresh(); }
    double sampleRate() const noexcept { return mSampleRate; }
    // The layout the live frames run at, and the latency heard, the one a host compensates:
    // through a change of size the old one until the crossfade starts, then the new one.
    const FrameGeometry& frameGeometry() const noexcept { return mGeometry; }
    std::int32_t latencySamples() const noexcept {
        return mLatency.load(std::memory_order_relaxed);
    }
    // Whether frames at an old size still sound (a change of size under way).
    bool changingSize() const noexcept { return mSizeChange.active; }

    // Those fields shared across threads are atomics.
    std::atomic<double> mHostTempo{120.0};
    double mSampleRate = 44100.0;
    // Bypass fades between the processed output and the raw input delayed by the latency, so
    // that time runs on across the switch and the reported latency stays true; the spectral
    // path keeps running meanwhile, so that coming back resumes where it would have been.
    std::atomic<bool> mBypassed{false};
    bool mInitialized = false;
    std::int32_t mChannelCount = 2;
    // The call under way processes two channels: spread and ping-pong apply. Render thread.
    bool mStereo = false;
    // The parameters in host units, by address, as `setParameter` stores them.
    std::atomic<float> mParameters[parameter::kCount] = {};
    // Counts the freeze parameter set to off: each lets every held note go, so that a note
    // whose off never came is released by the parameter.
    std::atomic<std::uint32_t> mFreezeReleases{0};
    std::atomic<bool> mNotesHoldFreeze{false};
    // Gliding values, started from their targets by `initialize`.
    float mSmoothedInputGain = 0.0f;
    float mSmoothedOutputGain = 0.0f;
    float mSmoothedDryWet = 0.0f;
    float mLFOPhase = 0.0f; // radians, [0, 2 pi)
    // Where the bypass fade stands, in samples from processed (0) to bypassed
    // (mBypassFadeLength). Render thread; `reset` and `snapSmoothedValues` put it at the end
    // `mBypassed` asks for.
    std::int32_t mBypassFade = 0;
    std::int32_t mBypassFadeLength = 1; // kBypassFadeSeconds at the rate

    // The plans of every size, so that a change of size at any time needs none made.
    FFTSetup* mFFTSetups[kFFTSizeCount] = {};
    FrameScratch mScratch;
    CurveBins mBins;
    // The layout the curves are worked out for and the live records run at.
    FrameGeometry mGeometry;
    ChannelState* mChannels[kMaxChannels] = {nullptr, nullptr};
    // The records of the size being left while a change sounds; otherwise silent and waiting.
    ChannelState* mOther[kMaxChannels] = {nullptr, nullptr};
    SizeChange mSizeChange;
    std::atomic<std::int32_t> mLatency{kLatencySamples};
    bool mHeard = false; // a sample other than silence came in since the last reset

    CurveExchange mCurves;
    CurveShaping mShaping;

    std::uint32_t mRNGState = 305419896u; // scatter's xorshift state

    RatingsExchange mRatings;
    SpectrumMeter mMeter;

    // Render-thread state of the mode hand-over: the mode frames run in, and one bit per mode
    // left since the render thread last looked (so freeze recaptures even if it was left and
    // chosen again between two calls).
    SpectralMode mActiveMode = SpectralMode::delay;
    std::atomic<std::uint32_t> mModesLeft{0};

    // The parameters of the call under way (render thread), or of `initialize` and
    // `snapSmoothedValues` (idle), and what its frames read of them.
    ParameterValues mValues;
    FrameParams mFrame;
    // The freeze's notes and hold, render thread.
    FreezeNotes mNotes;
    std::uint32_t mFreezeReleasesSeen = 0;
    HoldFade mHold;

    SegmentScratch mSegment;
    float* mScratchBlock = nullptr; // the one allocation all kernel scratch lives in

private:
    bool allocateScratch() noexcept;
    void takeModeChanges() noexcept;
    void takeParameters() noexcept;
    void processSegment(const float* const* inputs, float* const* outputs, int channels, int offset,
                        int length, float lfoIncrement, bool bypassed) noexcept;
    bool advanceBypassFade(bool bypassed, int length) noexcept;
    void evaluateSlots() noexcept;
    void evaluateGrids() noexcept;
    void resampleGrids() noexcept;
    void combineSlots() noexcept;
    void takeShapingTargets(bool snap) noexcept;
    void updateBins() noexcept;
    void glideDelays(bool snap) noexcept;
    void takeHold() noexcept;
    void advanceHold() noexcept;
    void applyBypassFade(float* y, int length) const noexcept;
    void processChannelSegment(ChannelState& ch, const float* x, float* y, int length) noexcept;
    void takeSizeChange() noexcept;
    void adoptFrameSize() noexcept;
    void switchFrameSize(const FrameGeometry& frame) noexcept;
    // The live frames' layout, and the curve shaping and analyser made for it.
    void takeLayout(const FrameGeometry& frame) noexcept;
    void startSizeChange(const FrameGeometry& frame) noexcept;
    void advanceSizeChange(int length) noexcept;
    void mixOutgoing(float* y, int length) const noexcept;
    void clearOldRecords(int length) noexcept;
    int segmentLength() const noexcept;
};

// A record's signal history and frame state back to silence, in `frame`'s layout, except
// the input rings and the delay lines, which the caller clears or fills.
void clearFrames(ChannelState& channel, const FrameGeometry& frame, double sampleRate) noexcept;

// One STFT frame of one channel: analyse the last 2048 inputs, run the mode, resynthesise
// into the output ring. Render thread.
void processFrame(ZerinExtensionDSPKernel& kernel, ChannelState& channel) noexcept;

// What the mode reads while the freeze parameter holds or fades: the held spectrum, taken at
// the capture frame and turned on each frame after, or its equal-power blend with the live
// one. Returns the live spectrum while nothing is held. Render thread.
struct ModeInput {
    const float* mag;
    const float* phase;
};
ModeInput holdInput(ZerinExtensionDSPKernel& kernel, ChannelState& channel, const float* mag,
                    const float* phase) noexcept;

// What a delay frame reads besides its channel's record.
struct DelayInputs {
    FrameParams frame;         // feedback, LFO depth, sensitivity
    float lfoPhase;            // radians, at this frame's sample
    const float* binDelayHops; // 1025 delays in hops, from the curves
    // 1025 shares of the Feedback knob, 0..1, from the feedback curves; null when every bin
    // keeps all of it.
    const float* feedbackWeights;
    // What this side's delays are multiplied by: below 1 on the left and above on the right
    // with stereo spread.
    float delayFactor = 1.0f;
    // The magnitudes fed back into the line: null for the channel's own last output; with
    // ping-pong, the other side's (or a blend on the way there).
    const float* fedMag = nullptr;
};
// The kernel's inputs for this frame of `channel` (live, or fading out at an old size).
DelayInputs delayInputs(const ZerinExtensionDSPKernel& kernel,
                        const ChannelState& channel) noexcept;

// What a scatter frame reads and uses besides its channel's record.
struct ScatterInputs {
    DelayInputs delay;     // scatter moves magnitudes the delay stage has delayed
    std::uint32_t* random; // the kernel's xorshift state: channels draw from it in turn
    float* delayedMag;     // 1025 floats of scratch
};

// The modes, each writing all 1025 output magnitudes and phases. Render thread.
void processDelay(const DelayInputs& in, ChannelState& channel, const float* mag,
                  const float* phase, float* outMag, float* outPhase) noexcept;
// `smooth`: the held phases turn at the frequencies measured at the capture (freezeStyle).
void processFreeze(ChannelState& channel, float sensitivity, bool smooth, const float* mag,
                   const float* phase, float* outMag, float* outPhase) noexcept;
// Each bin's turn per hop from the capture frame's phases and the frame's before it; transient
// bins (with Source up) keep the classic turn.
void measureFrozenAdvance(ChannelState& channel, float sensitivity, const float* phase) noexcept;
// The same into `advance`, for the spectrum the freeze parameter holds.
void measureAdvance(const ChannelState& channel, float sensitivity, const float* phase,
                    float* advance) noexcept;
void advanceSmoothPhases(float* accum, const float* advance, int count) noexcept;
void processScatter(const ScatterInputs& in, ChannelState& channel, const float* mag,
                    const float* phase, float* outMag, float* outPhase) noexcept;

// `swaps` random swaps in map[0..n), each between an entry and one at most `range` away,
// drawn from the xorshift state `random`.
void shuffleScatterMap(std::uint32_t& random, std::int32_t* map, int n, int swaps,
                       int range) noexcept;

// Advances a frozen bin's running phase by one hop and wraps it into [-pi, pi], with the
// same floats as subtracting (then adding) 2 pi one step at a time.
void advanceFrozenPhases(float* accum, int count) noexcept;

// The share of bin k's input that Source keeps out of `mode` at sensitivity `sens` (above 0)
// for a bin rated `rating`: what a transient skips of the delay (the delay stage keeps a tenth
// of a full transient's delay), or plays live through a freeze.
inline float sparedShare(SpectralMode mode, float sens, float rating) noexcept {
    const float untonal = sens * (1.0f - rating);
    return mode == SpectralMode::freeze ? untonal : 0.9f * untonal;
}

// Rates every bin between 0 (transient) and 1 (tonal) from this frame's rise in magnitude.
void updateClassification(ChannelState& channel, const float* mag) noexcept;

} // namespace zerin
