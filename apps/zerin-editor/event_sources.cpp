#include "event_sources.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace zerin::editor {

namespace {

sigset_t quitSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

bool QuitSignals::open(std::string* error) {
    const sigset_t set = quitSignalSet();
    if (const int failed = pthread_sigmask(SIG_BLOCK, &set, nullptr); failed != 0) {
        *error = std::string("cannot block signals: ") + std::strerror(failed);
        return false;
    }
    mFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (mFd < 0) {
        *error = std::string("cannot open a signalfd: ") + std::strerror(errno);
        return false;
    }
    return true;
}

QuitSignals::~QuitSignals() {
    if (mFd >= 0) close(mFd);
}

bool QuitSignals::take() {
    signalfd_siginfo info;
    return read(mFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
}

bool WakePipe::open(std::string* error) {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        *error = std::string("cannot open a pipe: ") + std::strerror(errno);
        return false;
    }
    mRead = fds[0];
    mWrite = fds[1];
    return true;
}

WakePipe::~WakePipe() {
    if (mRead >= 0) close(mRead);
    if (mWrite >= 0) close(mWrite);
}

void WakePipe::wake() const {
    const char byte = 'w';
    [[maybe_unused]] const ssize_t written = write(mWrite, &byte, 1);
}

void WakePipe::drain() const {
    char bytes[256];
    while (read(mRead, bytes, sizeof bytes) > 0) {
    }
}

} // namespace zerin::editor
