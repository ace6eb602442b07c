#pragma once

// Small pieces every POSIX file routine here needs: a descriptor closed on scope exit, a
// file's folder, and a failure named the way Zerin's messages name it.

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace zerin {

// A file descriptor closed on scope exit, so every early return releases it.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    // The close of a written file can report a deferred write error, so it is checked.
    int release() {
        const int result = ::close(fd);
        fd = -1;
        return result;
    }
};

// The folder `file` lies in; "." for a bare name.
inline std::filesystem::path directoryOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// "WHAT FILE: the system's reason", e.g. "cannot read /x/y.json: Permission denied".
inline std::string describe(std::string_view what, const std::filesystem::path& file, int error) {
    return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

} // namespace zerin
