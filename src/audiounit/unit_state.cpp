// The full state of the unit: the base's parameters plus the curve set under "curveSet" (an
// earlier format held one delay curve under "spectralCurve") and the name of the preset it
// came from under "presetName", and where the editor stood under "editorView".

#include "audiounit/zerin_audio_unit.h"

#include <nlohmann/json.hpp>

#include <algorithm>
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

// The usable points of a JSON array of {"freq": Hz, KEY: value}, KEY the kind's name: both
// keys present, a finite frequency above 0 (the kernel takes its logarithm) and a finite
// value, in order, at most what the kernel holds, so an untrusted state costs no more than
// that. Feedback values are limited to their range; delays are left as earlier builds left
// them, so that what they saved sounds the same. `unusable` counts the entries left out.
std::vector<CurvePoint> pointsFromJson(const nlohmann::json& array, CurveKind kind,
                                       std::size_t& unusable) {
    std::vector<CurvePoint> points;
    unusable = 0;
    if (!array.is_array()) return points;
    const char* key = kCurveKindKeys[static_cast<int>(kind)];
    for (const nlohmann::json& entry : array) {
        if (points.size() == kMaxCurvePoints) {
            unusable = array.size() - kMaxCurvePoints; // the rest are never read
            break;
        }
        std::optional<float> f, v;
        if (entry.is_object()) {
            const auto freq = entry.find("freq");
            const auto value = entry.find(key);
            if (freq != entry.end() && value != entry.end()) {
                f = finiteFloat(*freq);
                v = finiteFloat(*value);
            }
        }
        if (!f || !v || !(*f > 0.0f)) {
            ++unusable;
            continue;
        }
        if (kind == CurveKind::feedback) *v = std::clamp(*v, 0.0f, curveMaxValue(kind));
        points.push_back({*f, *v});
    }
    return points;
}

nlohmann::json pointsToJson(const CurveData& curve, CurveKind kind) {
    nlohmann::json points = nlohmann::json::array();
    const char* key = kCurveKindKeys[static_cast<int>(kind)];
    for (int i = 0; i < curve.count; ++i)
        points.push_back(
            nlohmann::json{{"freq", curve.points[i].freq}, {key, curve.points[i].value}});
    return points;
}

