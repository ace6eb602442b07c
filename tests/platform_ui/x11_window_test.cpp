// The X11 backend against a real X server: every test starts its own Xvfb and talks to it
// from a second connection, the way a plug-in host or the user would.

#include "platform/ui/graphics.h"
#include "platform/ui/view_host.h"
#include "platform/ui/x11_window.h"

// Before the X11 headers, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace zerin {
namespace {

bool programInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = std::min(dirs.find(':', start), dirs.size());
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

pid_t spawn(const std::vector<std::string>& args, const std::string& display = {}) {
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

int waitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// An Xvfb on the first free display from :90, stopped by its pid.
class XvfbServer {
public:
    XvfbServer() {
        for (int number = 90; number <= 120 && pid <= 0; ++number) {
            // Appending, not "literal" + string: GCC 12 warns falsely about the latter.
            std::string candidate = ":";
            candidate += std::to_string(number);
            std::string lock = "/tmp/.X";
            lock += std::to_string(number);
            lock += "-lock";
            if (access(lock.c_str(), F_OK) == 0) continue;
            pid = spawn(
                {"Xvfb", candidate, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
            if (waitUntilReady(candidate, lock)) {
                name = candidate;
            } else {
                stop();
            }
        }
    }
    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return pid > 0; }
    std::string name;

private:
    // Ready once the display answers and its lock names our process: when two test
    // processes race for one number, the loser's server exits while the winner's answers.
    bool waitUntilReady(const std::string& display, const std::string& lock) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return false;
            }
            if (lockOwner(lock) == pid) {
                if (Display* probe = XOpenDisplay(display.c_str())) {
                    XCloseDisplay(probe);
                    return true;
                }
            }
            usleep(50'000);
        }
        return false;
    }
    static pid_t lockOwner(const std::string& lock) {
        FILE* file = std::fopen(lock.c_str(), "r");
        if (!file) return -1;
        long owner = -1;
        if (std::fscanf(file, "%ld", &owner) != 1) owner = -1;
        std::fclose(file);
        return static_cast<pid_t>(owner);
    }
    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    pid_t pid = -1;
};

// Fills its bounds with one colour and records what reaches it.
class ProbeView : public View {
public:
    Color color{1.0, 0.0, 0.0};
    std::vector<Point> downs;
    std::vector<Point> ups;
    std::vector<Point> drags;
    std::vector<double> wheel;
    std::vector<KeyEvent> keys;

