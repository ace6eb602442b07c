#pragma once

#include "model/curve_point.h"
#include "model/uuid.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zerin {

// A named curve set. Presets carry no parameter values: loading one changes only the curves.
// Two presets are the same preset when their ids are equal; a preset made in code gets a
// fresh random id unless one is given.
struct Preset {
    Uuid id = Uuid::random();
    std::string name;
    CurveSetPoints curves; // each in stored order, not necessarily sorted
    bool isFactory = false;

    // Slot A's delay curve: the curve the editor draws, and all an earlier Zerin kept.
    const ControlCurve& points() const { return curves.at(CurveSlot::a, CurveKind::delay); }

    friend bool operator==(const Preset&, const Preset&) = default;
};

// A preset of one delay curve, as an earlier Zerin kept them (see setOfDelayCurve).
Preset presetOfDelayCurve(std::string name, ControlCurve points, bool isFactory = false);

// JSON form: {"id": "UUID", "name": text, "points": [point...], "isFactory": bool,
// "feedbackPoints": [...], "pointsB": [...], "feedbackPointsB": [...]}, keys in that order:
// "points" is slot A's delay curve, as an earlier Zerin wrote it. Decoding needs the first
// four keys with these types, a valid id and every point decodable; a preset without the
// later three is an earlier one (setOfDelayCurve); other keys are ignored.
nlohmann::ordered_json toJson(const Preset& preset);
std::optional<Preset> presetFromJson(const nlohmann::ordered_json& json);

// A list of presets is a JSON array of the form above. Decoding is all-or-nothing: one bad
// element fails the whole list (the preference store salvages what it can instead).
nlohmann::ordered_json presetListToJson(std::span<const Preset> presets);
std::optional<std::vector<Preset>> presetListFromJson(const nlohmann::ordered_json& json);

// The list as compact JSON text. Encoding fails (nullopt) when a name is not valid UTF-8;
// decoding fails on anything that is not such a list, including text larger than the
// store's size limit or nested deeper than our formats ever are.
std::optional<std::string> encodePresetList(std::span<const Preset> presets);
std::optional<std::vector<Preset>> decodePresetList(std::string_view text);

} // namespace zerin
