#include "presets/store_files.h"

#include "platform/files/atomic_file.h"

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
namespace {

namespace fs = std::filesystem;

std::string describe(std::string_view what, const fs::path& file, int error) {
    return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

// Closes on scope exit, so every early return below releases its descriptor.
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

fs::path directoryOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
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

std::optional<fs::path> keepAside(const fs::path& file, std::string& error) {
    const std::string base = file.stem().string() + ".unreadable-" + utcStamp();
    const std::string extension = file.extension().string();
    for (int n = 1; n <= 100; ++n) {
        std::string name = base;
        if (n > 1) name.append(1, '-').append(std::to_string(n));
        const fs::path copy = directoryOf(file) / name.append(extension);
        // A hard link keeps the old content under the new name at no cost, whatever its
        // size; the store's next rename then only moves the original name away from it.
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

} // namespace zerin::store_files
