#include "model/curve_point.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace zerin {

double jsonNumber(float value) {
    if (!std::isfinite(value)) return static_cast<double>(value);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
    *result.ptr = '\0';
    return std::strtod(buffer, nullptr);
}

std::optional<float> floatFromJson(const nlohmann::ordered_json& json) {
    if (!json.is_number()) return std::nullopt;
    const double v = json.get<double>();
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max()) return std::nullopt;
    return static_cast<float>(v);
}

CurveSetPoints setOfDelayCurve(ControlCurve delay) {
    // The same ids every time, so that reading a stored preset twice gives equal presets.
    static const Uuid kFlatId = *Uuid::parse("5a3b6c1e-9f0d-4e7a-8b2c-0f1e2d3c4b5a");
    const ControlCurve flat = {{kFlatId, kFlatFeedbackCurve[0].freq, kFlatFeedbackCurve[0].value}};
    CurveSetPoints set;
    set.at(CurveSlot::b, CurveKind::delay) = delay;
    set.at(CurveSlot::a, CurveKind::delay) = std::move(delay);
    set.at(CurveSlot::a, CurveKind::feedback) = flat;
    set.at(CurveSlot::b, CurveKind::feedback) = flat;
    return set;
}

nlohmann::ordered_json toJson(const CurveControlPoint& point, CurveKind kind) {
    nlohmann::ordered_json j;
    j["id"] = point.id.text();
    j["freq"] = jsonNumber(point.freq);
    j[kCurveKindKeys[static_cast<int>(kind)]] = jsonNumber(point.value);
    return j;
}

std::optional<CurveControlPoint> curvePointFromJson(const nlohmann::ordered_json& json,
                                                    CurveKind kind) {
    if (!json.is_object()) return std::nullopt;
    const auto id = json.find("id");
    const auto freq = json.find("freq");
    const auto value = json.find(kCurveKindKeys[static_cast<int>(kind)]);
    if (id == json.end() || freq == json.end() || value == json.end()) return std::nullopt;
    if (!id->is_string()) return std::nullopt;
    const auto uuid = Uuid::parse(id->get_ref<const std::string&>());
    const auto f = floatFromJson(*freq);
    auto v = floatFromJson(*value);
    if (!uuid || !f || !v) return std::nullopt;
    if (kind == CurveKind::feedback) *v = std::clamp(*v, 0.0f, curveMaxValue(kind));
    return CurveControlPoint{*uuid, *f, *v};
}

ControlCurve sortedByFrequency(ControlCurve points) {
    sortByFrequency(points);
    return points;
}

void sortByFrequency(ControlCurve& points) {
    const auto byFrequency = [](const CurveControlPoint& a, const CurveControlPoint& b) {
        return a.freq < b.freq;
    };
    // Curves the canvas wrote are sorted already: one pass tells.
    if (!std::is_sorted(points.begin(), points.end(), byFrequency))
        std::stable_sort(points.begin(), points.end(), byFrequency);
}

CurvePoints curvePointsOf(const ControlCurve& points) {
    CurvePoints curve;
    curve.reserve(points.size());
    for (const CurveControlPoint& p : sortedByFrequency(points))
        curve.push_back({p.freq, p.value});
    return curve;
}

ControlCurve controlPointsOf(std::span<const CurvePoint> points) {
    ControlCurve control;
    control.reserve(points.size());
    for (const CurvePoint& p : points)
        control.push_back({Uuid::random(), p.freq, p.value});
    return control;
}

} // namespace zerin
