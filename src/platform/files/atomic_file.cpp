#include "platform/files/atomic_file.h"

#include "platform/files/regular_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace zerin {

namespace {

// Named temporaries a signal handler may have to remove: fixed storage, lock-free flags.
constexpr int kMaxPending = 8;
// ".zerin-", the writer's process id, "-", 6 random characters and a NUL: short enough for
// any folder whatever the length of the target's name.
constexpr std::size_t kNameSize = 32;
constexpr char kPrefix[] = ".zerin-";
constexpr std::size_t kPrefixSize = sizeof kPrefix - 1;
constexpr std::size_t kRandomSize = 6;
constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
struct Pending {
    std::atomic<int> folder{-1}; // -1: free
    char name[kNameSize] = {};
};
Pending gPending[kMaxPending];

int claimPending(int folder, const char* name) {
    for (int i = 0; i < kMaxPending; ++i) {
        int expected = -1;
        // -2 marks the slot taken while its name is copied in; a handler skips it.
        if (!gPending[i].folder.compare_exchange_strong(expected, -2)) continue;
        std::memcpy(gPending[i].name, name, kNameSize);
        gPending[i].folder.store(folder);
        return i;
    }
    return -1;
}

void releasePending(int& slot) {
    if (slot >= 0) gPending[slot].folder.store(-1);
    slot = -1;
}

// A hidden name that says which process writes it, so that a later writer can tell the
// leftovers of a killed one from the files of a running one.
void randomName(char (&name)[kNameSize]) {
    static thread_local std::minstd_rand random(std::random_device{}());
    const int length = std::snprintf(name, kNameSize, "%s%ld-", kPrefix, long{::getpid()});
    auto at = static_cast<std::size_t>(length);
    for (std::size_t i = 0; i < kRandomSize; ++i)
        name[at++] = kLetters[random() % (sizeof kLetters - 1)];
    name[at] = '\0';
}

// The writer's process id when `name` is one of our hidden names, else 0.
pid_t writerOf(const char* name) {
    if (std::strncmp(name, kPrefix, kPrefixSize) != 0) return 0;
    const char* digits = name + kPrefixSize;
    const char* end = digits;
    long pid = 0;
    while (*end >= '0' && *end <= '9' && end - digits < 10) {
        pid = pid * 10 + (*end - '0');
        ++end;
    }
    if (end == digits || *end != '-' || pid <= 0 || pid > INT_MAX) return 0;
    const char* letters = end + 1;
    if (std::strlen(letters) != kRandomSize) return 0;
    for (const char* c = letters; *c != '\0'; ++c)
        if (std::strchr(kLetters, *c) == nullptr) return 0;
    return static_cast<pid_t>(pid);
}

// A writer killed between naming its file and renaming it leaves the hidden name behind.
// Those of processes that no longer exist are removed; a running writer's are its own
// business. Only regular files are removed, and links are never followed.
void removeLeftovers(int folder) {
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return; // a folder we may write in but not list keeps its leftovers
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t writer = writerOf(entry->d_name);
        if (writer == 0 || ::kill(writer, 0) == 0 || errno != ESRCH) continue;
        struct stat info {};
        if (::fstatat(listing, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode))
            ::unlinkat(listing, entry->d_name, 0);
    }
    ::closedir(dir);
}

std::string describe(const std::string& path, const char* what, int error) {
    return path + ": " + what + ": " + std::strerror(error);
}

} // namespace

