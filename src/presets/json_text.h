#pragma once

// JSON for the preset files: reading goes through the bounded parser (below), writing
// through `dump`, which turns an invalid string into an error instead of an exception.
// Private to src/presets: it pulls in the whole of nlohmann/json.hpp.

#include "platform/json/bounded_json.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zerin::json_text {

// Compact text; nullopt (with the reason in `error`) when a string is not valid UTF-8.
std::optional<std::string> dump(const nlohmann::ordered_json& json, std::string& error);

} // namespace zerin::json_text
