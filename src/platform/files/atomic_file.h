#pragma once

// A file that appears whole or not at all. It is written out of sight (an unnamed file in
// the target's folder where the file system offers them, else a short hidden name there),
// then synced and put in place over any earlier file in one rename. An unnamed file leaves
// nothing behind whatever happens to the process, a kill or a power cut included; a named
// one is removed on every failure, and `removePendingTemporaries` lets a signal handler
// remove it too. Hidden names carry the writer's process id: one left by a writer killed
// before its rename is removed by the next write into that folder.
//
// Only regular files are replaced. A FIFO, a device, a folder or a link to nothing at the
// target is refused; a link to a regular file is written through (the file it names is
// replaced, the link stays). The new file keeps the earlier one's mode, and its owner when
// we run as root.
//
// The folder is held open from the start, so a folder renamed while the file is written
// still receives it, under its new name.

#include <cstddef>
#include <filesystem>
#include <string>

namespace zerin {

class AtomicFile {
public:
    // Named files are for file systems without unnamed ones; choosing them is for tests.
    enum class Kind { unnamedWherePossible, named };
    explicit AtomicFile(Kind kind = Kind::unnamedWherePossible) : mKind(kind) {}
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile(); // discards the file unless committed

    // Starts a file that `commit` will put at `path`. False with `error` naming the path.
    bool open(const std::string& path, std::string* error);
    // The descriptor to write to (read and write, positioned at 0); -1 before `open`.
    int fd() const { return mFd; }

    // Writes all of `data` at the current position, retrying short writes. The first
    // failure is kept and makes `commit` fail: callers that cannot report an error at the
    // point it happens (libsndfile's callbacks) need not.
    bool write(const void* data, std::size_t size);
    // Records a failure met elsewhere (an encoder that could not finish).
    void fail(int error);
    int error() const { return mError; }

    // Syncs the file, puts it in place and syncs the folder. False with `error` naming the
    // path and the first failure; the file is then discarded and an earlier one untouched.
    bool commit(std::string* error);
    void discard();

    // Removes every named temporary not yet committed or discarded. Async-signal-safe.
    static void removePendingTemporaries();

private:
    bool resolveTarget(std::filesystem::path& target, std::string* error) const;
    bool matchTarget(std::string* error);
    bool openNamed(std::string* error);
    Kind mKind;
    int mFd = -1;
    int mFolder = -1;      // the target's folder, held open
    std::string mPath;     // as given, for messages
    std::string mName;     // the target's name in its folder
    int mPendingSlot = -1; // this file's entry among the named temporaries, if any
    int mError = 0;
};

// Writes `bytes` to `path` through an AtomicFile. False with `error` naming the file.
bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string* error);

} // namespace zerin
