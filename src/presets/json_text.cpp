#include "presets/json_text.h"

namespace zerin::json_text {

Parsed parse(std::string_view text) {
    Parsed parsed;
    parsed.value = parseUntrustedOrderedJson(text, &parsed.error);
    return parsed;
}

std::optional<std::string> dump(const nlohmann::ordered_json& json, std::string& error) {
    try {
        return json.dump();
    } catch (const nlohmann::json::exception& e) {
        error = jsonErrorMessage(e.what());
        return std::nullopt;
    }
}

} // namespace zerin::json_text
