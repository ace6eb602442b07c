// The editor library in a small host of our own, on Xvfb: loaded with dlopen, given a window
// of the host's as ui:parent and driven by idle calls, as suil, Ardour and jalv.gtk3 embed it.
// Each scenario runs in a child process, which stands for the host: an X error or I/O error
// would end it in Xlib's handler or in the host's, as GDK's ends a real host.

#include "lv2/uris.h"
#include "lv2_host.h"
#include "support/xvfb.h"

// Before the X11 headers, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <lv2/ui/ui.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

// Under the sanitizers: cairo's X11 backend keeps a few records per display past
// XCloseDisplay, which tests/lsan.supp exempts by the stack that made them; only whole stacks
// show it. The hosts exit through exit(), so their leaks are checked.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace zerin::test {
namespace {

constexpr int kWidth = 900; // the editor's size at scale 1
constexpr int kHeight = 600;

// Stands for a host's process-wide I/O error handler, which ends the process as GDK's does.
int hostIoErrorHandler(Display*) {
    _exit(20);
}

struct UiLibrary {
    void* handle = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;

    UiLibrary() {
        std::string path = ZERIN_LV2_BUNDLE;
        path += "/zerin_ui.so"; // appending: GCC 12 warns falsely about string + "literal"
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        auto function =
            reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(handle, "lv2ui_descriptor"));
        descriptor = function != nullptr ? function(0) : nullptr;
    }
    // Kept loaded, as hosts keep a library whose editors may come back.
};

// What the host sees of a window: a fingerprint of its pixels and how many colours show.
struct Look {
    std::uint64_t hash = 0;
    std::size_t colours = 0;
};

Look look(Display* display, unsigned long window) {
    Look result;
    XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (image == nullptr) return result;
    std::unordered_set<unsigned long> seen;
    std::uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < kHeight; y += 2) {
        for (int x = 0; x < kWidth; x += 2) {
            const unsigned long pixel = XGetPixel(image, x, y);
            seen.insert(pixel);
            hash = (hash ^ pixel) * 1099511628211ull;
        }
    }
    XDestroyImage(image);
    result.hash = hash;
    result.colours = seen.size();
    return result;
}

// One editor as a host embeds it, in a window of the host's at `x`.
class EmbeddedEditor {
public:
    EmbeddedEditor(const LV2UI_Descriptor* descriptor, Display* host, UridMapper& mapper, int x)
        : descriptor(descriptor), host(host) {
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), x, 0, kWidth, kHeight, 0, 0, 0);
        XMapWindow(host, parent);
        XSync(host, False);
        LV2_Feature parentFeature{LV2_UI__parent,
                                  reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))};
        LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
        const LV2_Feature* features[] = {&mapper.feature, &parentFeature, &idleFeature, nullptr};
        handle = descriptor->instantiate(descriptor, lv2::kStereoUri, ZERIN_LV2_BUNDLE, write, this,
                                         &widget, features);
        idleInterface = static_cast<const LV2UI_Idle_Interface*>(
            descriptor->extension_data(LV2_UI__idleInterface));
    }
    ~EmbeddedEditor() { close(); }
    EmbeddedEditor(const EmbeddedEditor&) = delete;
    EmbeddedEditor& operator=(const EmbeddedEditor&) = delete;

    bool isOpen() const { return handle != nullptr && idleInterface != nullptr; }
    unsigned long window() const { return reinterpret_cast<std::uintptr_t>(widget); }

    // One idle call; the editor asks to be closed with a non-zero answer.
    void idle() {
        if (handle != nullptr && idleInterface->idle(handle) != 0) closeAsked = true;
        if (handle == nullptr || !watched) return;
        const Look now = look(host, window());
        if (now.colours > 1000 && now.hash != shown.hash) ++framesSeen;
        shown = now;
    }
    void close() {
        if (handle != nullptr) descriptor->cleanup(handle);
        handle = nullptr;
    }

    // An event of the DSP's notify port, as a host passes it on.
    void notify(std::uint32_t port, const LV2_Atom* atom, std::size_t bytes, LV2_URID transfer) {
        if (handle != nullptr)
            descriptor->port_event(handle, port, static_cast<std::uint32_t>(bytes), transfer, atom);
    }

    bool closeAsked = false;
    bool watched = true; // the host looks at its pixels after each idle call
    int framesSeen = 0;  // changes of a filled editor seen from the host
    int writes = 0;
    std::vector<std::vector<std::uint8_t>> outbox; // the messages it wrote, for the DSP

