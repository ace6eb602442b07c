#include "live_editor.h"

#include "audio_source.h"
#include "display_scale.h"
#include "event_sources.h"
#include "jack_engine.h"
#include "platform/ui/view.h"
#include "platform/ui/view_host.h"
#include "platform/ui/x11_window.h"
#include "session/exit_status.h"
#include "shell/audio_unit_view_controller.h"
#include "shell/editor_window_size.h"
#include "shell/main_view.h"
#include "source_renderer.h"

#include <poll.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zerin::editor {

namespace {

using session::kExitFailure;
using session::kExitOk;

int fail(const std::string& message) {
    std::fprintf(stderr, "zerin-editor: %s\n", message.c_str());
    return kExitFailure;
}

// Where the unit's audio comes from: JACK, or a source looped in real time.
struct Audio {
    std::unique_ptr<JackEngine> jack;
    std::unique_ptr<AudioSource> source;
    std::unique_ptr<SourceLoop> loop;
};

// Ctrl+S, for the whole editor; any other key goes on to whatever handler the editor itself
// installed. A named type, so the loop can tell whether it is still in place after the
// editor was rebuilt.
struct SaveShortcut {
    std::function<bool(const KeyEvent&)> next;
    std::function<void()> save;
    bool operator()(const KeyEvent& event) const {
        const ModifierKeys& m = event.modifiers;
        if (event.keysym == U's' && m.control && !m.shift && !m.option && !m.command) {
            save();
            return true;
        }
        return next ? next(event) : false;
    }
};

class LiveEditor {
public:
    LiveEditor(const EditorOptions& options, SessionPlan& plan)
        : mOptions(options), mPlan(plan), mQueue(MainQueue::steadyClock, [this] { mWake.wake(); }),
          mController(mQueue) {}
    ~LiveEditor();
    LiveEditor(const LiveEditor&) = delete;
    LiveEditor& operator=(const LiveEditor&) = delete;
    int run();

private:
    int prepare();
    std::optional<int> openAudio();
    std::optional<int> startAudio();
    std::optional<int> openWindow();
    void loop();
    void installSaveShortcut();
    bool save();
    int quit();

    void stopAudio();

