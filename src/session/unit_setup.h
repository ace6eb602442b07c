#pragma once

// Setting a unit up as a host does, from the command line's choices: shared by rendering and
// by saving the curve a command ends up with as a user preset.

#include "audiounit/zerin_audio_unit.h"
#include "presets/preset.h"
#include "session/parameter_args.h"

#include <nlohmann/json_fwd.hpp>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zerin::session {

// What --preset NAME selects: a factory preset by number (factory names win), or the curves
// of the user's preset of that name.
struct PresetSelection {
    std::optional<std::size_t> factoryNumber;
    CurveSet userCurves{};
};
std::optional<PresetSelection>
selectPreset(const std::string& name, const std::vector<Preset>& userPresets, std::string* error);

// Installs each curve `choices` gives, leaving the others as they are.
void applyCurves(ZerinExtensionAudioUnit& unit, const CurveChoices& choices);

struct UnitChoices {
    const nlohmann::json* state = nullptr;
    const std::vector<ParameterSetting>* settings = nullptr;
    const std::optional<PresetSelection>* preset = nullptr;
    const CurveChoices* curves = nullptr;
};

// A unit with its parameter tree, then the state, the settings, the preset and the curve
// applied in that order (each later one wins). Null with `error` if it cannot be made.
std::shared_ptr<ZerinExtensionAudioUnit> configuredUnit(const UnitChoices& choices,
                                                        std::string* error);

// Installs what a preset selection holds, as a host would load that preset.
void applyPreset(ZerinExtensionAudioUnit& unit, const PresetSelection& preset,
                 const std::string& name);

// The curves such a unit renders with, as control points under new ids, for a user preset.
CurveSetPoints resultingCurves(const ZerinExtensionAudioUnit& unit);

} // namespace zerin::session
