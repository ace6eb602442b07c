#pragma once

#include "platform/au/au_types.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zerin::render {

struct AutomationEvent {
    std::int64_t sample; // on the input's timeline
    AUParameterAddress address;
    float value;
};

// A JSON array of {"time": seconds | "sample": n, "id": ID, "value": v}, in sample order
// (entries at the same sample keep their order in the file). Errors name the file and the
// entry.
std::optional<std::vector<AutomationEvent>> readAutomation(const std::string& path,
                                                           double sampleRate, std::string* error);
// The same for a document already read; errors start with `where`.
std::optional<std::vector<AutomationEvent>> parseAutomation(const nlohmann::json& doc,
                                                            double sampleRate,
                                                            const std::string& where,
                                                            std::string* error);

} // namespace zerin::render
