// The X11 backend against a real X server: every test starts its own Xvfb and talks to it
// from a second connection, the way a plug-in host or the user would.

#include "platform/ui/graphics.h"
#include "platform/ui/shapes.h"
#include "platform/ui/view_host.h"
#include "platform/ui/x11_window.h"
#include "support/xvfb.h"

// Before the X11 headers, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Under the sanitizers: cairo's X11 backend keeps a few records per display past
// XCloseDisplay, which tests/lsan.supp exempts by the stack that made them; only whole stacks
// show it. The children that run scenarios exit through exit(), so their leaks are checked.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace zerin {
namespace {

using test::inChild;
using test::installed;
using test::spawn;
using test::waitFor;
using test::XvfbServer;

// Fills its bounds with one colour and records what reaches it.
class ProbeView : public View {
public:
    std::vector<Point> downs, ups, drags;
    std::vector<PointerButton> buttons; // of the presses, in order
    std::vector<double> wheel;
    std::vector<KeyEvent> keys;
    int draws = 0;
    bool animating = false; // asks to be drawn at every frame

    bool acceptsPointer() const override { return true; }
    bool acceptsButton(PointerButton) const override { return true; }
    bool acceptsFocus() const override { return true; }
    void draw(Graphics& g) override {
        ++draws;
        Path path;
        addRect(path, bounds());
        g.fill(path, Color{1.0, 0.0, 0.0});
        if (animating) setNeedsDisplay();
    }
    void pointerDown(const PointerEvent& event) override {
        downs.push_back(event.location);
        buttons.push_back(event.button);
    }
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

X11WindowOptions optionsFor(const std::string& display, double scale = 1.0,
                            std::optional<unsigned long> parent = {}) {
    X11WindowOptions options;
    options.display = display.c_str();
    options.size = {200.0, 100.0};
    options.scale = scale;
    options.parent = parent;
    return options;
}

// A view tree in a window, pumped the way an event loop would.
struct Editor {
    Editor() : host(queue, {200.0, 100.0}) {
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

    MainQueue queue;
    ViewHost host;
    ProbeView* view = nullptr;
    std::unique_ptr<X11Window> window;
    std::string error;
};

Window mappedWindow(Display* display, unsigned width, unsigned height) {
    Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

bool isViewable(Display* display, unsigned long window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

bool hasColourAt(Display* display, unsigned long window, int x, int y, unsigned long rgb) {
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return false;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel == rgb;
}

bool isRedAt(Display* display, unsigned long window, int x, int y) {
    return hasColourAt(display, window, x, y, 0xFF0000);
}

// Pumps until the view shows in its window: from then on, input sent to it arrives.
bool pumpUntilDrawn(Editor& editor, Display* display) {
    const unsigned long id = editor.window->windowId();
    return editor.pumpUntil([&] { return isRedAt(display, id, 0, 0); });
}

// Destroys the parent from another connection in the middle of a frame, so the copy into our
// window and a cursor change both go to a window that no longer exists. Returns 0 when the
// window noticed and kept working; Xlib's default handler would have ended the process.
int runParentDestroyedScenario(const std::string& displayName) {
    Display* other = XOpenDisplay(displayName.c_str());
    if (!other) return 10;
    Window parent = mappedWindow(other, 300, 200);
    int result = 0;
    {
        Editor editor;
        if (!editor.open(optionsFor(displayName, 1.0, parent))) return 11;
        if (!pumpUntilDrawn(editor, other)) return 14;
        bool armed = true;
        Subscription frames = editor.host.context().onFrame([&] {
            if (!armed) return;
            armed = false;
            XDestroyWindow(other, parent);
            XSync(other, False);
            editor.host.context().pushCursor(Cursor::text);
        });
        if (!editor.pumpUntil([&] { return editor.window->closeRequested(); })) result = 12;
        for (int i = 0; i < 5; ++i) // a window that is gone keeps pumping harmlessly
            editor.window->pump();
        if (!editor.window->closeRequested()) result = 13;
    }
    XCloseDisplay(other);
    return result;
}

// Text in many sizes and weights, and a shadow, over a background whose colour the test
// chooses, so that glyphs of several fonts and a mask reach the server and a new frame is
// visible from outside.
class TextView : public View {
public:
    Color background{0.0, 0.0, 1.0};
    int frames = 0;
    void draw(Graphics& g) override {
        ++frames;
        Path path;
        addRect(path, bounds());
        g.fill(path, background);
        Path panel;
        addRect(panel, {20.0, 20.0, 60.0, 40.0});
        g.shadow(panel, Color{0.0, 0.0, 0.0, 0.5}, 8.0, 0.0, 2.0);
        const FontWeight weights[] = {FontWeight::regular, FontWeight::medium, FontWeight::semibold,
                                      FontWeight::bold};
        for (int i = 0; i < 8; ++i) {
            const Font font{9.0 + 2.0 * i, weights[i % 4],
                            i % 3 == 0 ? FontDesign::monospaced : FontDesign::standard, 0.0};
            g.drawText("Zerin 0123456789 ABCDEFGHIJKLM nopqrstuvwxyz", font, Color{1.0, 1.0, 1.0},
                       {100.0, 6.0 + 11.0 * i});
        }
        // Drawn again at every frame, as an animated view is.
        setNeedsDisplay();
    }
};

// Two windows on one server drawing text, as two editors in one plug-in host do; the first
// (or the second) is closed while the other goes on. Returns 0 when the survivor kept
// drawing; an X error on its connection would have ended the process in Xlib's handler.
int runTwoWindowsScenario(const std::string& displayName, bool closeFirst) {
    Display* other = XOpenDisplay(displayName.c_str());
    if (!other) return 10;
    struct TextEditor {
        MainQueue queue;
        ViewHost host{queue, {200.0, 100.0}};
        TextView* view = nullptr;
        std::unique_ptr<X11Window> window;
    };
    // Side by side in parents of their own, as a host shows two editors.
    std::unique_ptr<TextEditor> editors[2];
    for (int i = 0; i < 2; ++i) {
        Window parent =
            XCreateSimpleWindow(other, DefaultRootWindow(other), 300 * i, 0, 200, 100, 0, 0, 0);
        XMapWindow(other, parent);
        XSync(other, False);
        auto& editor = editors[i];
        editor = std::make_unique<TextEditor>();
        auto view = std::make_unique<TextView>();
        editor->view = view.get();
        editor->host.setRoot(std::move(view));
        std::string error;
        editor->window =
            X11Window::open(editor->host, optionsFor(displayName, 1.0, parent), &error);
        if (!editor->window) return 11;
    }
    const auto pumpUntil = [](std::initializer_list<TextEditor*> list,
                              const std::function<bool()>& done) {
        for (int round = 0; round < 400; ++round) {
            for (TextEditor* editor : list)
                editor->window->pump();
            if (done()) return true;
            pollfd fd{list.begin()[0]->window->connectionFd(), POLLIN, 0};
            poll(&fd, 1, 20);
        }
        return false;
    };
    const auto shows = [&](TextEditor& editor, unsigned long rgb) {
        return hasColourAt(other, editor.window->windowId(), 199, 99, rgb);
    };
    if (!pumpUntil({editors[0].get(), editors[1].get()},
                   [&] { return shows(*editors[0], 0x0000FF) && shows(*editors[1], 0x0000FF); }))
        return 12;
    // cairo uploads a font's glyphs to the server only once it has drawn them a few times.
    if (!pumpUntil({editors[0].get(), editors[1].get()}, [&] {
            return editors[0]->view->frames >= 10 && editors[1]->view->frames >= 10;
        }))
        return 12;
    editors[closeFirst ? 0 : 1].reset();
    TextEditor& survivor = *editors[closeFirst ? 1 : 0];
    survivor.view->background = Color{0.0, 1.0, 0.0};
    if (!pumpUntil({&survivor}, [&] { return shows(survivor, 0x00FF00); })) return 13;
    // A few more rounds of events and frames, as a host's idle calls would bring.
    survivor.view->background = Color{1.0, 0.0, 0.0};
    if (!pumpUntil({&survivor}, [&] { return shows(survivor, 0xFF0000); })) return 14;
    editors[closeFirst ? 1 : 0].reset();
    XCloseDisplay(other);
    return 0;
}

// Many small shapes in many colours: a frame of it sends more than Xlib buffers at once.
class BusyView : public View {
public:
    void draw(Graphics& g) override {
        for (int i = 0; i < 2000; ++i) {
            Path path;
            addRect(path, {(i % 50) * 4.0, (i / 50) * 2.5, 3.0, 2.0});
            g.fill(path, Color{(i % 7) / 7.0, (i % 11) / 11.0, 0.5, 0.9});
        }
    }
};

// Stands for a host's process-wide handler, which ends the process as GDK's does.
int hostIoErrorHandler(Display*) {
    _exit(20);
}

// The connection of one window is broken from outside, as xkill breaks it, while a second
// window and a connection of the host's own stay. The broken window reports itself closed
// and lost, the process goes on with the host's handler unheard and still in place, and the
// others keep working. Returns 0 when all holds.
int runKilledConnectionScenario(const std::string& displayName) {
    XSetIOErrorHandler(hostIoErrorHandler);
    Display* hostDisplay = XOpenDisplay(displayName.c_str());
    if (!hostDisplay) return 10;
    // The one to be killed in a parent of the host's, beside the other.
    Window parent =
        XCreateSimpleWindow(hostDisplay, DefaultRootWindow(hostDisplay), 300, 0, 200, 100, 0, 0, 0);
    XMapWindow(hostDisplay, parent);
    XSync(hostDisplay, False);
    Editor killed;
    Editor survivor;
    if (!killed.open(optionsFor(displayName, 1.0, parent)) ||
        !survivor.open(optionsFor(displayName)))
        return 11;
    if (!killed.pumpUntil([&] { return isRedAt(hostDisplay, killed.window->windowId(), 5, 5); }))
        return 12;
    // Killed in the middle of a frame, before a paint that fills Xlib's buffer more than once.
    killed.host.setRoot(std::make_unique<BusyView>());
    bool armed = true;
    Subscription frames = killed.host.context().onFrame([&] {
        if (!std::exchange(armed, false)) return;
        XKillClient(hostDisplay, killed.window->windowId());
        XSync(hostDisplay, False);
    });
    if (!killed.pumpUntil([&] { return killed.window->connectionLost(); })) return 13;
    if (!killed.window->closeRequested()) return 14;
    killed.window->pump(); // harmless once lost
    killed.window.reset();
    if (XSetIOErrorHandler(hostIoErrorHandler) != hostIoErrorHandler) return 15;
    // The other window and the host's connection never noticed.
    if (!survivor.pumpUntil(
            [&] { return isRedAt(hostDisplay, survivor.window->windowId(), 199, 99); }))
        return 16;
    if (survivor.window->closeRequested()) return 17;
    survivor.window.reset();
    XCloseDisplay(hostDisplay);
    return 0;
}

// The server itself goes away under an open window.
int runServerGoneScenario(XvfbServer& server) {
    XSetIOErrorHandler(hostIoErrorHandler);
    Editor editor;
    if (!editor.open(optionsFor(server.name))) return 11;
    editor.window->pump();
    server.stop();
    if (!editor.pumpUntil([&] { return editor.window->connectionLost(); })) return 13;
    editor.window.reset();
    return 0;
}

class X11WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/setup)";
        server = std::make_unique<XvfbServer>();
        ASSERT_FALSE(server->name.empty()) << "Xvfb did not start";
        other = XOpenDisplay(server->name.c_str());
        ASSERT_NE(other, nullptr);
    }
    void TearDown() override {
        if (other) XCloseDisplay(other);
        server.reset();
    }
    X11WindowOptions options(double scale = 1.0, std::optional<unsigned long> parent = {}) {
        return optionsFor(server->name, scale, parent);
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
    Editor editor;
    EXPECT_FALSE(editor.open(optionsFor(":4711")));
    EXPECT_NE(editor.error.find(":4711"), std::string::npos) << editor.error;
}

TEST_F(X11WindowTest, MissingParentFailsWithAMessage) {
    Window gone = mappedWindow(other, 10, 10);
    XDestroyWindow(other, gone);
    XSync(other, False);
    Editor editor;
    EXPECT_FALSE(editor.open(options(1.0, gone)));
    EXPECT_NE(editor.error.find("does not exist"), std::string::npos) << editor.error;
}

TEST_F(X11WindowTest, TopLevelWindowMapsAndShowsTheView) {
    XErrorHandler before = XSetErrorHandler(nullptr);
    Editor editor;
    ASSERT_TRUE(editor.open(options())) << editor.error;
    EXPECT_EQ(XSetErrorHandler(nullptr), before) << "the backend replaced the error handler";
    unsigned long id = editor.window->windowId();
    ASSERT_TRUE(isViewable(other, id));
    EXPECT_TRUE(editor.pumpUntil([&] { return isRedAt(other, id, 199, 99); }));

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
    EXPECT_TRUE(editor.pumpUntil([&] { return isRedAt(other, id, 499, 299); }));
}

TEST_F(X11WindowTest, ChildWindowLivesInAForeignParent) {
    Window parent = mappedWindow(other, 400, 300);
    Editor editor;
    ASSERT_TRUE(editor.open(options(1.0, parent))) << editor.error;
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
    EXPECT_TRUE(editor.pumpUntil([&] { return isRedAt(other, id, 10, 10); }));
    // The parent shows black beyond our 200 × 100.
    EXPECT_FALSE(isRedAt(other, parent, 300, 200));
}

// Nothing is drawn while nothing of the window shows: its own window unmapped, or the window
// of the plug-in host it lives in (which tells ours nothing). Shown again, it draws at once.
TEST_F(X11WindowTest, AHiddenWindowDrawsNothingAndDrawsAgainWhenShown) {
    Window parent = mappedWindow(other, 400, 300);
    Editor editor;
    ASSERT_TRUE(editor.open(options(1.0, parent))) << editor.error;
    editor.view->animating = true;
    ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->draws >= 3; }));
    for (const bool hideParent : {true, false}) {
        SCOPED_TRACE(hideParent ? "the host's window unmapped" : "our window unmapped");
        const Window hidden = hideParent ? parent : editor.window->windowId();
        XUnmapWindow(other, hidden);
        XSync(other, False);
        ASSERT_TRUE(editor.pumpUntil([&] { return !editor.window->shown(); }));
        const int drawn = editor.view->draws;
        int frames = 0;
        Subscription counting = editor.host.context().onFrame([&] { ++frames; });
        ASSERT_TRUE(editor.pumpUntil([&] { return frames >= 3; }));
        EXPECT_EQ(editor.view->draws, drawn);
        XMapWindow(other, hidden);
        XSync(other, False);
        EXPECT_TRUE(
            editor.pumpUntil([&] { return editor.window->shown() && editor.view->draws > drawn; }));
    }
}

