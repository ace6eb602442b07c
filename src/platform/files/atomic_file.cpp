#include "platform/files/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace zerin {

namespace {

// Named temporaries a signal handler may have to remove: fixed storage, lock-free flags.
constexpr int kMaxPending = 8;
constexpr std::size_t kNameSize = 16; // ".zerin-" + 6 characters + NUL
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

// A short hidden name that fits in any folder whatever the length of the target's name.
void randomName(char (&name)[kNameSize]) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static thread_local std::minstd_rand random(std::random_device{}());
    std::memcpy(name, ".zerin-", 7);
    for (int i = 7; i < 13; ++i)
        name[i] = kLetters[random() % (sizeof kLetters - 1)];
    name[13] = '\0';
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
    const std::filesystem::path target(path);
    mPath = path;
    mName = target.filename().string();
    mError = 0;
    if (mName.empty() || mName == "." || mName == "..") {
        *error = path + ": not a file name";
        return false;
    }
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    // Readable, so that the folder can be synced after the rename; O_PATH where it is not.
    mFolder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (mFolder < 0 && errno == EACCES)
        mFolder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (mFolder < 0) {
        *error = describe(path, "cannot open its folder", errno);
        return false;
    }
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
