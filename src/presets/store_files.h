#pragma once

// POSIX file handling under the preference store: bounded reads, the advisory lock,
// atomic replacement. Private to src/presets.

#include "presets/store_result.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace zerin::store_files {

enum class ReadStatus { missing, read, tooLarge, failed };

struct FileContents {
    ReadStatus status = ReadStatus::missing;
    std::string bytes; // when read
    std::string error; // when failed: names the file
};

// Reads a regular file of at most maxBytes; never allocates more than that.
FileContents readBounded(const std::filesystem::path& file, std::size_t maxBytes);

// An exclusive flock on `lockFile`, held until destruction. Blocks while another writer
// (thread or process) holds it; the kernel drops it if the holder dies.
class Lock {
public:
    static std::optional<Lock> acquire(const std::filesystem::path& lockFile, std::string& error);
    Lock(Lock&& other) noexcept : mFd(other.mFd) { other.mFd = -1; }
    Lock& operator=(Lock&&) = delete;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    ~Lock();

private:
    explicit Lock(int fd) : mFd(fd) {}
    int mFd = -1;
};

// Writes a temporary file beside `file`, syncs it and renames it over `file`, so a crash
// leaves either the old or the new content. Keeps an existing file's permissions.
StoreResult replaceAtomically(const std::filesystem::path& file, const std::string& bytes);

// Temporaries of writers that died before their rename. Only call with the lock held: then
// no temporary can belong to a live writer.
void removeStaleTemporaries(const std::filesystem::path& file);

} // namespace zerin::store_files
