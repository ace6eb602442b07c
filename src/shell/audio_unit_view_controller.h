#pragma once

// The editor's entry point over an in-process unit: creates the unit, installs its parameter
// tree, re-announces every value when the host changes them in bulk, and shows the main view
// in a ViewHost at 900 x 600 points.

#include "audiounit/zerin_audio_unit.h"
#include "platform/ui/main_queue.h"
#include "platform/ui/view_host.h"
#include "presets/preference_store.h"

#include <memory>
#include <thread>

namespace zerin {

class EditorUnitLink;
class ObservableAUParameterGroup;
class ZerinExtensionMainView;

class AudioUnitViewController {
public:
    static constexpr Size preferredContentSize{900.0, 600.0};

    // Main thread: the thread that constructs the controller is taken as the main thread.
    // `queue` must outlive the controller; the editor's user presets live in `presetStore`.
    explicit AudioUnitViewController(MainQueue& queue,
                                     PreferenceStore presetStore = PreferenceStore());
    ~AudioUnitViewController();
    AudioUnitViewController(const AudioUnitViewController&) = delete;
    AudioUnitViewController& operator=(const AudioUnitViewController&) = delete;

    // Main thread. The unit with its tree installed (null and `error` when it cannot be
    // made); the editor build is posted to the main queue.
    std::shared_ptr<ZerinExtensionAudioUnit> createAudioUnit(const AudioComponentDescription& d,
                                                             AUError* error);
    // The view is ready: sizes `host` to preferredContentSize and shows the editor there if a
    // unit exists (now, and again whenever the editor is rebuilt). `host` must outlive the
    // controller; its unhandledKey gets the editor's shortcuts.
    void viewDidLoad(ViewHost& host);
    // Builds (or rebuilds, replacing the old one) the editor over `unit`. Nothing is shown
    // before viewDidLoad or for a unit without a parameter tree.
    void buildEditorView(const std::shared_ptr<ZerinExtensionAudioUnit>& unit);

    std::shared_ptr<ZerinExtensionAudioUnit> audioUnit() const { return unit; }
    ViewHost* host() const { return viewHost; }
    // The editor shown in the host, if any.
    ZerinExtensionMainView* mainView() const;

private:
    void stopObserving();
    void removeEditor();

    MainQueue& queue;
    PreferenceStore presetStore;
    std::thread::id mainThread = std::this_thread::get_id();
    std::shared_ptr<ZerinExtensionAudioUnit> unit;
    ViewHost* viewHost = nullptr;
    std::unique_ptr<EditorUnitLink> link;
    std::unique_ptr<ObservableAUParameterGroup> parameterTree;
    std::uint64_t observation = 0; // token of the bulk-change observer, 0: none
    // Lets tasks posted to the queue tell whether the controller is still there.
    std::shared_ptr<AudioUnitViewController*> self =
        std::make_shared<AudioUnitViewController*>(this);
};

} // namespace zerin
