#pragma once

// Reading JSON that comes from outside (state blobs from project files, state, curve and
// automation files, the preference store): size and nesting are bounded before anything is
// built, so a damaged or hostile document costs an error message, never a crash or
// unbounded memory. Our own documents nest five deep.

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zerin {

inline constexpr std::size_t kMaxJsonBytes = 16u << 20;
inline constexpr int kMaxJsonDepth = 64;

// The document, or nothing with `error` saying what is wrong. The ordered form keeps the
// keys in the order written, for documents we write back.
std::optional<nlohmann::json> parseUntrustedJson(std::string_view text, std::string* error);
std::optional<nlohmann::ordered_json> parseUntrustedOrderedJson(std::string_view text,
                                                                std::string* error);
// nlohmann's message without its "[json.exception.parse_error.101] " tag.
std::string jsonErrorMessage(const char* what);
// The same for a file; the error names the file.
std::optional<nlohmann::json> readJsonFile(const std::string& path, std::string* error);

} // namespace zerin
