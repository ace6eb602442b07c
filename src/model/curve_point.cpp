#include "model/curve_point.h"

#include <nlohmann/json.hpp>

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

nlohmann::ordered_json toJson(const CurveControlPoint& point) {
    nlohmann::ordered_json j;
    j["id"] = point.id.text();
    j["freq"] = jsonNumber(point.freq);
    j["delay"] = jsonNumber(point.value);
    return j;
}

std::optional<CurveControlPoint> curvePointFromJson(const nlohmann::ordered_json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto id = json.find("id");
    const auto freq = json.find("freq");
    const auto delay = json.find("delay");
    if (id == json.end() || freq == json.end() || delay == json.end()) return std::nullopt;
    if (!id->is_string()) return std::nullopt;
    const auto uuid = Uuid::parse(id->get_ref<const std::string&>());
    const auto f = floatFromJson(*freq);
    const auto d = floatFromJson(*delay);
    if (!uuid || !f || !d) return std::nullopt;
    return CurveControlPoint{*uuid, *f, *d};
}

} // namespace zerin