    bool acceptsPointer() const override { return true; }
    bool acceptsFocus() const override { return true; }
    void draw(Graphics& g) override {
        Rect r = bounds();
        Path path;
        path.moveTo({r.x, r.y});
        path.lineTo({r.maxX(), r.y});
        path.lineTo({r.maxX(), r.maxY()});
        path.lineTo({r.x, r.maxY()});
        path.close();
        g.fill(path, color);
    }
    void pointerDown(const PointerEvent& event) override { downs.push_back(event.location); }
    void pointerDragged(const PointerEvent& event) override { drags.push_back(event.location); }
    void pointerUp(const PointerEvent& event) override { ups.push_back(event.location); }
    bool scrollWheel(double lines, Point) override {
        wheel.push_back(lines);
        return true;
    }
    bool keyDown(const KeyEvent& event) override {
        keys.push_back(event);
        return true;
    }
};

// A view tree in a window, pumped the way an event loop would.
struct Editor {
    explicit Editor(Size size = {200.0, 100.0}) : host(queue, size) {
        auto root = std::make_unique<ProbeView>();
        view = root.get();
        host.setRoot(std::move(root));
        host.context().setFocus(view);
        host.unhandledKey = [this](const KeyEvent& event) {
            view->keys.push_back(event);
            return true;
        };
    }
    bool open(const X11WindowOptions& options) {
        window = X11Window::open(host, options, &error);
        return window != nullptr;
    }
    // Pumps until `done` holds; gives up after a generous while so a lost event fails the
    // test instead of hanging it.
    bool pumpUntil(const std::function<bool()>& done) {
        for (int round = 0; round < 400; ++round) {
            window->pump();
            if (done()) return true;
            pollfd fd{window->connectionFd(), POLLIN, 0};
            int wait = static_cast<int>(window->secondsUntilNextWork() * 1000.0) + 1;
            poll(&fd, 1, std::min(wait, 20));
        }
        return false;
    }
    void pumpFrames(int count) {
        for (int i = 0; i < count; ++i) {
            window->pump();
            usleep(17'000);
        }
    }

    MainQueue queue;
    ViewHost host;
    ProbeView* view = nullptr;
    std::unique_ptr<X11Window> window;
    std::string error;
};

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

bool isViewable(Display* display, unsigned long window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

Rgb pixelAt(Display* display, unsigned long window, int x, int y) {
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return {-1, -1, -1};
    unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
            static_cast<int>(pixel & 0xFF)};
}

bool isRed(Rgb c) {
    return c.red > 250 && c.green < 5 && c.blue < 5;
}

// Destroys the parent from another connection in the middle of a frame, so the copy into our
// window and a cursor change both go to a window that no longer exists. Returns 0 when the
// window noticed and kept working; Xlib's default handler would have ended the process.
int runParentDestroyedScenario(const std::string& displayName) {
    Display* other = XOpenDisplay(displayName.c_str());
    if (!other) return 10;
    Window parent = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 300, 200, 0, 0, 0);
    XMapWindow(other, parent);
    XSync(other, False);
    int result = 0;
    {
        Editor editor;
        X11WindowOptions options;
        options.display = displayName.c_str();
        options.parent = parent;
        if (!editor.open(options)) return 11;
        editor.pumpFrames(3);
        bool armed = true;
        Subscription frames = editor.host.context().onFrame([&] {
            if (!armed) return;
            armed = false;
            XDestroyWindow(other, parent);
            XSync(other, False);
            editor.host.context().pushCursor(Cursor::text);
        });
        if (!editor.pumpUntil([&] { return editor.window->closeRequested(); })) result = 12;
        editor.pumpFrames(5);
        if (!editor.window->closeRequested()) result = 13;
    }
    XCloseDisplay(other);
    return result;
}

class X11WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!programInPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/setup)";
        server = std::make_unique<XvfbServer>();
        ASSERT_TRUE(server->running()) << "no Xvfb could start on :90..:120";
        other = XOpenDisplay(server->name.c_str());
        ASSERT_NE(other, nullptr);
    }
    void TearDown() override {
        if (other) XCloseDisplay(other);
        server.reset();
    }
    X11WindowOptions options(double scale = 1.0) const {
        X11WindowOptions result;
        result.display = server->name.c_str();
        result.size = {200.0, 100.0};
        result.scale = scale;
        return result;
    }
    void xdotool(const std::vector<std::string>& args) {
        std::vector<std::string> command{"xdotool"};
        command.insert(command.end(), args.begin(), args.end());
        ASSERT_EQ(waitFor(spawn(command, server->name)), 0);
    }

    std::unique_ptr<XvfbServer> server;
    Display* other = nullptr;
};

TEST(X11WindowOpen, FailsCleanlyWithoutADisplay) {
    MainQueue queue;
    ViewHost host(queue, {100.0, 100.0});
    X11WindowOptions options;
    options.display = ":4711";
    std::string error;
    EXPECT_FALSE(X11Window::open(host, options, &error));
    EXPECT_NE(error.find(":4711"), std::string::npos) << error;
}

TEST_F(X11WindowTest, TopLevelWindowMapsAndShowsTheView) {
    XErrorHandler before = XSetErrorHandler(nullptr);
    Editor editor;
    ASSERT_TRUE(editor.open(options())) << editor.error;
    EXPECT_EQ(XSetErrorHandler(nullptr), before) << "the backend replaced the error handler";
    unsigned long id = editor.window->windowId();
    ASSERT_TRUE(isViewable(other, id));
    EXPECT_TRUE(editor.pumpUntil([&] { return isRed(pixelAt(other, id, 199, 99)); }));

    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(other, id, &hint));
    EXPECT_STREQ(hint.res_name, "zerin");
    XFree(hint.res_name);
    XFree(hint.res_class);
    XSizeHints size{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(other, id, &size, &supplied));
    EXPECT_EQ(size.min_width, 200);
    EXPECT_EQ(size.max_height, 100);
    EXPECT_FALSE(editor.window->closeRequested());
}

TEST_F(X11WindowTest, ResizingFromOutsideResizesTheHostInPoints) {
    Editor editor;
    ASSERT_TRUE(editor.open(options(2.0))) << editor.error;
    unsigned long id = editor.window->windowId();
    XWindowAttributes attributes{};
    XGetWindowAttributes(other, id, &attributes);
    EXPECT_EQ(attributes.width, 400);
    EXPECT_EQ(attributes.height, 200);

    XResizeWindow(other, id, 500, 300);
    XSync(other, False);
    EXPECT_TRUE(editor.pumpUntil([&] { return editor.host.size() == Size{250.0, 150.0}; }));
    // The grown area shows the view, which now covers it.
    EXPECT_TRUE(editor.pumpUntil([&] { return isRed(pixelAt(other, id, 499, 299)); }));
}

