#include "editor/frequency_view.h"

#include <algorithm>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

// The axis in octaves (log2 Hz), where the view's arithmetic is done.
const double kAxisLow = std::log2(static_cast<double>(C::minFreq));
const double kAxisHigh = std::log2(static_cast<double>(C::maxFreq));
// Rounding in the conversions to and from octaves stays far below this.
constexpr double kSnap = 1e-6;

// [low, high] in octaves, inside the axis, as Hz; an end on the axis's end is that end.
FrequencyView fromOctaves(double low, double high) {
    const double width = high - low;
    if (low < kAxisLow) {
        low = kAxisLow;
        high = kAxisLow + width;
    }
    if (high > kAxisHigh) {
        high = kAxisHigh;
        low = std::max(kAxisHigh - width, kAxisLow);
    }
    FrequencyView view;
    view.lowHz = low <= kAxisLow + kSnap ? C::minFreq : static_cast<float>(std::exp2(low));
    view.highHz = high >= kAxisHigh - kSnap ? C::maxFreq : static_cast<float>(std::exp2(high));
    return view;
}

bool isRange(const FrequencyView& view) {
    return std::isfinite(view.lowHz) && std::isfinite(view.highHz) && view.lowHz > 0.0f &&
           view.highHz > view.lowHz;
}

} // namespace

FrequencyView limitedFrequencyView(FrequencyView view) {
    if (!isRange(view)) return {};
    double low = std::log2(static_cast<double>(view.lowHz));
    double high = std::log2(static_cast<double>(view.highHz));
    const double width = std::clamp(high - low, FrequencyView::kMinOctaves, kAxisHigh - kAxisLow);
    const double middle = (low + high) / 2.0;
    if (high - low != width) {
        low = middle - width / 2.0;
        high = middle + width / 2.0;
    }
    return fromOctaves(low, high);
}

FrequencyView zoomedFrequencyView(FrequencyView view, float anchorHz, double widthFactor) {
    view = limitedFrequencyView(view);
    if (!(widthFactor > 0.0) || !std::isfinite(widthFactor) || !(anchorHz > 0.0f)) return view;
    const double low = std::log2(static_cast<double>(view.lowHz));
    const double high = std::log2(static_cast<double>(view.highHz));
    const double anchor = std::clamp(std::log2(static_cast<double>(anchorHz)), low, high);
    const double share = (anchor - low) / (high - low); // the anchor's place across
    const double width =
        std::clamp((high - low) * widthFactor, FrequencyView::kMinOctaves, kAxisHigh - kAxisLow);
    return fromOctaves(anchor - share * width, anchor + (1.0 - share) * width);
}

FrequencyView pannedFrequencyView(FrequencyView view, double octaves) {
    view = limitedFrequencyView(view);
    if (!std::isfinite(octaves)) return view;
    const double low = std::log2(static_cast<double>(view.lowHz));
    const double high = std::log2(static_cast<double>(view.highHz));
    return fromOctaves(low + octaves, high + octaves);
}

} // namespace zerin
