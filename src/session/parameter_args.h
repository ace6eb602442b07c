#pragma once

// Parameters and curves as a person types them: "dryWet=100", "mode=freeze",
// "20:200,1000:400".

#include "audiounit/parameters.h"
#include "dsp/curve.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zerin::session {

struct ParameterSetting {
    const ParameterSpec* spec;
    float value;
};

// "ID=VALUE" with VALUE in the parameter's host units (a number; a value name such as
// "freeze" for the mode; on/off for a switch). Out-of-range values and unknown identifiers
// are errors that say what is valid.
std::optional<ParameterSetting> parseSetting(std::string_view text, std::string* error);
std::optional<float> checkValue(const ParameterSpec& spec, double value, std::string* error);
const ParameterSpec* findParameter(std::string_view identifier, std::string* error);

// "HZ:MS,HZ:MS,..." (a delay curve) or "HZ:PCT,..." (a feedback curve) in any order, at most
// 32 points; returned sorted by frequency (points of equal frequency keep their order).
// Frequencies must be positive, delays finite, feedback within 0..100 %.
std::optional<CurvePoints> parseCurve(std::string_view text, std::string* error,
                                      CurveKind kind = CurveKind::delay);

// The curves a command line gives, by slot and kind.
struct CurveChoices {
    std::optional<CurvePoints> curves[kCurveSlotCount][kCurveKindCount];
};

// One line per parameter: id, name, range, default, unit.
std::string parameterTable();

} // namespace zerin::session
