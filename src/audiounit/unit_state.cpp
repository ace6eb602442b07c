// The full state of the unit: the base's parameters plus the curve under "spectralCurve" and
// the name of the preset it came from under "presetName".

#include "audiounit/zerin_audio_unit.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <string>
#include <string_view>

namespace zerin {

namespace {

std::optional<float> finiteFloat(const nlohmann::json& value) {
    if (!value.is_number()) return std::nullopt;
    const double v = value.get<double>();
    const float f = static_cast<float>(v);
    if (!std::isfinite(v) || !std::isfinite(f)) return std::nullopt;
    return f;
}

} // namespace

std::string savedStateProblem(const nlohmann::json& state) {
    if (!state.is_object()) return "not a saved state (expected a JSON object)";
    const auto version = state.find("formatVersion");
    if (version == state.end()) return "not a saved state (no formatVersion)";
    // Versions count from 1. A parsed whole number above 0 is unsigned, one set in code
    // signed: compare without converting either.
    const bool whole = version->is_number_integer();
    const bool positive =
        whole && (version->is_number_unsigned() || version->get<std::int64_t>() > 0);
    if (!positive) return "not a saved state (formatVersion " + version->dump() + ")";
    if (isNewerStateFormat(state))
        return "written by a newer Zerin (formatVersion " + version->dump() +
               "; this one reads up to " + std::to_string(kFullStateFormatVersion) + ")";
    // Every version so far wrote these; "presetName" came later, so it may be missing.
    const AudioComponentDescription zerin = zerinComponentDescription();
    const std::pair<const char*, std::string> identity[] = {
        {"type", fourCharText(zerin.componentType)},
        {"subtype", fourCharText(zerin.componentSubType)},
        {"manufacturer", fourCharText(zerin.componentManufacturer)}};
    for (const auto& [key, expected] : identity) {
        const auto value = state.find(key);
        if (value == state.end()) return std::string("not a saved state (no ") + key + ")";
        if (!value->is_string() || value->get_ref<const std::string&>() != expected)
            return std::string("not a Zerin state (its ") + key + " is " + value->dump() + ")";
    }
    const auto parameters = state.find("parameters");
    if (parameters == state.end() || !parameters->is_object())
        return "not a saved state (no parameters object)";
    const auto curve = state.find("spectralCurve");
    if (curve == state.end() || !curve->is_array())
        return "not a saved state (no spectralCurve array)";
    const auto name = state.find("presetName");
    if (name != state.end() && !name->is_string())
        return "not a saved state (its presetName is not text)";
    // A key we never write would be lost when the state is written back.
    for (const auto& [key, value] : state.items()) {
        if (key == "formatVersion" || key == "type" || key == "subtype" || key == "manufacturer" ||
            key == "parameters" || key == "spectralCurve" || key == "presetName")
            continue;
        return "not a saved state (it has \"" + key + "\", which Zerin never writes)";
    }
    return {};
}

std::string presetNameFromState(const nlohmann::json& state) {
    if (!state.is_object()) return std::string(kInitPresetName);
    const auto name = state.find("presetName");
    if (name == state.end() || !name->is_string()) return std::string(kInitPresetName);
    // A reference: a huge name in a damaged state costs no copy beyond what is kept.
    return boundedPresetName(name->get_ref<const std::string&>());
}

std::vector<std::pair<float, float>> curveFromState(const nlohmann::json& state) {
    std::vector<std::pair<float, float>> points;
    if (!state.is_object()) return points;
    const auto curve = state.find("spectralCurve");
    if (curve == state.end() || !curve->is_array()) return points;
    for (const nlohmann::json& entry : *curve) {
        if (!entry.is_object()) continue;
        const auto freq = entry.find("freq");
        const auto delay = entry.find("delay");
        if (freq == entry.end() || delay == entry.end()) continue;
        const auto f = finiteFloat(*freq);
        const auto d = finiteFloat(*delay);
        // The kernel takes the decimal logarithm of every frequency.
        if (!f || !d || !(*f > 0.0f)) continue;
        points.emplace_back(*f, *d);
        // Reading stops at what the kernel holds: an untrusted state costs no more than that.
        if (points.size() == kMaxCurvePoints) break;
    }
    return points;
}

nlohmann::json ZerinExtensionAudioUnit::fullState() const {
    nlohmann::json state = AUAudioUnit::fullState();
    nlohmann::json curve = nlohmann::json::array();
    for (const auto& [freq, delay] : getSpectralCurve())
        curve.push_back(nlohmann::json{{"freq", freq}, {"delay", delay}});
    state["spectralCurve"] = std::move(curve);
    state["presetName"] = presetName();
    return state;
}

void ZerinExtensionAudioUnit::setFullState(const nlohmann::json* state) {
    // A later format is left alone whole: neither its parameters nor its curve are taken.
    if (state != nullptr && isNewerStateFormat(*state)) return;
    AUAudioUnit::setFullState(state);
    if (state != nullptr && !state->empty()) {
        const auto points = curveFromState(*state);
        if (!points.empty()) setSpectralCurve(points);
        setPresetName(presetNameFromState(*state));
    }
    mExternalChanges.fetch_add(1, std::memory_order_acq_rel);
}

std::string ZerinExtensionAudioUnit::presetName() const {
    std::lock_guard<std::mutex> lock(mPresetNameMutex);
    return mPresetName;
}

void ZerinExtensionAudioUnit::setPresetName(std::string name) {
    name = boundedPresetName(name);
    std::lock_guard<std::mutex> lock(mPresetNameMutex);
    mPresetName = std::move(name);
}

} // namespace zerin