// The scenarios that break the connection run in a child process each (see inChild).
TEST_F(X11WindowTest, ParentDestroyedMidFrameClosesWithoutAnXError) {
    EXPECT_EQ(inChild([&] { return runParentDestroyedScenario(server->name); }), 0)
        << "1: an X error ended the process; 11: the window did not open; 12, 13: it did not "
           "close; 14: it never drew; above 128: a signal";
}

// Both ways of drawing: the server's keeps fonts and masks on the connection.
TEST_F(X11WindowTest, TwoWindowsInOneProcessSurviveEitherClosing) {
    for (const char* drawing : {"shm", "server"}) {
        for (const bool closeFirst : {true, false}) {
            EXPECT_EQ(inChild([&] {
                          setenv("ZERIN_X11_DRAWING", drawing, 1);
                          return runTwoWindowsScenario(server->name, closeFirst);
                      }),
                      0)
                << drawing << (closeFirst ? ": first closed first" : ": second closed first");
        }
    }
}

TEST_F(X11WindowTest, KilledConnectionClosesThatWindowOnly) {
    EXPECT_EQ(inChild([&] { return runKilledConnectionScenario(server->name); }), 0);
}

TEST(X11WindowLost, ServerGoneClosesTheWindowAndTheProcessGoesOn) {
    if (!installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/setup)";
    XvfbServer server;
    ASSERT_FALSE(server.name.empty()) << "Xvfb did not start";
    EXPECT_EQ(inChild([&] { return runServerGoneScenario(server); }), 0);
}

