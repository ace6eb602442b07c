#include "presets/store_files.h"

#include "platform/files/atomic_file.h"

#include "platform/files/file_basics.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

namespace zerin::store_files {
namespace fs = std::filesystem;

FileContents readBounded(const fs::path& file, std::size_t maxBytes) {
    // O_NONBLOCK: a FIFO planted at the store's name must not hang the editor in open().
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.fd < 0) {
        if (errno == ENOENT) return {ReadStatus::missing, {}, {}};
        return {ReadStatus::failed, {}, describe("cannot read", file, errno)};
    }
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0)
        return {ReadStatus::failed, {}, describe("cannot read", file, errno)};
    if (!S_ISREG(info.st_mode))
        return {ReadStatus::failed, {}, "cannot read " + file.string() + ": not a regular file"};
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) return {ReadStatus::tooLarge, {}, {}};

    // The size may change under us (another program editing the file): read to the end,
    // but never past the limit.
    FileContents contents{ReadStatus::read, {}, {}};
    contents.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t used = 0;
    for (;;) {
        if (used == contents.bytes.size()) {
            if (used > maxBytes) return {ReadStatus::tooLarge, {}, {}};
            contents.bytes.resize(std::min(used + 4096, maxBytes + 1));
        }
        const ssize_t n = ::read(fd.fd, contents.bytes.data() + used, contents.bytes.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {ReadStatus::failed, {}, describe("cannot read", file, errno)};
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    if (used > maxBytes) return {ReadStatus::tooLarge, {}, {}};
    contents.bytes.resize(used);
    return contents;
}

std::optional<Lock> Lock::acquire(const fs::path& lockFile, std::string& error) {
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = describe("cannot open lock file", lockFile, errno);
        return std::nullopt;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        error = describe("cannot lock", lockFile, errno);
        ::close(fd);
        return std::nullopt;
    }
    return Lock(fd);
}

Lock::~Lock() {
    if (mFd >= 0) ::close(mFd); // closing releases the flock
}

StoreResult replaceAtomically(const fs::path& file, const std::string& bytes) {
    AtomicFile out;
    std::string error;
    // The store keeps the permissions it was given (a user may have made it private): the
    // atomic file keeps them, as for every file Zerin replaces.
    if (!out.open(file.string(), &error)) return StoreResult::failure(error);
    out.write(bytes.data(), bytes.size());
    if (!out.commit(&error)) return StoreResult::failure(error);
    return StoreResult::success();
}

void removeStaleTemporaries(const fs::path& file) {
    const std::string prefix = file.filename().string() + ".tmp-";
    std::error_code ec;
    for (fs::directory_iterator it(directoryOf(file), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().filename().string().starts_with(prefix)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

} // namespace zerin::store_files