private:
    static void write(LV2UI_Controller controller, std::uint32_t, std::uint32_t size,
                      std::uint32_t protocol, const void* buffer) {
        auto* editor = static_cast<EmbeddedEditor*>(controller);
        ++editor->writes;
        if (protocol == 0) return; // a control port's value
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        editor->outbox.emplace_back(bytes, bytes + size);
    }

    const LV2UI_Descriptor* descriptor;
    Display* host;
    Window parent = 0;
    LV2UI_Handle handle = nullptr;
    LV2UI_Widget widget = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    Look shown;
};

// A host's GUI loop: idles every open editor about 60 times a second until `done` holds, with
// a generous bound so that an editor that never shows fails the test instead of hanging it.
bool idleUntil(Display* host, const std::vector<EmbeddedEditor*>& editors,
               const std::function<bool()>& done) {
    for (int round = 0; round < 3000; ++round) {
        for (EmbeddedEditor* editor : editors)
            editor->idle();
        if (done()) return true;
        pollfd fd{ConnectionNumber(host), POLLIN, 0};
        poll(&fd, 1, 16);
    }
    return false;
}

// The editor builds once the DSP answers, or after a second without one (no DSP here); its
// background moves, so a few new frames show that it draws, text included.
bool drawsFrames(Display* host, const std::vector<EmbeddedEditor*>& editors, int frames) {
    std::vector<int> before;
    for (EmbeddedEditor* editor : editors)
        before.push_back(editor->framesSeen);
    return idleUntil(host, editors, [&] {
        for (std::size_t i = 0; i < editors.size(); ++i)
            if (editors[i]->framesSeen < before[i] + frames) return false;
        return true;
    });
}

struct Host {
    UiLibrary library;
    UridMapper mapper;
    Display* display = nullptr;

