// The LV2 UI: the editor in an X11 child window of the host's, on a display connection of its
// own, driven by the host's idle calls. Controls travel as port writes (inside ui:touch
// gestures where the host offers them), the curve and preset name as patch messages; nothing
// here reaches into the DSP's instance, so out-of-process hosts work too.

#include "lv2/port_parameters.h"
#include "lv2/ports.h"
#include "lv2/ui_link.h"
#include "lv2/uris.h"
#include "platform/ui/main_queue.h"
#include "platform/ui/view_host.h"
#include "platform/ui/x11_window.h"
#include "shell/editor_window_size.h"
#include "shell/main_view.h"

#include <lv2/atom/atom.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

namespace zerin::lv2 {
namespace {

struct Features {
    const LV2_URID_Map* map = nullptr;
    void* parent = nullptr;
    const LV2UI_Resize* resize = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2_Options_Option* options = nullptr;
    const LV2_Log_Log* log = nullptr;
};

Features readFeatures(const LV2_Feature* const* features) {
    Features f;
    for (const LV2_Feature* const* p = features; p != nullptr && *p != nullptr; ++p) {
        const char* uri = (*p)->URI;
        if (std::strcmp(uri, LV2_URID__map) == 0)
            f.map = static_cast<const LV2_URID_Map*>((*p)->data);
        else if (std::strcmp(uri, LV2_UI__parent) == 0)
            f.parent = (*p)->data;
        else if (std::strcmp(uri, LV2_UI__resize) == 0)
            f.resize = static_cast<const LV2UI_Resize*>((*p)->data);
        else if (std::strcmp(uri, LV2_UI__touch) == 0)
            f.touch = static_cast<const LV2UI_Touch*>((*p)->data);
        else if (std::strcmp(uri, LV2_OPTIONS__options) == 0)
            f.options = static_cast<const LV2_Options_Option*>((*p)->data);
        else if (std::strcmp(uri, LV2_LOG__log) == 0)
            f.log = static_cast<const LV2_Log_Log*>((*p)->data);
    }
    return f;
}

// The host's option `uri`, when it offers it as an atom:Float (or, for `orDouble`, an
// atom:Double); NaN when it does not.
double numberOption(const Features& f, const char* uri, bool orDouble) {
    if (f.map == nullptr || f.options == nullptr) return std::nan("");
    const LV2_URID key = f.map->map(f.map->handle, uri);
    const LV2_URID floatType = f.map->map(f.map->handle, LV2_ATOM__Float);
    const LV2_URID doubleType = f.map->map(f.map->handle, LV2_ATOM__Double);
    for (const LV2_Options_Option* o = f.options; o->key != 0; ++o) {
        if (o->key != key) continue;
        if (o->type == floatType && o->size == sizeof(float))
            return *static_cast<const float*>(o->value);
        if (orDouble && o->type == doubleType && o->size == sizeof(double))
            return *static_cast<const double*>(o->value);
    }
    return std::nan("");
}

// The host's ui:scaleFactor, when it offers one that makes sense.
double scaleFactor(const Features& f) {
    const double scale = numberOption(f, LV2_UI__scaleFactor, false);
    return std::isfinite(scale) && scale >= 0.5 && scale <= 4.0 ? scale : 1.0;
}

// Tells the user `message` through the host's log; a host without one hears nothing, since
// the editor runs inside the host's process and its output is the host's.
void logError(const Features& f, const std::string& message) {
    if (f.log == nullptr || f.map == nullptr) return;
    const LV2_URID error = f.map->map(f.map->handle, LV2_LOG__Error);
    f.log->printf(f.log->handle, error, "zerin: %s\n", message.c_str());
}

// Runs an entry point the host calls: nothing thrown may reach the host, whose C code cannot
// take it (the process would end). What cannot run is logged, and `fallback` returned.
template <typename Result, typename Body>
Result guarded(const Features& f, Result fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        try {
            logError(f, std::string("the editor stopped an operation: ") + e.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return fallback;
}

struct Ui {
    Features features;
    PortLayout ports{};
    MainQueue queue;
    ViewHost host{queue, ZerinExtensionMainView::kSize};
    std::unique_ptr<PortParameters> parameters;
    std::unique_ptr<UiLink> link;
    std::unique_ptr<X11Window> window;

    ~Ui() {
        if (link) link->sayGoodbye();
        // The size the host or the musician gave the editor is where the next one opens.
        if (window && !window->connectionLost()) {
            PreferenceStore store;
            storeEditorSize(store, host.size());
        }
        // The view holds on to the parameters and the link; it goes while the window's
        // connection is open, and a connection that broke meanwhile ends the editor only.
        if (window) window->releaseViews();
        host.setRoot(nullptr);
        window.reset();
    }

    // The editor opens at once; until the DSP has said what it holds it shows that it waits
    // and sends no curve, so a DSP that answers late (a stopped or slow engine, a long
    // period) keeps the session's curves.
    void buildEditor() {
        auto view = std::make_unique<ZerinExtensionMainView>(*parameters, link.get());
        ZerinExtensionMainView* raw = view.get();
        host.setRoot(std::move(view));
        host.unhandledKey = [raw](const KeyEvent& event) { return raw->handleShortcut(event); };
    }
};

Ui* asUi(LV2UI_Handle handle) {
    return static_cast<Ui*>(handle);
}

LV2UI_Handle open(const Features& f, const char* pluginUri, LV2UI_Write_Function write,
                  LV2UI_Controller controller, LV2UI_Widget* widget) {
    if (f.map == nullptr || f.parent == nullptr) {
        logError(f, "the editor needs the host's urid:map and ui:parent");
        return nullptr;
    }
    auto ui = std::unique_ptr<Ui>(new (std::nothrow) Ui());
    if (!ui) return nullptr;
    ui->features = f;
    ui->ports = std::strcmp(pluginUri, kMonoUri) == 0 ? kMonoPorts : kStereoPorts;
    ui->parameters = std::make_unique<PortParameters>(ui->ports, write, controller, f.touch);
    ui->link = std::make_unique<UiLink>(f.map, write, controller,
                                        static_cast<std::uint32_t>(ui->ports.control));
    // Hosts that pass options to their UIs (jalv does) say the rate; 0 when not told.
    const double rate = numberOption(f, LV2_PARAMETERS__sampleRate, true);
    ui->link->setHostSampleRate(std::isfinite(rate) ? rate : 0.0);
    ui->link->setChannelCount(ui->ports.channels);

    const double scale = scaleFactor(f);
    X11WindowOptions options;
    options.size = storedEditorSize(PreferenceStore()).value_or(ZerinExtensionMainView::kSize);
    options.scale = scale;
    options.parent = reinterpret_cast<std::uintptr_t>(f.parent);
    std::string error;
    ui->window = X11Window::open(ui->host, options, &error);
    if (!ui->window) {
        logError(f, "cannot open the editor: " + error);
        return nullptr;
    }
    // An X11 UI hands its window id over in the widget pointer: LV2 asks for exactly this cast.
    *widget = reinterpret_cast<LV2UI_Widget>( // NOLINT(performance-no-int-to-ptr)
        static_cast<std::uintptr_t>(ui->window->windowId()));
    if (f.resize != nullptr)
        f.resize->ui_resize(f.resize->handle,
                            static_cast<int>(std::lround(options.size.width * scale)),
                            static_cast<int>(std::lround(options.size.height * scale)));
    ui->link->requestState();
    ui->buildEditor();
    return ui.release();
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    const Features f = readFeatures(features);
    return guarded<LV2UI_Handle>(f, nullptr,
                                 [&] { return open(f, pluginUri, write, controller, widget); });
}

void cleanup(LV2UI_Handle handle) {
    Ui* ui = asUi(handle);
    const Features f = ui->features;
    guarded(f, 0, [&] {
        delete ui;
        return 0;
    });
}

void takePortEvent(Ui* ui, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                   const void* buffer) {
    const int index = static_cast<int>(port);
    // From the host: the control shows it, and nothing is written back.
    if (format == 0 && size == sizeof(float) &&
        ui->parameters->takePortValue(port, *static_cast<const float*>(buffer)))
        return;
    if (index == ui->ports.notify) ui->link->receive(buffer, size);
}

int pumpOnce(Ui* ui) {
    ui->window->pump();
    return ui->window->closeRequested() ? 1 : 0;
}

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    Ui* ui = asUi(handle);
    guarded(ui->features, 0, [&] {
        takePortEvent(ui, port, size, format, buffer);
        return 0;
    });
}

// An editor that cannot go on asks the host to close it.
int idle(LV2UI_Handle handle) {
    Ui* ui = asUi(handle);
    return guarded(ui->features, 1, [&] { return pumpOnce(ui); });
}

// The host sizes the editor (its window grew, a session restored a size): in pixels, brought
// within what the editor can take.
int resizeTo(LV2UI_Feature_Handle handle, int width, int height) {
    Ui* ui = static_cast<Ui*>(handle);
    return guarded(ui->features, 1, [&] {
        const double scale = ui->window->scale();
        const std::optional<Size> size = usableEditorSize({width / scale, height / scale});
        if (!size) return 1;
        ui->window->requestSize(*size);
        return 0;
    });
}

const void* extensionData(const char* uri) {
    static const LV2UI_Idle_Interface idleInterface{idle};
    static const LV2UI_Resize resizeInterface{nullptr, resizeTo};
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idleInterface;
    if (std::strcmp(uri, LV2_UI__resize) == 0) return &resizeInterface;
    return nullptr;
}

} // namespace

const LV2UI_Descriptor kUiDescriptor{kUiUri, instantiate, cleanup, portEvent, extensionData};

} // namespace zerin::lv2

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &zerin::lv2::kUiDescriptor : nullptr;
}
