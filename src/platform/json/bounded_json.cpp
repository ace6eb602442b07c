#include "platform/json/bounded_json.h"

#include "platform/files/regular_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace zerin {

namespace {

// The deepest nesting of arrays and objects, counted outside strings. The parser itself is
// iterative, but walking or printing a document recurses, so depth is capped up front.
int nestingDepth(std::string_view text) {
    int depth = 0, deepest = 0;
    bool inString = false, escaped = false;
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
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

template <typename Json>
std::optional<Json> parseBounded(std::string_view text, std::string* error) {
    if (text.size() > kMaxJsonBytes) {
        if (error) *error = "larger than " + std::to_string(kMaxJsonBytes >> 20) + " MiB";
        return std::nullopt;
    }
    if (nestingDepth(text) > kMaxJsonDepth) {
        if (error) *error = "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
        return std::nullopt;
    }
    try {
        return Json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        if (error) *error = "not valid JSON: " + jsonErrorMessage(e.what());
        return std::nullopt;
    }
}

} // namespace

std::string jsonErrorMessage(const char* what) {
    const std::string_view text(what);
    const auto tagEnd = text.starts_with('[') ? text.find("] ") : std::string_view::npos;
    return std::string(tagEnd == std::string_view::npos ? text : text.substr(tagEnd + 2));
}

std::optional<nlohmann::json> parseUntrustedJson(std::string_view text, std::string* error) {
    return parseBounded<nlohmann::json>(text, error);
}

std::optional<nlohmann::ordered_json> parseUntrustedOrderedJson(std::string_view text,
                                                                std::string* error) {
    return parseBounded<nlohmann::ordered_json>(text, error);
}

std::optional<nlohmann::json> readJsonFile(const std::string& path, std::string* error) {
    std::string why;
    const int fd = openRegularFile(path, &why);
    if (fd < 0) {
        if (error) *error = why;
        return std::nullopt;
    }
    std::string text;
    char chunk[65536];
    int failure = 0;
    while (text.size() <= kMaxJsonBytes) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failure = errno;
        if (n <= 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (failure != 0) {
        if (error) *error = path + ": cannot read: " + std::strerror(failure);
        return std::nullopt;
    }
    auto doc = parseUntrustedJson(text, &why);
    if (!doc && error) *error = path + ": " + why;
    return doc;
}

} // namespace zerin
