#include "snapshot.h"

#include "audio_source.h"
#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/view_host.h"
#include "session/exit_status.h"
#include "shell/audio_unit_view_controller.h"
#include "shell/main_view.h"
#include "source_renderer.h"

#include <cstdio>

namespace zerin::editor {

namespace {

using session::kExitFailure;
using session::kExitOk;

// A fixed start for the frame clock (2024-01-01, in seconds since 2001-01-01), so animations
// driven by it (the background orbs, the LFO) come out the same in every snapshot.
constexpr double kEpoch = 725846400.0;
constexpr double kFrameSeconds = 1.0 / 60.0;
// What the unit hears before the first frame: enough for the classification to settle.
constexpr double kPrerollSeconds = 3.0;

int fail(const std::string& message) {
    std::fprintf(stderr, "zerin-editor: %s\n", message.c_str());
    return kExitFailure;
}

// The editor over a unit that hears the source as time goes by, on a clock of its own: the
// queue's timers and the display frames both run on `now`.
class OffscreenSession {
public:
    OffscreenSession() : mQueue([this] { return mNow; }), mHost(mQueue, kEditorSize) {}
    ~OffscreenSession() { mHost.setRoot(nullptr); } // the views go before their controller
    OffscreenSession(const OffscreenSession&) = delete;
    OffscreenSession& operator=(const OffscreenSession&) = delete;

    std::optional<int> open(const EditorOptions& options, const SessionPlan& plan);
    void runFrames(const EditorOptions& options);
    void pollOnce();
    ViewHost& host() { return mHost; }

private:
    static constexpr Size kEditorSize = AudioUnitViewController::preferredContentSize;
    void hearUntil(double seconds);

    double mNow = kEpoch;
    MainQueue mQueue;
    ViewHost mHost;
    std::unique_ptr<AudioSource> mSource;
    std::unique_ptr<AudioUnitViewController> mController;
    std::unique_ptr<SourceRenderer> mRenderer;
    double mHeard = 0.0; // seconds of the source rendered since the first frame
};

std::optional<int> OffscreenSession::open(const EditorOptions& options, const SessionPlan& plan) {
    std::string error;
    mSource = AudioSource::open(options.input, &error);
    if (!mSource) return fail(error);
    mController = std::make_unique<AudioUnitViewController>(mQueue);
    AUError auError;
    const auto unit = mController->createAudioUnit(zerinComponentDescription(), &auError);
    if (!unit) return fail("cannot create the audio unit: " + auError.message);
    applyChoices(options, plan, *unit);
    const session::AudioInfo& info = mSource->info();
    if (!prepareUnit(*unit, info.sampleRate, static_cast<std::uint32_t>(info.channels),
                     kSourceBlockFrames, &error))
        return fail(error);
    mRenderer = std::make_unique<SourceRenderer>(*unit, *mSource);
    if (!mRenderer->renderSeconds(kPrerollSeconds)) return fail("the audio unit failed to render");
    mController->viewDidLoad(mHost);
    mHost.setSize(options.size.value_or(kEditorSize));
    return std::nullopt;
}

// As in the live editor, the unit goes on hearing the source (looped) while frames pass.
void OffscreenSession::hearUntil(double seconds) {
    const double block = kSourceBlockFrames / mSource->info().sampleRate;
    for (; mHeard < seconds; mHeard += block)
        mRenderer->renderBlock(true);
}

void OffscreenSession::runFrames(const EditorOptions& options) {
    const Overlay overlay = options.show;
    for (int frame = 0; frame <= options.frames; ++frame) {
        mNow = kEpoch + frame * kFrameSeconds;
        hearUntil(frame * kFrameSeconds);
        mQueue.pump();
        mHost.advance(mNow);
        if (frame > 0) continue;
        if (ZerinExtensionMainView* view = mController->mainView()) {
            view->editCurve(options.editSlot, options.editKind);
            view->setShowPresetBrowser(overlay == Overlay::browser);
            view->setShowSaveDialog(overlay == Overlay::save);
            view->setShowCopyMenu(overlay == Overlay::copy);
            if (overlay == Overlay::hover) {
                const SpectralCanvasView& canvas = view->canvas();
                const Point at = screenPoint(1000.0f, 900.0f, canvas.size);
                const Point origin = canvas.originInRoot();
                mHost.pointerMoved({origin.x + at.x, origin.y + at.y}, {});
            }
        }
    }
}

// The editor takes the classification from its own timer, one poll interval apart. Moving
// the queue's clock on by that interval (the frames stay where they are) lets that timer read
// what the unit heard last, so the picture shows the newest bands even after few frames.
void OffscreenSession::pollOnce() {
    const double frameTime = mNow;
    hearUntil(mHeard + ZerinExtensionMainView::kPollInterval);
    mNow = frameTime + ZerinExtensionMainView::kPollInterval;
    mQueue.pump();
    mQueue.pump(); // a tick may hand its result on as a task
    mNow = frameTime;
    mHost.advance(mNow);
}

} // namespace

int runSnapshot(const EditorOptions& options, const SessionPlan& plan) {
    OffscreenSession session;
    if (auto refused = session.open(options, plan)) return *refused;
    session.runFrames(options);
    session.pollOnce();
    OffscreenImage image(session.host().size(), options.scale.value_or(1.0));
    image.draw(session.host());
    std::string error;
    if (!image.writePng(*options.snapshotPath, &error)) return fail(error);
    return kExitOk;
}

} // namespace zerin::editor