TEST_F(X11WindowTest, ChildWindowLivesInAForeignParent) {
    Window parent = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 400, 300, 0, 0, 0);
    XMapWindow(other, parent);
    XSync(other, False);

    Editor editor;
    X11WindowOptions childOptions = options();
    childOptions.parent = parent;
    ASSERT_TRUE(editor.open(childOptions)) << editor.error;
    unsigned long id = editor.window->windowId();
    // The id is usable by the host at once, without any pumping.
    Window root = 0;
    Window actualParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    ASSERT_TRUE(XQueryTree(other, id, &root, &actualParent, &children, &count));
    if (children) XFree(children);
    EXPECT_EQ(actualParent, parent);
    EXPECT_TRUE(isViewable(other, id));
    EXPECT_TRUE(editor.pumpUntil([&] { return isRed(pixelAt(other, id, 10, 10)); }));
    // The parent shows black beyond our 200 × 100.
    EXPECT_FALSE(isRed(pixelAt(other, parent, 300, 200)));
}

TEST_F(X11WindowTest, ParentDestroyedMidFrameClosesWithoutAnXError) {
    EXPECT_EQ(runParentDestroyedScenario(server->name), 0);
    // Again in a child process: an X error reaching Xlib's default handler would exit(1).
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(runParentDestroyedScenario(server->name));
    EXPECT_EQ(waitFor(pid), 0);
}

TEST_F(X11WindowTest, MissingParentFailsWithAMessage) {
    Window gone = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(other, gone);
    XSync(other, False);
    Editor editor;
    X11WindowOptions childOptions = options();
    childOptions.parent = gone;
    EXPECT_FALSE(editor.open(childOptions));
    EXPECT_NE(editor.error.find("does not exist"), std::string::npos) << editor.error;
}

TEST_F(X11WindowTest, ClicksAndWheelArriveInPoints) {
    if (!programInPath("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        Editor editor;
        ASSERT_TRUE(editor.open(options(scale))) << editor.error;
        editor.pumpFrames(2);
        // No window manager: the window sits at the root's origin.
        xdotool({"mousemove", "60", "40", "click", "1", "click", "5", "click", "4"});
        ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->wheel.size() == 2; }));
        ASSERT_EQ(editor.view->downs.size(), 1u);
        ASSERT_EQ(editor.view->ups.size(), 1u);
        EXPECT_EQ(editor.view->downs[0], (Point{60.0 / scale, 40.0 / scale}));
        EXPECT_EQ(editor.view->ups[0], (Point{60.0 / scale, 40.0 / scale}));
        EXPECT_EQ(editor.view->wheel, (std::vector<double>{1.0, -1.0}));

        xdotool({"mousedown", "1", "mousemove", "100", "80", "mouseup", "1"});
        ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->ups.size() == 2; }));
        ASSERT_FALSE(editor.view->drags.empty());
        EXPECT_EQ(editor.view->drags.back(), (Point{100.0 / scale, 80.0 / scale}));
        EXPECT_EQ(editor.view->ups.back(), (Point{100.0 / scale, 80.0 / scale}));
    }
}

TEST_F(X11WindowTest, TypedKeysArriveAsKeyEvents) {
    if (!programInPath("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    Editor editor;
    ASSERT_TRUE(editor.open(options())) << editor.error;
    editor.pumpFrames(2);
    xdotool({"mousemove", "50", "50", "click", "1"});
    ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->ups.size() == 1; }));
    xdotool({"key", "a", "ctrl+shift+z", "Return", "BackSpace"});
    ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->keys.size() == 4; }));
    const auto& keys = editor.view->keys;
    EXPECT_EQ(keys[0].key, Key::character);
    EXPECT_EQ(keys[0].text, "a");
    EXPECT_NE(keys[1].key, Key::character);
    EXPECT_EQ(keys[1].keysym, U'z');
    EXPECT_TRUE(keys[1].modifiers.control);
    EXPECT_TRUE(keys[1].modifiers.shift);
    EXPECT_EQ(keys[2].key, Key::enter);
    EXPECT_EQ(keys[3].key, Key::backspace);
    EXPECT_FALSE(keys[3].modifiers.control);
}

TEST_F(X11WindowTest, DeleteWindowMessageRequestsClose) {
    Editor editor;
    ASSERT_TRUE(editor.open(options())) << editor.error;
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = editor.window->windowId();
    message.xclient.message_type = XInternAtom(other, "WM_PROTOCOLS", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(XInternAtom(other, "WM_DELETE_WINDOW", False));
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(other, editor.window->windowId(), False, NoEventMask, &message);
    XSync(other, False);
    EXPECT_TRUE(editor.pumpUntil([&] { return editor.window->closeRequested(); }));
}

} // namespace
} // namespace zerin
