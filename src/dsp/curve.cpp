#include "dsp/curve.h"

#include "dsp/factory_curves.h"

#include <algorithm>
#include <cmath>

namespace zerin {

void fillCurve(CurveData& data, const CurvePoint* points, int count) noexcept {
    // An insertion sort into at most 32 places. A point goes after every kept point that is
    // not above it, so equal frequencies keep their order; once the places are full a point
    // enters only below the highest kept one, which it then pushes out. A point without a
    // frequency (NaN) has no place in that order and is dropped.
    CurvePoint* kept = data.points;
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const CurvePoint p = points[i];
        if (std::isnan(p.freq)) continue;
        if (n == kMaxCurvePoints) {
            if (!(p.freq < kept[n - 1].freq)) continue;
            --n;
        }
        int at = n;
        while (at > 0 && p.freq < kept[at - 1].freq) {
            kept[at] = kept[at - 1];
            --at;
        }
        kept[at] = p;
        ++n;
    }
    data.count = n;
}

void fillSetFromDelayCurve(CurveSet& set, const CurvePoint* points, int count) noexcept {
    fillCurve(set.at(CurveSlot::a, CurveKind::delay), points, count);
    fillCurve(set.at(CurveSlot::a, CurveKind::feedback), kFlatFeedbackCurve, 1);
    set.curves[1][0] = set.curves[0][0];
    set.curves[1][1] = set.curves[0][1];
}

CurveSet factoryCurveSet(const FactoryCurve& preset) noexcept {
    CurveSet set;
    fillSetFromDelayCurve(set, preset.points.data(), static_cast<int>(preset.points.size()));
    const std::span<const CurvePoint> more[3] = {preset.feedback, preset.pointsB, preset.feedbackB};
    CurveData* into[3] = {&set.at(CurveSlot::a, CurveKind::feedback),
                          &set.at(CurveSlot::b, CurveKind::delay),
                          &set.at(CurveSlot::b, CurveKind::feedback)};
    for (int i = 0; i < 3; ++i)
        if (!more[i].empty()) fillCurve(*into[i], more[i].data(), static_cast<int>(more[i].size()));
    return set;
}

bool sameCurve(const CurveData& a, const CurveData& b) noexcept {
    if (a.count != b.count) return false;
    for (int i = 0; i < a.count; ++i)
        if (!(a.points[i].freq == b.points[i].freq && a.points[i].value == b.points[i].value))
            return false;
    return true;
}

float evaluateCurve(const CurveData& curve, float f, float ceiling) noexcept {
    const CurvePoint* p = curve.points;
    const int n = curve.count;
    if (n < 1) return 0.0f;
    // The ends are flat at the end points' values, no higher than the ceiling either, so that
    // a point beyond the delay range is heard at its end on both sides of it. (A NaN value
    // stays NaN, which the kernel reads as no delay.)
    if (p[0].freq >= f) return p[0].value > ceiling ? ceiling : p[0].value;
    if (p[n - 1].freq <= f) return p[n - 1].value > ceiling ? ceiling : p[n - 1].value;

    const float lf = std::log10(f);
    int i = 0;
    for (int j = 0; j < n - 1; ++j) {
        if (p[j].freq <= f && p[j + 1].freq >= f) {
            i = j;
            break;
        }
    }
    const float y0 = p[std::max(i - 1, 0)].value;
    const float y1 = p[i].value;
    const float y2 = p[i + 1].value;
    const float y3 = p[std::min(i + 2, n - 1)].value;

    const float l0 = std::log10(p[i].freq);
    const float l1 = std::log10(p[i + 1].freq);
    // fmin/fmax take the other operand for a NaN: coincident points give t = 1.
    float t = (lf - l0) / (l1 - l0);
    t = std::fmax(std::fmin(t, 1.0f), 0.0f);

    // Bezier control values from the neighbours' slopes, tension 0.3.
    const float c1 = y1 + ((y2 - y0) * 0.3f) / 3.0f;
    const float c2 = y2 - ((y3 - y1) * 0.3f) / 3.0f;
    const float u = 1.0f - t;
    float a = c1 * (t * (u * (u * 3.0f)));
    a = std::fma(u * (u * u), y1, a);
    a = std::fma(t * (t * (u * 3.0f)), c2, a);
    const float v = std::fma(t * (t * t), y2, a);

    // A NaN fails both tests below and so ends up at the ceiling.
    const float capped = v <= ceiling ? v : ceiling;
    return capped >= 0.0f ? capped : 0.0f;
}

} // namespace zerin
