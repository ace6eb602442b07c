#pragma once

// The stretch of the frequency axis the canvas shows: lowHz at the plot's left edge, highHz at
// its right, log frequency between. The whole axis (20 Hz to 20 kHz) unless the user zoomed.

#include "model/curve_model.h"

#include <cmath>

namespace zerin {

struct FrequencyView {
    float lowHz = ZerinCurveConstants::minFreq;
    float highHz = ZerinCurveConstants::maxFreq;

    // The narrowest view: an octave.
    static constexpr double kMinOctaves = 1.0;

    bool isFull() const {
        return lowHz <= ZerinCurveConstants::minFreq && highHz >= ZerinCurveConstants::maxFreq;
    }
    // log10 of the low end, and the view's width in decades. For the whole axis these are the
    // axis's own numbers, bit for bit (ZerinCurveConstants::logMinFreq and logFreqRange).
    float logLow() const { return std::log10(lowHz); }
    float logRange() const { return std::log10(highHz) - std::log10(lowHz); }
    double octaves() const { return std::log2(static_cast<double>(highHz) / lowHz); }

    friend bool operator==(const FrequencyView&, const FrequencyView&) = default;
};

// `view` within the limits: inside 20 Hz..20 kHz, at least kMinOctaves wide (widened about its
// middle), moved back inside the axis as a whole where it sticks out. A view that is no range
// (NaN, low above high) is the whole axis. Ends on the axis's ends are those ends exactly.
FrequencyView limitedFrequencyView(FrequencyView view);

// `view` zoomed by `widthFactor` (below 1 narrower, zooming in) about `anchorHz`, which stays
// at the same place across the plot unless the limits move the view; then limited.
FrequencyView zoomedFrequencyView(FrequencyView view, float anchorHz, double widthFactor);

// `view` moved up the axis by `octaves` (down for a negative number), as far as the axis goes,
// keeping its width.
FrequencyView pannedFrequencyView(FrequencyView view, double octaves);

} // namespace zerin
