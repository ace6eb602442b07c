#pragma once

// A file descriptor closed on scope exit, so every early return releases it.

#include <unistd.h>

namespace zerin {

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

} // namespace zerin
