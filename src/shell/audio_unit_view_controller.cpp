#include "shell/audio_unit_view_controller.h"

#include "audiounit/parameters.h"
#include "shell/in_process_unit_link.h"
#include "shell/main_view.h"
#include "shell/observable_parameter.h"

#include <cstdio>
#include <string>
#include <utility>

namespace zerin {

namespace {

void logError(const char* message) {
    std::fprintf(stderr, "zerin AudioUnitViewController: error: %s\n", message);
}

// Setting each parameter to its own value tells every observer of it (the editor's mirror,
// the kernel) the value anew.
void reannounce(const std::weak_ptr<ZerinExtensionAudioUnit>& weak) {
    const auto unit = weak.lock();
    if (!unit) return;
    const std::shared_ptr<AUParameterTree> tree = unit->parameterTree();
    if (!tree) return;
    for (AUParameter* parameter : tree->allParameters())
        parameter->setValue(parameter->value());
}

} // namespace

AudioUnitViewController::AudioUnitViewController(MainQueue& queue, PreferenceStore presetStore)
    : queue(queue), presetStore(std::move(presetStore)) {}

AudioUnitViewController::~AudioUnitViewController() {
    *self = nullptr;
    stopObserving();
    removeEditor();
}

std::shared_ptr<ZerinExtensionAudioUnit>
AudioUnitViewController::createAudioUnit(const AudioComponentDescription& d, AUError* error) {
    std::shared_ptr<ZerinExtensionAudioUnit> created = ZerinExtensionAudioUnit::create(d, 0, error);
    if (!created) return nullptr;
    stopObserving();
    unit = created;
    unit->setupParameterTree(buildParameterTree(parameterTreeSpec()));

    const std::weak_ptr<ZerinExtensionAudioUnit> weak = unit;
    MainQueue* mainQueue = &queue;
    const std::thread::id main = mainThread;
    // Runs on the thread that changed the values; the mirror is the main thread's.
    observation = unit->observeAllParameterValues([weak, mainQueue, main] {
        if (std::this_thread::get_id() == main)
            reannounce(weak);
        else
            mainQueue->post([weak] { reannounce(weak); });
    });

    if (!unit->parameterTree()) logError("Unable to access AU ParameterTree");

    const std::weak_ptr<AudioUnitViewController*> controller = self;
    queue.post([controller, weak] {
        const auto alive = controller.lock();
        const auto built = weak.lock();
        if (alive && *alive != nullptr && built) (*alive)->buildEditorView(built);
    });
    return unit;
}

void AudioUnitViewController::viewDidLoad(ViewHost& host) {
    viewHost = &host;
    host.setSize(preferredContentSize);
    if (unit) buildEditorView(unit);
}

void AudioUnitViewController::buildEditorView(
    const std::shared_ptr<ZerinExtensionAudioUnit>& built) {
    removeEditor();
    if (viewHost == nullptr || !built) return;
    const std::shared_ptr<AUParameterTree> tree = built->parameterTree();
    if (!tree) return;
    parameterTree = std::make_unique<ObservableAUParameterGroup>(*tree, tree, queue);
    parameterTree->log = [](const std::string& message) { logError(message.c_str()); };
    link = std::make_unique<InProcessUnitLink>(built);
    viewHost->setRoot(
        std::make_unique<ZerinExtensionMainView>(*parameterTree, link.get(), presetStore));
    ViewHost* host = viewHost;
    viewHost->unhandledKey = [host](const KeyEvent& event) {
        auto* view = dynamic_cast<ZerinExtensionMainView*>(host->root());
        return view != nullptr && view->handleShortcut(event);
    };
}

ZerinExtensionMainView* AudioUnitViewController::mainView() const {
    return viewHost != nullptr ? dynamic_cast<ZerinExtensionMainView*>(viewHost->root()) : nullptr;
}

void AudioUnitViewController::stopObserving() {
    if (unit && observation != 0) unit->removeAllParameterValuesObserver(observation);
    observation = 0;
}

// The view goes first: it holds on to the mirror and the link.
void AudioUnitViewController::removeEditor() {
    if (viewHost != nullptr && mainView() != nullptr) {
        viewHost->setRoot(nullptr);
        viewHost->unhandledKey = nullptr;
    }
    link.reset();
    parameterTree.reset();
}

} // namespace zerin