// The version of a state that savedStateProblem has let through.
std::int64_t formatVersionOf(const nlohmann::json& state) {
    const nlohmann::json& version = state.at("formatVersion");
    return version.is_number_unsigned() ? static_cast<std::int64_t>(version.get<std::uint64_t>())
                                        : version.get<std::int64_t>();
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
    // The curves: one delay curve up to version 1, the set after it. A damaged set is no
    // reason to refuse the rest; reading it says what it drops.
    const bool oneCurve = formatVersionOf(state) < 2;
    const char* curves = oneCurve ? "spectralCurve" : "curveSet";
    if (oneCurve) {
        const auto curve = state.find("spectralCurve");
        if (curve == state.end() || !curve->is_array())
            return "not a saved state (no spectralCurve array)";
    } else if (!state.contains("curveSet")) {
        return "not a saved state (no curveSet)";
    }
    const auto name = state.find("presetName");
    if (name != state.end() && !name->is_string())
        return "not a saved state (its presetName is not text)";
    // A key we never write would be lost when the state is written back.
    for (const auto& [key, value] : state.items()) {
        if (key == "formatVersion" || key == "type" || key == "subtype" || key == "manufacturer" ||
            key == "parameters" || key == curves || key == "presetName" || key == "editorView")
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

EditorView editorViewFromState(const nlohmann::json& state) {
    if (!state.is_object()) return {};
    const auto view = state.find("editorView");
    if (view == state.end() || !view->is_object()) return {};
    // Each entry on its own: a damaged one costs only itself.
    const auto index = [&](const char* key, const char* const* names, int count) {
        const auto entry = view->find(key);
        if (entry != view->end() && entry->is_string())
            for (int i = 0; i < count; ++i)
                if (entry->get_ref<const std::string&>() == names[i]) return static_cast<float>(i);
        return 0.0f;
    };
    const auto hz = [&](const char* key) {
        const auto entry = view->find(key);
        return entry != view->end() ? finiteFloat(*entry).value_or(std::nanf("")) : std::nanf("");
    };
    return editorViewFrom(index("slot", kCurveSlotKeys, kCurveSlotCount),
                          index("kind", kCurveKindKeys, kCurveKindCount), hz("lowHz"),
                          hz("highHz"));
}

StateCurves curveSetFromState(const nlohmann::json& state, CurveSet& set) {
    StateCurves read;
    if (!state.is_object()) return read;
    // Notes what became of one curve of the state, named as the user finds it in the file.
    const auto take = [&](const nlohmann::json* array, CurveKind kind, std::string name,
                          const auto& install) {
        std::size_t unusable = 0;
        const std::vector<CurvePoint> points =
            array ? pointsFromJson(*array, kind, unusable) : std::vector<CurvePoint>{};
        if (points.empty()) {
            read.dropped.push_back(std::move(name));
            return;
        }
        if (unusable > 0)
            read.partial.push_back(name + " (" + std::to_string(unusable) + " of " +
                                   std::to_string(array->size()) + " points)");
        install(points);
        read.found = true;
    };
    const auto all = state.find("curveSet");
    if (all == state.end()) {
        const auto curve = state.find("spectralCurve");
        if (curve == state.end()) return read;
        take(&*curve, CurveKind::delay, "spectralCurve", [&](const std::vector<CurvePoint>& p) {
            fillSetFromDelayCurve(set, p.data(), static_cast<int>(p.size()));
        });
        return read;
    }
    if (!all->is_object()) {
        read.dropped.emplace_back("curveSet");
        return read;
    }
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            const auto slot = all->find(kCurveSlotKeys[s]);
            const nlohmann::json* array = nullptr;
            if (slot != all->end() && slot->is_object())
                if (const auto curve = slot->find(kCurveKindKeys[k]); curve != slot->end())
                    array = &*curve;
            take(array, static_cast<CurveKind>(k),
                 std::string("curveSet.") + kCurveSlotKeys[s] + "." + kCurveKindKeys[k],
                 [&](const std::vector<CurvePoint>& p) {
                     fillCurve(set.curves[s][k], p.data(), static_cast<int>(p.size()));
                 });
        }
    return read;
}

nlohmann::json ZerinExtensionAudioUnit::fullState() const {
    nlohmann::json state = AUAudioUnit::fullState();
    const CurveSet set = curveSet();
    nlohmann::json curves = nlohmann::json::object();
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k)
            curves[kCurveSlotKeys[s]][kCurveKindKeys[k]] =
                pointsToJson(set.curves[s][k], static_cast<CurveKind>(k));
    state["curveSet"] = std::move(curves);
    state["presetName"] = presetName();
    const EditorView view = editorView();
    state["editorView"] = {{"slot", kCurveSlotKeys[static_cast<int>(view.slot)]},
                           {"kind", kCurveKindKeys[static_cast<int>(view.kind)]},
                           {"lowHz", view.lowHz},
                           {"highHz", view.highHz}};
    return state;
}

void ZerinExtensionAudioUnit::setFullState(const nlohmann::json* state) {
    // A later format is left alone whole: neither its parameters nor its curve are taken.
    if (state != nullptr && isNewerStateFormat(*state)) return;
    AUAudioUnit::setFullState(state);
    if (state != nullptr && !state->empty()) {
        CurveSet set = curveSet();
        if (curveSetFromState(*state, set).found) setCurveSet(set);
        setPresetName(presetNameFromState(*state));
        setEditorView(editorViewFromState(*state));
    }
    mExternalChanges.fetch_add(1, std::memory_order_acq_rel);
}

std::string ZerinExtensionAudioUnit::presetName() const {
    std::lock_guard<std::mutex> lock(mPresetNameMutex);
    return mPresetName;
}

EditorView ZerinExtensionAudioUnit::editorView() const {
    std::lock_guard<std::mutex> lock(mPresetNameMutex);
    return mEditorView;
}

void ZerinExtensionAudioUnit::setEditorView(const EditorView& view) {
    std::lock_guard<std::mutex> lock(mPresetNameMutex);
    mEditorView = editorViewFrom(static_cast<float>(view.slot), static_cast<float>(view.kind),
                                 view.lowHz, view.highHz);
}

void ZerinExtensionAudioUnit::setPresetName(std::string name) {
    name = boundedPresetName(name);
    std::lock_guard<std::mutex> lock(mPresetNameMutex);
    mPresetName = std::move(name);
}

} // namespace zerin
