#include "platform/files/kept_aside.h"

#include "platform/files/file_basics.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace zerin {
namespace {

namespace fs = std::filesystem;

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Makes the directory entries we just created or renamed survive a power cut.
void syncDirectory(const fs::path& directory) {
    Fd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0) ::fsync(dir.fd);
}

std::string utcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

// Fallback for file systems without hard links. O_EXCL: never overwrites another copy.
bool copyExclusive(const fs::path& from, const fs::path& to, int& error) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) return error = errno, false;
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.fd < 0) return error = errno, false;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (n > 0 && !writeAll(out.fd, buffer, static_cast<std::size_t>(n)))) {
            error = errno;
            ::unlink(to.c_str());
            return false;
        }
        if (n == 0) break;
    }
    if (::fsync(out.fd) != 0 || out.release() != 0) {
        error = errno;
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

} // namespace

std::optional<fs::path> keepAside(const fs::path& file, std::string_view why, std::string& error) {
    const std::string base = file.stem().string() + "." + std::string(why) + "-" + utcStamp();
    const std::string extension = file.extension().string();
    for (int n = 1; n <= 100; ++n) {
        std::string name = base;
        if (n > 1) name.append(1, '-').append(std::to_string(n));
        const fs::path copy = directoryOf(file) / name.append(extension);
        // A hard link keeps the old content under the new name at no cost, whatever its
        // size; the next atomic write then only moves the original name away from it.
        if (::link(file.c_str(), copy.c_str()) == 0) {
            syncDirectory(directoryOf(file));
            return copy;
        }
        if (errno == EEXIST) continue;
        int copyError = 0;
        if (copyExclusive(file, copy, copyError)) {
            syncDirectory(directoryOf(file));
            return copy;
        }
        if (copyError == EEXIST) continue;
        error = describe("cannot keep a copy of", file, copyError);
        return std::nullopt;
    }
    error = "cannot keep a copy of " + file.string() + ": too many copies with this time stamp";
    return std::nullopt;
}

} // namespace zerin
