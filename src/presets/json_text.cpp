#include "presets/json_text.h"

namespace zerin::json_text {

std::optional<std::string> dump(const nlohmann::ordered_json& json, std::string& error) {
    try {
        return json.dump();
    } catch (const nlohmann::json::exception& e) {
        error = jsonErrorMessage(e.what());
        return std::nullopt;
    }
}

} // namespace zerin::json_text
