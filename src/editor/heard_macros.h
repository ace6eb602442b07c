#pragma once

// What the curve macros make of the drawn curves: the curve of one kind as the audio hears it
// after the A/B morph, the scale, the shift along frequency and the snapping of a synced
// delay, worked out the kernel's way so that the line the canvas draws for it is what plays.

#include "model/curve_point.h"

#include <span>
#include <vector>

namespace zerin {

struct CurveMacros {
    float morph = 0.0f;                 // 0 slot A .. 1 slot B
    float scale = 1.0f;                 // of every delay
    float shift = 0.0f;                 // semitones, up the frequency axis
    double syncTempo = 0.0;             // BPM delays snap to notes at; 0 when not synced
    float longestMs = kMaxCurveDelayMs; // the delay range's: no delay is heard longer
    float spread = 0.0f;                // 0..1: a stereo unit's left delays shorter, right longer

    friend bool operator==(const CurveMacros&, const CurveMacros&) = default;
};

// The frequencies the canvas draws a heard curve at: evenly spaced in log-frequency from the
// axis's lowest to its highest, so that point i lies at the fraction i / (count - 1) across.
inline constexpr int kHeardLinePoints = 160;
std::span<const float> heardLineFrequencies();

// Whether `drawn`, the curve of `kind` drawn in `slot`, is heard otherwise than drawn: morph
// away from the slot, a shift, and for delays a scale, snapping or a point beyond the range.
bool heardDiffersFromDrawn(const CurveMacros& macros, CurveSlot slot, CurveKind kind,
                           const ControlCurve& drawn);

// The heard value of `kind` at each of `freqs` (Hz) into `out` (resized): ms for delays, at
// most the longest delay; % for feedback.
void heardValues(const CurveSetPoints& curves, CurveKind kind, const CurveMacros& macros,
                 std::span<const float> freqs, std::vector<float>& out);

// The two sides of a stereo unit under a spread: the left hears each delay shorter by half the
// spread, the right longer by as much, as far as the delay history reaches (kLongestDelayMs).
enum class StereoSide { left, right };
float sideDelayMs(float heardMs, float spread, StereoSide side);

// The heard delays at `freqs` as `side` hears them under the macros' spread, into `out`.
void heardSideValues(const CurveSetPoints& curves, const CurveMacros& macros, StereoSide side,
                     std::span<const float> freqs, std::vector<float>& out);

} // namespace zerin
