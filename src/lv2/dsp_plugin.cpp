// The LV2 plug-in's DSP side: the kernel behind LV2 ports, messages and state. Two plug-ins,
// stereo and mono, share this code. Nothing here links X11, cairo or pango.

#include "lv2/dsp_plugin.h"

#include "dsp/factory_curves.h"
#include "lv2/ports.h"
#include "lv2/uris.h"

#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

namespace zerin::lv2 {

namespace {

Plugin* asPlugin(LV2_Handle handle) {
    return static_cast<Plugin*>(handle);
}

const LV2_URID_Map* findMap(const LV2_Feature* const* features) {
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
        if (std::strcmp((*f)->URI, LV2_URID__map) == 0)
            return static_cast<const LV2_URID_Map*>((*f)->data);
    return nullptr;
}

} // namespace

Plugin::Plugin(const PortLayout& layout) : ports(layout) {
    // Nothing applied yet: the first run takes every control port's value.
    for (int a = 0; a < parameter::kCount; ++a)
        applied[a] = std::nanf("");
    cleanPresetName(kInitPresetName, current.name);
}

void Plugin::publishCurrent() noexcept {
    mirrors[mirrorIndex.writeSlot()] = current;
    mirrorIndex.publish();
}

const Plugin::Saved& Plugin::savedState() noexcept {
    mirrorIndex.acquire();
    return mirrors[mirrorIndex.front];
}

void Plugin::applyControls() noexcept {
    for (int a = 0; a < parameter::kCount; ++a) {
        const float* port = controls[a];
        if (port == nullptr) continue;
        const float value = *port;
        // By bits: the NaN that marks "never applied" must differ from every value.
        if (std::bit_cast<std::uint32_t>(value) == std::bit_cast<std::uint32_t>(applied[a]) ||
            !std::isfinite(value))
            continue;
        applied[a] = value;
        const parameter::Range& range = parameter::kRanges[a];
        kernel.setParameter(static_cast<std::uint64_t>(a), std::clamp(value, range.min, range.max));
    }
    const bool bypassed = enabled != nullptr && !(*enabled >= 0.5f);
    kernel.setBypassed(bypassed);
}

void Plugin::setCurve(CurveSlot slot, CurveKind kind, const CurvePoint* points,
                      int count) noexcept {
    kernel.setCurve(slot, kind, points, count);
    current.set = kernel.latestCurveSet(); // kept as the kernel keeps it: sorted, whole
    publishCurrent();
}

void Plugin::setCurveSet(const CurveSet& set) noexcept {
    kernel.setCurveSet(set);
    current.set = kernel.latestCurveSet();
    publishCurrent();
}

void Plugin::handleMessage(const Message& message) noexcept {
    double bpm = 0.0;
    if (readTempo(message, urids, bpm)) {
        kernel.setHostTempo(bpm);
        return;
    }
    CurveSlot slot{};
    CurveKind kind{};
    if (message.type == urids.patchGet) {
        const LV2_URID property = message.property;
        if (property == 0)
            replyCurves = kAllCurves;
        else if (urids.curveOf(property, slot, kind))
            replyCurves |= curveBit(slot, kind);
        if (property == 0 || property == urids.presetName) replyName = true;
        if (property == 0 || property == urids.editorView) replyView = true;
        // A UI asking for the curve is a UI that draws the classification (UIs of earlier
        // builds never say so otherwise).
        uiListening = true;
        kernel.setFrameWanted(DisplayFrameKind::classification, true);
        return;
    }
    if (message.type == urids.uiClosed) {
        uiListening = false;
        for (const DisplayFrameKind kind : kDisplayFrameKinds)
            kernel.setFrameWanted(kind, false);
        return;
    }
    // Frames go out only while a UI draws them (and the analyser measures only then).
    if (DisplayFrameKind kind{};
        message.type == urids.patchSet && frameKindOf(urids, message.property, kind)) {
        bool wanted = false;
        if (readFlag(message.value, urids, wanted)) kernel.setFrameWanted(kind, wanted);
        return;
    }
    if (message.type == urids.patchSet && urids.curveOf(message.property, slot, kind)) {
        CurvePoint points[kMaxCurvePoints];
        int count = 0;
        // A curve with no usable point is refused: the one playing stays, as heard and as
        // saved, and a UI that sent it is told what still plays.
        if (readCurve(message.value, urids, points, count, kind) && count > 0)
            setCurve(slot, kind, points, count);
        else if (uiListening)
            replyCurves |= curveBit(slot, kind);
        return;
    }
    if (const LV2_Atom* value = setValue(message, urids, urids.presetName)) {
        if (!readPresetName(value, urids, current.name)) return;
        publishCurrent();
        return;
    }
    if (const LV2_Atom* value = setValue(message, urids, urids.editorView)) {
        if (!readEditorView(value, urids, current.view)) return;
        publishCurrent();
    }
}

void Plugin::readMessages() noexcept {
    if (!hasMap || control == nullptr) return;
    forEachEvent(control, [this](const LV2_Atom* atom, std::size_t bytes) {
        Message message;
        if (readMessage(atom, bytes, urids, message)) handleMessage(message);
    });
}

void Plugin::writeMessages(std::uint32_t frames) noexcept {
    if (notify == nullptr) return;
    const std::uint32_t capacity = notify->atom.size;
    if (!hasMap || capacity < sizeof(LV2_Atom_Sequence)) {
        // Still a valid, empty sequence for a host that reads it anyway; below the size of a
        // sequence's body, an empty atom.
        notify->atom.type = hasMap ? urids.atomSequence : 0;
        notify->atom.size = 0;
        if (capacity >= sizeof(LV2_Atom_Sequence_Body)) {
            notify->atom.size = sizeof(LV2_Atom_Sequence_Body);
            notify->body.unit = 0;
            notify->body.pad = 0;
        }
        return;
    }
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(notify), capacity);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_sequence_head(&forge, &frame, 0);