TEST_F(X11WindowTest, ClicksAndWheelArriveInPoints) {
    if (!installed("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        Editor editor;
        ASSERT_TRUE(editor.open(options(scale))) << editor.error;
        ASSERT_TRUE(pumpUntilDrawn(editor, other));
        // No window manager: the window sits at the root's origin.
        xdotool({"mousemove", "60", "40", "click", "1", "click", "5", "click", "4"});
        ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->wheel.size() == 2; }));
        const Point clicked{60.0 / scale, 40.0 / scale};
        EXPECT_EQ(editor.view->downs, std::vector<Point>{clicked});
        EXPECT_EQ(editor.view->ups, std::vector<Point>{clicked});
        EXPECT_EQ(editor.view->wheel, (std::vector<double>{1.0, -1.0}));

        xdotool({"mousedown", "1", "mousemove", "100", "80", "mouseup", "1"});
        ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->ups.size() == 2; }));
        ASSERT_FALSE(editor.view->drags.empty());
        EXPECT_EQ(editor.view->drags.back(), (Point{100.0 / scale, 80.0 / scale}));
        EXPECT_EQ(editor.view->ups.back(), (Point{100.0 / scale, 80.0 / scale}));

        // The right and middle buttons arrive named, as presses and releases of their own.
        xdotool({"click", "3", "click", "2"});
        ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->ups.size() == 4; }));
        EXPECT_EQ(editor.view->buttons,
                  (std::vector<PointerButton>{PointerButton::left, PointerButton::left,
                                              PointerButton::right, PointerButton::middle}));
    }
}

TEST_F(X11WindowTest, TypedKeysArriveAsKeyEvents) {
    if (!installed("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    Editor editor;
    ASSERT_TRUE(editor.open(options())) << editor.error;
    ASSERT_TRUE(pumpUntilDrawn(editor, other));
    xdotool({"mousemove", "50", "50", "click", "1"});
    ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->ups.size() == 1; }));
    xdotool({"key", "a", "ctrl+shift+z", "Return", "BackSpace"});
    ASSERT_TRUE(editor.pumpUntil([&] { return editor.view->keys.size() == 4; }));
    const auto& keys = editor.view->keys;
    EXPECT_EQ(keys[0].key, Key::character);
    EXPECT_EQ(keys[0].text, "a");
    EXPECT_NE(keys[1].key, Key::character);
    EXPECT_EQ(keys[1].keysym, U'z');
    EXPECT_TRUE(keys[1].modifiers.control && keys[1].modifiers.shift);
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