    explicit Host(const std::string& server) {
        setenv("DISPLAY", server.c_str(), 1); // where the editors open their connections
        XSetIOErrorHandler(hostIoErrorHandler);
        display = XOpenDisplay(server.c_str());
    }
    ~Host() {
        if (display != nullptr) XCloseDisplay(display);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    std::unique_ptr<EmbeddedEditor> open(int x) {
        return std::make_unique<EmbeddedEditor>(library.descriptor, display, mapper, x);
    }
};

// Two editors side by side; one goes (closed, or its connection killed as xkill kills it, when
// it must ask to be closed), the other keeps drawing and then closes too.
int runTwoEditors(const std::string& server, int going, bool killed) {
    Host host(server);
    if (host.library.descriptor == nullptr || host.display == nullptr) return 10;
    std::unique_ptr<EmbeddedEditor> editors[] = {host.open(0), host.open(kWidth + 10)};
    if (!editors[0]->isOpen() || !editors[1]->isOpen()) return 11;
    // cairo uploads the glyphs of a text to the server once it has drawn it a few times.
    if (!drawsFrames(host.display, {editors[0].get(), editors[1].get()}, killed ? 2 : 30))
        return 12;
    auto& gone = editors[going];
    auto& staying = editors[1 - going];
    if (killed) {
        gone->watched = false; // its window goes with its connection
        XKillClient(host.display, gone->window());
        XSync(host.display, False);
        if (!idleUntil(host.display, {gone.get(), staying.get()}, [&] { return gone->closeAsked; }))
            return 13;
    }
    gone.reset();
    if (!drawsFrames(host.display, {staying.get()}, 5)) return 14;
    if (staying->closeAsked) return 15;
    staying.reset();
    return 0;
}

// A session's DSP that the host runs only `lateSeconds` after the editor opened (never, when
// negative: the editor closes first), as a stopped engine or a long period does. The editor
// must wait for what the DSP holds and never send curves of its own: what the DSP then plays
// and saves is the session's, flat at 1500 ms.
int runLateDsp(const std::string& server, double lateSeconds) {
    Host host(server);
    DspLibrary library;
    const LV2_Descriptor* plugin = library.descriptor(lv2::kStereoUri);
    if (host.library.descriptor == nullptr || host.display == nullptr || plugin == nullptr)
        return 10;
    lv2::Urids urids{};
    urids.map(&host.mapper.map);
    const LV2_Feature* features[] = {&host.mapper.feature, nullptr};
    const std::vector<float> input(512, 0.1f);
    const auto ignore = [](const LV2_Atom*, std::size_t) {};

    // The session as the host restores it: every curve flat, then saved.
    StateMap session;
    {
        Instance author(plugin, 48000.0, features);
        std::vector<std::vector<std::uint8_t>> set;
        const std::vector<float> flat = {100.0f, 1500.0f, 5000.0f, 1500.0f};
        for (const auto& [slot, kind] : {std::pair{CurveSlot::a, CurveKind::delay},
                                         std::pair{CurveSlot::b, CurveKind::delay}}) {
            SequenceBuffer buffer;
            buffer.input(&host.mapper.map, [&](LV2_Atom_Forge* f) {
                forgeFloatVector(f, urids, urids.patchSet, urids.curveProperty(slot, kind), flat);
            });
            const LV2_Atom_Event* event = lv2_atom_sequence_begin(&buffer.sequence()->body);
            const auto* body = reinterpret_cast<const std::uint8_t*>(&event->body);
            set.emplace_back(body, body + lv2_atom_total_size(&event->body));
        }
        StateMap fresh;
        if (author.save(fresh) != LV2_STATE_SUCCESS) return 11;
        author.exchange(&host.mapper.map, set, input, ignore);
        if (author.save(session) != LV2_STATE_SUCCESS) return 11;
        if (session.at(urids.curve).bytes == fresh.at(urids.curve).bytes) return 17;
    }
    Instance dsp(plugin, 48000.0, features);
    if (dsp.restore(session) != LV2_STATE_SUCCESS) return 12;

    auto editor = host.open(0);
    if (!editor->isOpen()) return 13;
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(std::abs(lateSeconds));
    // The editor runs, draws and asks while the DSP does not.
    if (!idleUntil(host.display, {editor.get()},
                   [&] { return std::chrono::steady_clock::now() >= until; }))
        return 14;
    // What the editor wrote reaches the DSP, even from an editor closed unanswered.
    std::vector<std::vector<std::uint8_t>> pending = std::move(editor->outbox);
    if (lateSeconds < 0.0) editor.reset();
    for (int cycle = 0; cycle < 20; ++cycle) {
        if (editor) pending.insert(pending.end(), editor->outbox.begin(), editor->outbox.end());
        if (editor) editor->outbox.clear();
        dsp.exchange(&host.mapper.map, pending, input,
                     [&](const LV2_Atom* atom, std::size_t bytes) {
                         if (editor)
                             editor->notify(static_cast<std::uint32_t>(dsp.ports.notify), atom,
                                            bytes, urids.atomEventTransfer);
                     });
        if (editor) editor->idle();
    }
    StateMap saved;
    if (dsp.save(saved) != LV2_STATE_SUCCESS) return 15;
    for (const auto& [key, value] : session)
        if (saved.count(key) == 0 || saved.at(key).bytes != value.bytes) return 16;
    return 0;
}

class Lv2UiHost : public ::testing::Test {
protected:
    void SetUp() override {
        if (!installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/setup)";
        server = std::make_unique<XvfbServer>("1920x700x24");
        ASSERT_FALSE(server->name.empty()) << "Xvfb did not start";
    }
    std::unique_ptr<XvfbServer> server;
};

TEST_F(Lv2UiHost, TwoEditorsCloseInEitherOrder) {
    for (const int going : {0, 1})
        EXPECT_EQ(inChild([&] { return runTwoEditors(server->name, going, false); }), 0) << going;
}

TEST_F(Lv2UiHost, AnEditorOpenedBeforeTheDspAnswersKeepsTheSession) {
    for (const double late : {2.0, -2.0})
        EXPECT_EQ(inChild([&] { return runLateDsp(server->name, late); }), 0) << late;
}

TEST_F(Lv2UiHost, AKilledEditorConnectionEndsThatEditorNotTheHost) {
    EXPECT_EQ(inChild([&] { return runTwoEditors(server->name, 0, true); }), 0);
}

} // namespace
} // namespace zerin::test
