#include "editor/heard_macros.h"

#include "dsp/note_values.h"
#include "model/curve_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zerin {

namespace {

CurveData heardData(const ControlCurve& points, CurveKind kind, const CurveMacros& macros) {
    std::vector<CurvePoint> pairs;
    pairs.reserve(points.size());
    for (const CurveControlPoint& p : points)
        pairs.push_back({p.freq, p.value});
    CurveData data{};
    fillCurve(data, pairs.data(), static_cast<int>(pairs.size()));
    if (kind == CurveKind::delay && macros.syncTempo > 0.0)
        snapToNotes(data, macros.syncTempo, macros.longestMs);
    return data;
}

} // namespace

std::span<const float> heardLineFrequencies() {
    static const std::array<float, kHeardLinePoints> freqs = [] {
        namespace C = ZerinCurveConstants;
        std::array<float, kHeardLinePoints> f{};
        for (int i = 0; i < kHeardLinePoints; ++i) {
            const float fraction = static_cast<float>(i) / (kHeardLinePoints - 1);
            f[i] = std::pow(10.0f, C::logMinFreq() + C::logFreqRange() * fraction);
        }
        return f;
    }();
    return freqs;
}

bool heardDiffersFromDrawn(const CurveMacros& macros, CurveSlot slot, CurveKind kind,
                           const ControlCurve& drawn) {
    const float own = slot == CurveSlot::a ? 0.0f : 1.0f;
    if (macros.morph != own || macros.shift != 0.0f) return true;
    if (kind != CurveKind::delay) return false;
    return macros.scale != 1.0f || macros.syncTempo > 0.0 ||
           std::any_of(drawn.begin(), drawn.end(), [&macros](const CurveControlPoint& p) {
               return !(p.value <= macros.longestMs);
           });
}

void heardValues(const CurveSetPoints& curves, CurveKind kind, const CurveMacros& macros,
                 std::span<const float> freqs, std::vector<float>& out) {
    const CurveData a = heardData(curves.at(CurveSlot::a, kind), kind, macros);
    const CurveData b = heardData(curves.at(CurveSlot::b, kind), kind, macros);
    const float ceiling = kind == CurveKind::delay ? macros.longestMs : kMaxCurveFeedbackPercent;
    // Shifted up by s semitones, a frequency hears what the curves hold s semitones below it.
    const float below = std::exp2(-macros.shift / 12.0f);
    const float m = macros.morph;
    out.resize(freqs.size());
    for (std::size_t i = 0; i < freqs.size(); ++i) {
        const float f = std::max(freqs[i] * below, 1.0f);
        const float blend =
            std::fma(m, evaluateCurve(b, f, ceiling), (1.0f - m) * evaluateCurve(a, f, ceiling));
        out[i] =
            kind == CurveKind::delay ? std::min(blend * macros.scale, macros.longestMs) : blend;
    }
}

float sideDelayMs(float heardMs, float spread, StereoSide side) {
    const float half = 0.5f * std::clamp(spread, 0.0f, 1.0f);
    if (side == StereoSide::left) return heardMs * (1.0f - half);
    return std::min(heardMs * (1.0f + half), kLongestDelayMs);
}

void heardSideValues(const CurveSetPoints& curves, const CurveMacros& macros, StereoSide side,
                     std::span<const float> freqs, std::vector<float>& out) {
    heardValues(curves, CurveKind::delay, macros, freqs, out);
    for (float& ms : out)
        ms = sideDelayMs(ms, macros.spread, side);
}

} // namespace zerin
