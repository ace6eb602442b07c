#pragma once

// Text <-> JSON for data we did not write ourselves. Private to src/presets: it pulls in the
// whole of nlohmann/json.hpp.

#include "platform/json/bounded_json.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zerin::json_text {

// Larger input is refused unread: a damaged or hostile file must not make us allocate
// without bound. Our own files stay far below this.
inline constexpr std::size_t kMaxBytes = kMaxJsonBytes;

struct Parsed {
    std::optional<nlohmann::ordered_json> value;
    std::string error; // why value is empty
};

Parsed parse(std::string_view text);

// Compact text; nullopt (with the reason in `error`) when a string is not valid UTF-8.
std::optional<std::string> dump(const nlohmann::ordered_json& json, std::string& error);

} // namespace zerin::json_text