    // A restore is news only to a UI that shows the curve.
    if (restored.exchange(false, std::memory_order_acquire) && uiListening) {
        replyCurves = kAllCurves;
        replyName = true;
        replyView = true;
    }
    // Each message goes whole or waits for a cycle with room for it.
    for (int bit = 0; bit < kCurveSlotCount * kCurveKindCount; ++bit) {
        if ((replyCurves & (1u << bit)) == 0) continue;
        const auto slot = static_cast<CurveSlot>(bit / kCurveKindCount);
        const auto kind = static_cast<CurveKind>(bit % kCurveKindCount);
        const CurveData& curve = current.set.at(slot, kind);
        if (writeCurve(&forge, urids, Direction::toUi, curve.points, curve.count, slot, kind))
            replyCurves &= ~(1u << bit);
    }
    if (replyName && writePresetName(&forge, urids, Direction::toUi, current.name))
        replyName = false;
    if (replyView && writeEditorView(&forge, urids, Direction::toUi, current.view))
        replyView = false;

    writeFrames(frames);
    lv2_atom_forge_pop(&forge, &frame);
}

void Plugin::writeFrames(std::uint32_t frames) noexcept {
    for (const DisplayFrameKind kind : kDisplayFrameKinds) {
        // The ratings ten times a second (the kernel makes one every hop), the levels as the
        // analyser paces them; a period's remainder carries over, so the rate does not depend
        // on the host's block size.
        const double interval =
            kind == DisplayFrameKind::classification ? kernel.sampleRate() / 10.0 : 0.0;
        double& since = samplesSinceFrame[static_cast<std::size_t>(kind)];
        since += frames;
        if (!kernel.frameWanted(kind) || since < interval) continue;
        FrameStamp stamp;
        const bool taken = kernel.takeFrame(kind, frameValues, stamp);
        if (taken)
            writeFrame(&forge, urids, kind, frameValues,
                       static_cast<int>(rowsOf(kind)) * (stamp.fftSize / 2 + 1), stamp);
        since = std::min(taken ? since - interval : since, interval);
    }
}

void Plugin::run(std::uint32_t frames) noexcept {
    applyControls();
    // The first cycle after activation brings the session's values: start at them.
    if (snapPending) {
        kernel.snapSmoothedValues();
        snapPending = false;
    }
    readMessages();
    const int channels = ports.channels;
    bool connected = true;
    for (int c = 0; c < channels; ++c)
        connected = connected && in[c] != nullptr && out[c] != nullptr;
    processAudio(frames, connected);
    // The latency of the frame size heard once the cycle has run: a session's own from its
    // first cycle, a new one from the cycle where it starts to take over.
    if (latency != nullptr) *latency = static_cast<float>(kernel.latencySamples());
    // What the kernel reports, for the host and the editor to show.
    for (int a = 0; a < parameter::kCount; ++a)
        if (reports[a] != nullptr) *reports[a] = kernel.getParameter(static_cast<std::uint64_t>(a));
    writeMessages(frames);
}