void AtomicFile::removePendingTemporaries() {
    for (Pending& p : gPending) {
        const int folder = p.folder.load();
        if (folder >= 0) ::unlinkat(folder, p.name, 0);
    }
}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::open(const std::string& path, std::string* error) {
    discard();
    std::filesystem::path target(path);
    mPath = path;
    mName = target.filename().string();
    mError = 0;
    if (mName.empty() || mName == "." || mName == "..") {
        *error = path + ": not a file name";
        return false;
    }
    if (!resolveTarget(target, error)) return false;
    mName = target.filename().string();
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    // Readable, so that the folder can be synced after the rename; O_PATH where it is not.
    mFolder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (mFolder < 0 && errno == EACCES)
        mFolder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (mFolder < 0) {
        *error = describe(path, "cannot open its folder", errno);
        return false;
    }
    removeLeftovers(mFolder);
    if (mKind == Kind::named) return openNamed(error);
    mFd = ::openat(mFolder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (mFd >= 0) return true;
    // File systems without unnamed files answer one of these.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT)
        return openNamed(error);
    *error = describe(path, "cannot write in its folder", errno);
    discard();
    return false;
}

// Only a regular file is ever replaced: a FIFO, a device or a folder at the target is
// refused, whoever runs us. A link to a regular file is written through, so that the link
// stays and the file it names is replaced in its own folder. A link to nothing is refused
// rather than followed: where it points may not be where the user means to write.
bool AtomicFile::resolveTarget(std::filesystem::path& target, std::string* error) const {
    struct stat info {};
    // Nothing there yet, or a folder that cannot be reached, which opening it will report.
    if (::lstat(target.c_str(), &info) != 0) return true;
    if (S_ISREG(info.st_mode)) return true;
    if (!S_ISLNK(info.st_mode)) {
        *error =
            mPath + ": is " + fileKindName(info.st_mode) + ", not a regular file; left untouched";
        return false;
    }
    if (::stat(target.c_str(), &info) != 0) {
        *error = describe(mPath, "is a link to a file that cannot be reached; not written", errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = mPath + ": is a link to " + fileKindName(info.st_mode) +
                 ", not to a regular file; left untouched";
        return false;
    }
    char* resolved = ::realpath(target.c_str(), nullptr);
    if (resolved == nullptr) {
        *error = describe(mPath, "cannot follow its link", errno);
        return false;
    }
    target = resolved;
    std::free(resolved);
    return true;
}

// The file put in place keeps the mode of the one it replaces, and its owner when we may
// give it one, so that saving never opens up a private file nor takes it from its owner.
bool AtomicFile::matchTarget(std::string* error) {
    struct stat info {};
    if (::fstatat(mFolder, mName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return true;
        *error = describe(mPath, "cannot look at the file to replace", errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) { // replaced by something else while we were writing
        *error = mPath + ": is now " + fileKindName(info.st_mode) +
                 ", not a regular file; left untouched";
        return false;
    }
    struct stat ours {};
    if (::fstat(mFd, &ours) != 0) {
        *error = describe(mPath, "cannot look at the file written", errno);
        return false;
    }
    if (::geteuid() == 0 && (ours.st_uid != info.st_uid || ours.st_gid != info.st_gid) &&
        ::fchown(mFd, info.st_uid, info.st_gid) != 0) {
        *error = describe(mPath, "cannot give the new file the earlier one's owner", errno);
        return false;
    }
    // After the owner: changing it clears the set-id bits.
    if (::fchmod(mFd, info.st_mode & 07777) != 0) {
        *error = describe(mPath, "cannot give the new file the earlier one's mode", errno);
        return false;
    }
    return true;
}

bool AtomicFile::openNamed(std::string* error) {
    char name[kNameSize];
    for (int attempt = 0; attempt < 100; ++attempt) {
        randomName(name);
        mPendingSlot = claimPending(mFolder, name);
        mFd = ::openat(mFolder, name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (mFd >= 0) {
            if (mPendingSlot < 0) { // no room to be found by a signal handler: do without
                *error = mPath + ": too many files being written at once";
                ::unlinkat(mFolder, name, 0);
                discard();
                return false;
            }
            return true;
        }
        const int why = errno;
        releasePending(mPendingSlot);
        if (why != EEXIST) {
            *error = describe(mPath, "cannot write in its folder", why);
            discard();
            return false;
        }
    }
    *error = mPath + ": cannot find a free temporary name in its folder";
    discard();
    return false;
}

bool AtomicFile::write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0 && mError == 0) {
        const ssize_t n = ::write(mFd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(n < 0 ? errno : EIO);
            break;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return mError == 0;
}

void AtomicFile::fail(int error) {
    if (mError == 0) mError = error != 0 ? error : EIO;
}

bool AtomicFile::commit(std::string* error) {
    if (mFd < 0) {
        *error = mPath + ": nothing was written";
        return false;
    }
    if (mError == 0 && !matchTarget(error)) {
        discard();
        return false;
    }
    if (mError == 0 && ::fsync(mFd) != 0) fail(errno);
    if (mError != 0) {
        *error = describe(mPath, "cannot write", mError);
        discard();
        return false;
    }
    char name[kNameSize];
    if (mPendingSlot >= 0) {
        std::memcpy(name, gPending[mPendingSlot].name, kNameSize);
    } else {
        // Give the unnamed file a hidden name first: a link cannot replace an earlier file,
        // a rename can.
        const std::string self = "/proc/self/fd/" + std::to_string(mFd);
        int why = EEXIST;
        for (int attempt = 0; attempt < 100 && why == EEXIST; ++attempt) {
            randomName(name);
            mPendingSlot = claimPending(mFolder, name);
            why = 0;
            if (::linkat(AT_FDCWD, self.c_str(), mFolder, name, AT_SYMLINK_FOLLOW) != 0 &&
                ::linkat(mFd, "", mFolder, name, AT_EMPTY_PATH) != 0)
                why = errno;
            if (why != 0) releasePending(mPendingSlot);
        }
        if (why != 0) {
            *error = describe(mPath, "cannot put the finished file in place", why);
            discard();
            return false;
        }
    }
    if (::renameat(mFolder, name, mFolder, mName.c_str()) != 0) {
        *error = describe(mPath, "cannot put the finished file in place", errno);
        discard(); // removes the hidden name
        return false;
    }
    releasePending(mPendingSlot);
    ::fsync(mFolder); // the new name survives a power cut; fails harmlessly on an O_PATH folder
    ::close(mFd);
    mFd = -1;
    discard();
    return true;
}

void AtomicFile::discard() {
    if (mPendingSlot >= 0) {
        ::unlinkat(mFolder, gPending[mPendingSlot].name, 0);
        releasePending(mPendingSlot);
    }
    if (mFd >= 0) ::close(mFd);
    if (mFolder >= 0) ::close(mFolder);
    mFd = mFolder = -1;
}

bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
    AtomicFile file;
    if (!file.open(path, error)) return false;
    file.write(bytes.data(), bytes.size());
    return file.commit(error);
}

} // namespace zerin
