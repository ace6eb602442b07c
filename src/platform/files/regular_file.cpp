#include "platform/files/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zerin {

namespace {

std::string notRegular(const std::string& path, mode_t mode) {
    return path + ": is " + fileKindName(mode) + ", not a regular file";
}

} // namespace

const char* fileKindName(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a link";
    if (S_ISREG(mode)) return "a regular file";
    return "something else";
}

int openRegularFile(const std::string& path, std::string* error) {
    // A look first, so that a device is not even opened; the open itself cannot block, and
    // what was opened is checked again, in case the name changed hands in between.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        *error = notRegular(path, info.st_mode);
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = path + ": cannot open: " + std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = notRegular(path, info.st_mode);
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        *error = path + ": cannot read: " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace zerin
