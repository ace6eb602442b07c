#include "presets/json_text.h"

namespace zerin::json_text {
namespace {

// Counts brackets outside strings; whether the text is JSON at all is the parser's business.
bool nestsWithin(std::string_view text, int maxDepth) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// nlohmann's messages open with "[json.exception.parse_error.101] ": users need the rest.
std::string withoutExceptionTag(const char* message) {
    const std::string_view text(message);
    const auto tagEnd = text.starts_with('[') ? text.find("] ") : std::string_view::npos;
    return std::string(tagEnd == std::string_view::npos ? text : text.substr(tagEnd + 2));
}

} // namespace

Parsed parse(std::string_view text) {
    if (text.size() > kMaxBytes) return {std::nullopt, "larger than 16 MiB"};
    if (!nestsWithin(text, kMaxDepth)) return {std::nullopt, "nested too deeply"};
    try {
        return {nlohmann::ordered_json::parse(text), {}};
    } catch (const nlohmann::json::exception& e) {
        return {std::nullopt, "not valid JSON: " + withoutExceptionTag(e.what())};
    }
}

std::optional<std::string> dump(const nlohmann::ordered_json& json, std::string& error) {
    try {
        return json.dump();
    } catch (const nlohmann::json::exception& e) {
        error = withoutExceptionTag(e.what());
        return std::nullopt;
    }
}

} // namespace zerin::json_text
