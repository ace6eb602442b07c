#pragma once

// A private X server for tests that need a real one: an Xvfb on a display it picks itself
// (-displayfd), so that test processes running side by side never race for one number, and
// the small process helpers that go with it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace zerin::test {

inline bool installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts `args` with its output discarded, on `display` when one is given.
inline pid_t spawn(const std::vector<std::string>& args, const std::string& display = {}) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    // Dies with the test, even when Xlib's default handler ends the test with exit().
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int devNull = ::open("/dev/null", O_RDWR);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// The exit status, or 128 + the signal that ended it.
inline int waitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs `scenario` in a child process, which stands for a plug-in host: an X error reaching
// Xlib's default handler, or a host's I/O error handler, ends the child with its status, not
// the test runner before it could print a failure. Returns the status as waitFor does.
inline int inChild(const std::function<int()>& scenario) {
    const pid_t pid = fork();
    if (pid == 0) std::exit(scenario());
    return pid > 0 ? waitFor(pid) : -1;
}

class XvfbServer {
public:
    explicit XvfbServer(const std::string& screen = "1280x800x24") {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid = spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", screen,
                     "-nolisten", "tcp", "-noreset"});
        close(ready[1]);
        char number[16] = {};
        pollfd fd{ready[0], POLLIN, 0};
        // Xvfb writes the number once it accepts connections.
        if (poll(&fd, 1, 20'000) > 0 && read(ready[0], number, sizeof number - 1) > 0) {
            // One piece at a time: GCC 12 warns falsely about assigning or adding literals.
            name.push_back(':');
            name += std::to_string(std::atoi(number));
        }
        close(ready[0]);
    }
    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Also from a child process of the one that started it.
    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    std::string name; // empty when the server did not start
private:
    pid_t pid = -1;
};

} // namespace zerin::test