    const EditorOptions& mOptions;
    SessionPlan& mPlan;
    QuitSignals mSignals;
    WakePipe mWake;
    MainQueue mQueue;
    // Torn down as the destructor says: the editor's views first (while the controller that
    // feeds them still lives, and while the window's display is open, since cairo keeps
    // copies of their cached images there), then the window, the audio, and the host.
    std::unique_ptr<ViewHost> mHost;
    AudioUnitViewController mController;
    std::shared_ptr<ZerinExtensionAudioUnit> mUnit;
    Audio mAudio;
    std::unique_ptr<X11Window> mWindow;
    bool mJackWentAway = false;
};

LiveEditor::~LiveEditor() {
    if (mWindow) mWindow->releaseViews();
    if (mHost) mHost->setRoot(nullptr);
    mWindow.reset();
    stopAudio();
}

// The loop thread reads the source, JACK's thread renders the unit: each stops before what
// it uses goes.
void LiveEditor::stopAudio() {
    mAudio.loop.reset();
    mAudio.source.reset();
    mAudio.jack.reset();
}

int LiveEditor::run() {
    if (const int status = prepare(); status != kExitOk) return status;
    loop();
    return quit();
}

int LiveEditor::prepare() {
    std::string error;
    // Signals first: every thread started from here on (JACK's, the source loop) inherits
    // the blocked mask, so they all arrive at the signalfd.
    if (!mSignals.open(&error) || !mWake.open(&error)) return fail(error);
    AUError auError;
    mUnit = mController.createAudioUnit(zerinComponentDescription(), &auError);
    if (!mUnit) return fail("cannot create the audio unit: " + auError.message);
    applyChoices(mOptions, mPlan, *mUnit);
    if (auto refused = openAudio()) return *refused;
    if (auto refused = openWindow()) return *refused;
    if (auto refused = startAudio()) return *refused;
    return kExitOk;
}

std::optional<int> LiveEditor::openAudio() {
    std::string error;
    mAudio.jack = JackEngine::connect(&error);
    if (mAudio.jack) return std::nullopt;
    if (!error.empty()) std::fprintf(stderr, "zerin-editor: %s\n", error.c_str());
    mAudio.source = AudioSource::open(mOptions.input, &error);
    if (!mAudio.source) return fail(error);
    return std::nullopt;
}

std::optional<int> LiveEditor::startAudio() {
    std::string error;
    if (mAudio.jack) {
        if (!mAudio.jack->start(*mUnit, mWake.writeFd(), &error)) return fail(error);
        if (mOptions.input)
            std::fprintf(stderr, "zerin-editor: JACK feeds the unit; %s is not played\n",
                         mOptions.input->c_str());
        std::fprintf(stderr, "zerin-editor: JACK client \"%s\" at %.0f Hz, %u frames\n",
                     mAudio.jack->clientName().c_str(), mAudio.jack->sampleRate(),
                     mAudio.jack->bufferSize());
        return std::nullopt;
    }
    const session::AudioInfo& info = mAudio.source->info();
    if (!prepareUnit(*mUnit, info.sampleRate, static_cast<std::uint32_t>(info.channels),
                     kSourceBlockFrames, &error))
        return fail(error);
    mAudio.loop = std::make_unique<SourceLoop>(*mUnit, *mAudio.source);
    std::fprintf(stderr,
                 "zerin-editor: no JACK server; looping %s through the unit without "
                 "audio output\n",
                 mAudio.source->name().c_str());
    return std::nullopt;
}

std::optional<int> LiveEditor::openWindow() {
    if (mOptions.noWindow) return std::nullopt;
    // As large as asked, else as the musician last left it.
    PreferenceStore store;
    const Size size = mOptions.size.value_or(
        storedEditorSize(store).value_or(AudioUnitViewController::preferredContentSize));
    mHost = std::make_unique<ViewHost>(mQueue, size);
    mController.viewDidLoad(*mHost);
    mHost->setSize(size);
    X11WindowOptions window;
    window.title = "Zerin";
    window.size = size;
    window.minimumSize = ZerinExtensionMainView::kMinimumSize;
    window.scale = mOptions.scale ? *mOptions.scale : desktopScale().value_or(1.0);
    std::string error;
    mWindow = X11Window::open(*mHost, window, &error);
    if (!mWindow) return fail("cannot open the editor window: " + error);
    return std::nullopt;
}

void LiveEditor::installSaveShortcut() {
    if (!mHost || mHost->unhandledKey.target<SaveShortcut>() != nullptr) return;
    mHost->unhandledKey =
        SaveShortcut{std::move(mHost->unhandledKey), [this] {
                         if (mOptions.statePath)
                             save();
                         else
                             std::fprintf(stderr, "zerin-editor: nothing to save "
                                                  "to: start with --state PATH\n");
                     }};
}

bool LiveEditor::save() {
    std::string notice, error;
    const bool saved = saveState(*mUnit, *mOptions.statePath, mPlan, &notice, &error);
    if (!notice.empty()) std::fprintf(stderr, "zerin-editor: %s\n", notice.c_str());
    if (!saved) {
        std::fprintf(stderr, "zerin-editor: %s\n", error.c_str());
        return false;
    }
    std::fprintf(stderr, "zerin-editor: saved %s\n", mOptions.statePath->c_str());
    return true;
}

// One poll() over the X connection, the signals and the wake-up pipe, sleeping no longer
// than the window or the queue has nothing to do.
void LiveEditor::loop() {
    for (;;) {
        const double idle =
            mWindow ? mWindow->secondsUntilNextWork() : mQueue.secondsUntilNextWork().value_or(1.0);
        const int timeout = static_cast<int>(std::ceil(std::clamp(idle, 0.0, 1.0) * 1000.0));
        pollfd fds[3] = {{mSignals.fd(), POLLIN, 0},
                         {mWake.readFd(), POLLIN, 0},
                         {mWindow ? mWindow->connectionFd() : -1, POLLIN, 0}};
        poll(fds, 3, timeout);
        if ((fds[0].revents & POLLIN) != 0 && mSignals.take()) return;
        if ((fds[1].revents & POLLIN) != 0) mWake.drain();
        if (mAudio.jack && mAudio.jack->serverGone() && !mJackWentAway) {
            mJackWentAway = true;
            std::fprintf(stderr, "zerin-editor: the JACK server went away; audio stopped\n");
            if (!mWindow) return;
        }
        if (mWindow) {
            mWindow->pump();
            if (mWindow->connectionLost())
                std::fprintf(stderr, "zerin-editor: the connection to the X display was lost\n");
            if (mWindow->closeRequested()) return;
        } else {
            mQueue.pump();
        }
        installSaveShortcut();
    }
}

// Audio stops before the state is read for the last time, so the saved state is the one the
// listener heard last.
int LiveEditor::quit() {
    stopAudio();
    if (mWindow && !mWindow->connectionLost()) {
        PreferenceStore store;
        storeEditorSize(store, mHost->size());
    }
    if (mOptions.statePath && !save()) return kExitFailure;
    if (mWindow && mWindow->connectionLost()) return kExitFailure; // saved, but not asked to quit
    return mJackWentAway && !mWindow ? kExitFailure : kExitOk;
}

} // namespace

int runLiveEditor(const EditorOptions& options, SessionPlan& plan) {
    if (!options.noWindow) {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0')
            return fail("no display (DISPLAY is not set): use --snapshot OUT.png to draw the "
                        "editor into a file, or --no-window to run the audio alone");
    }
    LiveEditor editor(options, plan);
    return editor.run();
}

} // namespace zerin::editor
