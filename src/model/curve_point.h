#pragma once

#include "model/uuid.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>

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

// JSON form: {"id": "UUID", "freq": number, "delay": number}. Decoding needs all three keys
// with the right types and a valid id; other keys are ignored.
// Key order is kept (ordered_json), so stored files read as they were written: id, freq, delay.
nlohmann::ordered_json toJson(const CurveControlPoint& point);
std::optional<CurveControlPoint> curvePointFromJson(const nlohmann::ordered_json& json);

// A float as the JSON number with the fewest digits that reads back to the same float, so
// stored curves read "0.1" rather than "0.10000000149011612".
double jsonNumber(float value);
// A JSON number as a float, if it is a number that fits one.
std::optional<float> floatFromJson(const nlohmann::ordered_json& json);

} // namespace zerin
