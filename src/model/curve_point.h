#pragma once

#include "dsp/curve.h"
#include "model/uuid.h"

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <optional>
#include <span>
#include <vector>

namespace zerin {

// A point of a curve the user draws: frequency in Hz, and a value in the curve's unit (ms for
// a delay curve, % for a feedback curve). Identified by `id` (a dragged point is found by id,
// never by index); equal when all three fields are.
struct CurveControlPoint {
    Uuid id = Uuid::random();
    float freq = 0.0f;
    float value = 0.0f;

    friend bool operator==(const CurveControlPoint&, const CurveControlPoint&) = default;
};

using ControlCurve = std::vector<CurveControlPoint>;

// The four curves of a set as the editor and presets keep them, by slot and kind, each in
// stored order.
struct CurveSetPoints {
    // std::array: the copies the compiler writes for a C array of vectors name their loop
    // counters with reserved identifiers.
    std::array<std::array<ControlCurve, kCurveKindCount>, kCurveSlotCount> curves;

    ControlCurve& at(CurveSlot slot, CurveKind kind) {
        return curves[static_cast<int>(slot)][static_cast<int>(kind)];
    }
    const ControlCurve& at(CurveSlot slot, CurveKind kind) const {
        return curves[static_cast<int>(slot)][static_cast<int>(kind)];
    }
    friend bool operator==(const CurveSetPoints&, const CurveSetPoints&) = default;
};

// A copy of the curve ordered by ascending frequency; points of equal frequency keep their
// order.
ControlCurve sortedByFrequency(ControlCurve points);
// The same order, sorted in place (no allocation beyond the sort's own).
void sortByFrequency(ControlCurve& points);

// The one conversion between what the editor draws and what the unit holds. The unit is handed
// a curve's values in ascending frequency (points of equal frequency in the order drawn), as the
// kernel keeps them; a curve the unit holds becomes control points under new ids.
CurvePoints curvePointsOf(const ControlCurve& points);
ControlCurve controlPointsOf(std::span<const CurvePoint> points);

// The set of an earlier Zerin's one delay curve: both slots that curve, with flat feedback. Ids
// need only tell a curve's own points apart: slot B's points share slot A's ids, and the flat
// curves' one point has a fixed id.
CurveSetPoints setOfDelayCurve(ControlCurve delay);

// JSON form: {"id": "UUID", "freq": number, KIND: number}, KIND "delay" or "feedback".
// Decoding needs all three keys with the right types and a valid id; other keys are ignored;
// a feedback value is limited to 0..100 %. Key order is kept (ordered_json), so stored files
// read as they were written: id, freq, value.
nlohmann::ordered_json toJson(const CurveControlPoint& point, CurveKind kind = CurveKind::delay);
std::optional<CurveControlPoint> curvePointFromJson(const nlohmann::ordered_json& json,
                                                    CurveKind kind = CurveKind::delay);

// A float as the JSON number with the fewest digits that reads back to the same float, so
// stored curves read "0.1" rather than "0.10000000149011612".
double jsonNumber(float value);
// A JSON number as a float, if it is a number that fits one.
std::optional<float> floatFromJson(const nlohmann::ordered_json& json);

} // namespace zerin
