#pragma once

// What wakes the editor's poll() loop besides the X connection: termination signals, read
// from a signalfd so that quitting runs on the main thread like any other event, and a
// self-pipe that other threads write to when they hand the main thread work.

#include <string>

namespace zerin::editor {

class QuitSignals {
public:
    // Blocks SIGINT, SIGTERM and SIGHUP in this thread and every thread started after it, and
    // opens a descriptor that reads them instead. Call before any thread starts (JACK's
    // included). False with `error` if it cannot.
    bool open(std::string* error);
    ~QuitSignals();
    int fd() const { return mFd; }
    // Whether a signal is waiting; consumes it.
    bool take();

private:
    int mFd = -1;
};

class WakePipe {
public:
    bool open(std::string* error);
    ~WakePipe();
    int readFd() const { return mRead; }
    int writeFd() const { return mWrite; }
    // Any thread, async-signal-safe. A full pipe is already a pending wake-up.
    void wake() const;
    void drain() const;

private:
    int mRead = -1;
    int mWrite = -1;
};

} // namespace zerin::editor