void Plugin::processAudio(std::uint32_t frames, bool connected) noexcept {
    const int channels = ports.channels;
    std::uint32_t done = 0;
    auto renderTo = [&](std::uint32_t end) {
        // The kernel handles any count; chunks keep the int conversion in range.
        while (connected && done < end) {
            const std::uint32_t n = std::min<std::uint32_t>(end - done, 1u << 20);
            const float* inputs[2] = {in[0] + done, channels > 1 ? in[1] + done : nullptr};
            float* outputs[2] = {out[0] + done, channels > 1 ? out[1] + done : nullptr};
            kernel.process(inputs, channels, outputs, channels, static_cast<int>(n));
            done += n;
        }
        done = std::max(done, end);
    };
    if (hasMap && control != nullptr) {
        // Times count frames unless the host says otherwise; an event out of order, out of
        // the cycle or timed in beats acts where the audio has got to.
        const bool inFrames = control->body.unit == 0 || control->body.unit == urids.atomFrameTime;
        forEachEvent(control, [&](const LV2_Atom* atom, std::size_t, std::int64_t time) {
            if (atom->type != urids.midiEvent) return;
            const std::int64_t at = inFrames ? std::clamp<std::int64_t>(time, done, frames) : done;
            renderTo(static_cast<std::uint32_t>(at));
            kernel.takeMidi(reinterpret_cast<const std::uint8_t*>(atom + 1), atom->size);
        });
    }
    renderTo(frames);
}

LV2_State_Status Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) noexcept {
    if (!hasMap) return LV2_STATE_ERR_NO_FEATURE;
    const Saved& saved = savedState();
    const auto flags = static_cast<std::uint32_t>(LV2_STATE_IS_POD) |
                       static_cast<std::uint32_t>(LV2_STATE_IS_PORTABLE);
    // Every curve under its own key; slot A's delay curve under the one key an earlier build
    // knows, so that it still loads what it can of a newer session.
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            const CurveData& curve = saved.set.curves[s][k];
            struct {
                LV2_Atom_Vector_Body header;
                float values[2 * kMaxCurvePoints];
            } vector{};
            vector.header.child_size = sizeof(float);
            vector.header.child_type = urids.atomFloat;
            for (int i = 0; i < curve.count; ++i) {
                vector.values[2 * i] = curve.points[i].freq;
                vector.values[2 * i + 1] = curve.points[i].value;
            }
            const std::size_t bytes = sizeof(LV2_Atom_Vector_Body) +
                                      sizeof(float) * 2 * static_cast<std::size_t>(curve.count);
            const LV2_State_Status status =
                store(handle, urids.curves[s][k], &vector, bytes, urids.atomVector, flags);
            if (status != LV2_STATE_SUCCESS) return status;
        }
    const LV2_State_Status named = store(handle, urids.presetName, saved.name,
                                         std::strlen(saved.name) + 1, urids.atomString, flags);
    if (named != LV2_STATE_SUCCESS) return named;
    struct {
        LV2_Atom_Vector_Body header;
        float values[4];
    } view{};
    view.header.child_size = sizeof(float);
    view.header.child_type = urids.atomFloat;
    editorViewFloats(saved.view, view.values);
    return store(handle, urids.editorView, &view, sizeof view, urids.atomVector, flags);
}

