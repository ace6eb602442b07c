#include "presets/preset.h"

#include "presets/json_text.h"

namespace zerin {

nlohmann::ordered_json toJson(const Preset& preset) {
    nlohmann::ordered_json points = nlohmann::ordered_json::array();
    for (const CurveControlPoint& point : preset.points)
        points.push_back(toJson(point));
    nlohmann::ordered_json json;
    json["id"] = preset.id.text();
    json["name"] = preset.name;
    json["points"] = std::move(points);
    json["isFactory"] = preset.isFactory;
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
    if (!id->is_string() || !name->is_string() || !points->is_array() || !isFactory->is_boolean())
        return std::nullopt;
    const auto uuid = Uuid::parse(id->get_ref<const std::string&>());
    if (!uuid) return std::nullopt;
    Preset preset{*uuid, name->get<std::string>(), {}, isFactory->get<bool>()};
    preset.points.reserve(points->size());
    for (const auto& element : *points) {
        auto point = curvePointFromJson(element);
        if (!point) return std::nullopt;
        preset.points.push_back(*point);
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
