#include "presets/preset.h"

#include "presets/json_text.h"

namespace zerin {

namespace {

// The key of each curve of the set, by slot and kind.
constexpr const char* kCurveKeys[kCurveSlotCount][kCurveKindCount] = {
    {"points", "feedbackPoints"}, {"pointsB", "feedbackPointsB"}};

nlohmann::ordered_json curveToJson(const ControlCurve& curve, CurveKind kind) {
    nlohmann::ordered_json points = nlohmann::ordered_json::array();
    for (const CurveControlPoint& point : curve)
        points.push_back(toJson(point, kind));
    return points;
}

std::optional<ControlCurve> curveFromJson(const nlohmann::ordered_json& json, CurveKind kind) {
    if (!json.is_array()) return std::nullopt;
    ControlCurve curve;
    curve.reserve(json.size());
    for (const auto& element : json) {
        auto point = curvePointFromJson(element, kind);
        if (!point) return std::nullopt;
        curve.push_back(*point);
    }
    return curve;
}

} // namespace

Preset presetOfDelayCurve(std::string name, ControlCurve points, bool isFactory) {
    return {Uuid::random(), std::move(name), setOfDelayCurve(std::move(points)), isFactory};
}

nlohmann::ordered_json toJson(const Preset& preset) {
    nlohmann::ordered_json json;
    json["id"] = preset.id.text();
    json["name"] = preset.name;
    json["points"] = curveToJson(preset.points(), CurveKind::delay);
    json["isFactory"] = preset.isFactory;
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k)
            if (s != 0 || k != 0)
                json[kCurveKeys[s][k]] =
                    curveToJson(preset.curves.curves[s][k], static_cast<CurveKind>(k));
    return json;
}

std::optional<Preset> presetFromJson(const nlohmann::ordered_json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto id = json.find("id");
    const auto name = json.find("name");
    const auto points = json.find("points");
    const auto isFactory = json.find("isFactory");
    if (id == json.end() || name == json.end() || points == json.end() || isFactory == json.end())
        return std::nullopt;
    if (!id->is_string() || !name->is_string() || !isFactory->is_boolean()) return std::nullopt;
    const auto uuid = Uuid::parse(id->get_ref<const std::string&>());
    auto delay = curveFromJson(*points, CurveKind::delay);
    if (!uuid || !delay) return std::nullopt;
    Preset preset{*uuid, name->get<std::string>(), setOfDelayCurve(std::move(*delay)),
                  isFactory->get<bool>()};
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            const auto stored = json.find(kCurveKeys[s][k]);
            if ((s == 0 && k == 0) || stored == json.end()) continue;
            auto curve = curveFromJson(*stored, static_cast<CurveKind>(k));
            if (!curve) return std::nullopt;
            preset.curves.curves[s][k] = std::move(*curve);
        }
    return preset;
}

nlohmann::ordered_json presetListToJson(std::span<const Preset> presets) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Preset& preset : presets)
        list.push_back(toJson(preset));
    return list;
}

std::optional<std::vector<Preset>> presetListFromJson(const nlohmann::ordered_json& json) {
    if (!json.is_array()) return std::nullopt;
    std::vector<Preset> presets;
    presets.reserve(json.size());
    for (const auto& element : json) {
        auto preset = presetFromJson(element);
        if (!preset) return std::nullopt;
        presets.push_back(std::move(*preset));
    }
    return presets;
}

std::optional<std::string> encodePresetList(std::span<const Preset> presets) {
    std::string error;
    return json_text::dump(presetListToJson(presets), error);
}

std::optional<std::vector<Preset>> decodePresetList(std::string_view text) {
    std::string error;
    const auto parsed = parseUntrustedOrderedJson(text, &error);
    if (!parsed) return std::nullopt;
    return presetListFromJson(*parsed);
}

} // namespace zerin
