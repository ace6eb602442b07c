#pragma once

// Keeping a file aside before it is written over: what Zerin could not fully use (a damaged
// preference store, a state with parts it could not read) is never lost to a write.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zerin {

// Keeps `file` as it is now under a new name beside it, `why` and the UTC time added to its
// stem (preferences.unreadable-20250314T101500Z.json, with a -2, -3... for copies made in the
// same second), and returns that name; none with `error` naming the file. A hard link where
// the file system offers them, else a synced copy: nothing is ever overwritten.
std::optional<std::filesystem::path> keepAside(const std::filesystem::path& file,
                                               std::string_view why, std::string& error);

} // namespace zerin
