#pragma once

// Parameters and curves as a person types them: "dryWet=100", "mode=freeze",
// "20:200,1000:400".

#include "audiounit/parameters.h"

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

// "HZ:MS,HZ:MS,..." in any order, at most 32 points; returned sorted by frequency (points
// of equal frequency keep their order). Frequencies must be positive, delays finite.
std::optional<std::vector<std::pair<float, float>>> parseCurve(std::string_view text,
                                                               std::string* error);

// One line per parameter: id, name, range, default, unit.
std::string parameterTable();

} // namespace zerin::session