LV2_State_Status Plugin::restore(LV2_State_Retrieve_Function retrieve,
                                 LV2_State_Handle handle) noexcept {
    if (!hasMap) return LV2_STATE_ERR_NO_FEATURE;
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    // Each curve the state holds with a usable point replaces the one in place; a missing,
    // empty or damaged one leaves it, as heard and as saved.
    CurveSet set = current.set;
    bool any = false, later = false;
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            const void* value = retrieve(handle, urids.curves[s][k], &size, &type, &flags);
            later |= value != nullptr && (s != 0 || k != 0);
            CurvePoint points[kMaxCurvePoints];
            int count = 0;
            if (value == nullptr || size > UINT32_MAX ||
                !readCurveBody(type, static_cast<std::uint32_t>(size), value, urids, points, count,
                               static_cast<CurveKind>(k)) ||
                count == 0)
                continue;
            fillCurve(set.curves[s][k], points, count);
            any = true;
        }
    // No usable curve: the name stays with the curves it names.
    if (!any) return LV2_STATE_SUCCESS;
    // A state of an earlier build holds slot A's delay curve alone: both slots play it, with
    // flat feedback, as that build did.
    if (!later) {
        const CurveData delay = set.at(CurveSlot::a, CurveKind::delay);
        fillSetFromDelayCurve(set, delay.points, delay.count);
    }
    setCurveSet(set);

    const void* value = retrieve(handle, urids.presetName, &size, &type, &flags);
    std::string_view name = kInitPresetName;
    if (value != nullptr && type == urids.atomString) {
        // A stored string ends at its terminator, which a damaged one may lack.
        const char* text = static_cast<const char*>(value);
        name = std::string_view(text, strnlen(text, size));
    }
    cleanPresetName(name, current.name);
    // A session from before the view was kept opens the editor where a fresh one opens.
    value = retrieve(handle, urids.editorView, &size, &type, &flags);
    current.view = EditorView{};
    if (value != nullptr && size <= UINT32_MAX)
        readEditorViewBody(type, static_cast<std::uint32_t>(size), value, urids, current.view);
    publishCurrent();
    restored.store(true, std::memory_order_release);
    return LV2_STATE_SUCCESS;
}

namespace {

Plugin* makePlugin(const LV2_Descriptor* descriptor, double rate,
                   const LV2_Feature* const* features) {
    const PortLayout& layout =
        std::strcmp(descriptor->URI, kMonoUri) == 0 ? kMonoPorts : kStereoPorts;
    std::unique_ptr<Plugin> plugin(new (std::nothrow) Plugin(layout));
    if (!plugin) return nullptr;
    // A rate the kernel cannot use leaves it passing audio through; a host is better served
    // by a plug-in that does nothing than by one that fails to load.
    plugin->kernel.initialize(layout.channels, rate);
    plugin->current.set = plugin->kernel.latestCurveSet();
    plugin->publishCurrent();
    if (const LV2_URID_Map* map = findMap(features)) {
        plugin->hasMap = true;
        plugin->urids.map(map);
        lv2_atom_forge_init(&plugin->forge, const_cast<LV2_URID_Map*>(map));
    }
    return plugin.release();
}

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const* features) {
    // Nothing thrown (the FFT planner's lock) may reach the host's C code, which cannot take
    // it: a plug-in that cannot start says so by returning null.
    try {
        return makePlugin(descriptor, rate, features);
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    Plugin* p = asPlugin(handle);
    const PortLayout& l = p->ports;
    const int index = static_cast<int>(port);
    if (index >= l.audioIn && index < l.audioIn + l.channels)
        p->in[index - l.audioIn] = static_cast<const float*>(data);
    else if (index >= l.audioOut && index < l.audioOut + l.channels)
        p->out[index - l.audioOut] = static_cast<float*>(data);
    else if (const int a = l.addressOfPort(index); a >= 0 && parameter::isOutput(a))
        p->reports[a] = static_cast<float*>(data);
    else if (a >= 0)
        p->controls[a] = static_cast<const float*>(data);
    else if (index == l.enabled)
        p->enabled = static_cast<const float*>(data);
    else if (index == l.latency)
        p->latency = static_cast<float*>(data);
    else if (index == l.control)
        p->control = static_cast<const LV2_Atom_Sequence*>(data);
    else if (index == l.notify)
        p->notify = static_cast<LV2_Atom_Sequence*>(data);
}

void activate(LV2_Handle handle) {
    Plugin* p = asPlugin(handle);
    p->kernel.reset();
    p->snapPending = true;
}

void run(LV2_Handle handle, std::uint32_t frames) {
    asPlugin(handle)->run(frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) {
    delete asPlugin(handle);
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      std::uint32_t, const LV2_Feature* const*) {
    return asPlugin(handle)->save(store, state);
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, std::uint32_t, const LV2_Feature* const*) {
    return asPlugin(handle)->restore(retrieve, state);
}

const void* extensionData(const char* uri) {
    static const LV2_State_Interface state{save, restore};
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

} // namespace

const LV2_Descriptor kDescriptors[] = {
    {kStereoUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData},
    {kMonoUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData},
};

} // namespace zerin::lv2
