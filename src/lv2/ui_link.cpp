#include "lv2/ui_link.h"

#include "dsp/constants.h"

#include <lv2/atom/util.h>

#include <algorithm>
#include <utility>

namespace zerin::lv2 {

UiLink::UiLink(const LV2_URID_Map* map, LV2UI_Write_Function write, LV2UI_Controller controller,
               std::uint32_t controlPort)
    : map(map), write(write), controller(controller), controlPort(controlPort) {
    urids.map(map);
    eventTransfer = urids.atomEventTransfer;
}

template <typename Fill> void UiLink::send(Fill&& fill) {
    // Room for a full curve or a long name; nothing bigger goes this way.
    alignas(8) std::uint8_t buffer[1024];
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, const_cast<LV2_URID_Map*>(map));
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
    // The writers open with a frame time for sequences; a UI sends the bare object, so forge
    // into a sequence and send its one event's body.
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_sequence_head(&forge, &frame, 0);
    const bool written = fill(&forge);
    lv2_atom_forge_pop(&forge, &frame);
    if (!written) return;
    const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(buffer);
    LV2_ATOM_SEQUENCE_FOREACH(sequence, event) {
        write(controller, controlPort, lv2_atom_total_size(&event->body), eventTransfer,
              &event->body);
    }
}

void UiLink::setCurve(CurveSlot slot, CurveKind kind, const CurvePoints& points) {
    const int count = static_cast<int>(std::min<std::size_t>(points.size(), kMaxCurvePoints));
    curves[static_cast<int>(slot)][static_cast<int>(kind)].assign(points.begin(),
                                                                  points.begin() + count);
    send([&](LV2_Atom_Forge* f) {
        return writeCurve(f, urids, Direction::toDsp, points.data(), count, slot, kind);
    });
}

void UiLink::setPresetName(const std::string& newName) {
    char cleaned[kMaxPresetNameBytes + 1];
    cleanPresetName(newName, cleaned);
    name = cleaned;
    send([&](LV2_Atom_Forge* f) { return writePresetName(f, urids, Direction::toDsp, cleaned); });
}

void UiLink::setFrameWanted(DisplayFrameKind kind, bool wantedNow) {
    const auto k = static_cast<std::size_t>(kind);
    wanted[k] = wantedNow;
    if (!wantedNow) frames[k].reset();
    send([&](LV2_Atom_Forge* f) {
        return writeFlag(f, urids, Direction::toDsp, frameProperty(urids, kind), wantedNow);
    });
}

std::optional<DisplayFrame> UiLink::takeFrame(DisplayFrameKind kind) {
    return std::exchange(frames[static_cast<std::size_t>(kind)], std::nullopt);
}

void UiLink::requestState() {
    send([&](LV2_Atom_Forge* f) { return writePatchGet(f, urids); });
}

void UiLink::poll() {
    // At most every 6.4 s: each request has the DSP send the whole set again.
    constexpr int kLongestWait = 64;
    if (knowsUnitState() || ++pollsWaiting < pollsBeforeRequest) return;
    pollsWaiting = 0;
    pollsBeforeRequest = std::min(2 * pollsBeforeRequest, kLongestWait);
    requestState();
}

void UiLink::sayGoodbye() {
    send([&](LV2_Atom_Forge* f) { return writeUiClosed(f, urids); });
}

void UiLink::setEditorView(const EditorView& newView) {
    view = newView;
    send([&](LV2_Atom_Forge* f) { return writeEditorView(f, urids, Direction::toDsp, view); });
}

bool UiLink::receive(const void* buffer, std::size_t size) {
    Message message;
    if (!readMessage(buffer, size, urids, message)) return false;
    CurveSlot slot{};
    CurveKind kind{};
    if (urids.curveOf(message.property, slot, kind) &&
        (message.type == urids.notice || message.type == urids.patchSet)) {
        CurvePoint points[kMaxCurvePoints];
        int count = 0;
        // The DSP keeps its curve when none of the points it is sent can be used; so does
        // the editor, or it would show no curve while the old one still plays.
        if (!readCurve(message.value, urids, points, count, kind) || count == 0) return true;
        curves[static_cast<int>(slot)][static_cast<int>(kind)].assign(points, points + count);
        heardCurves |= curveBit(slot, kind);
        if (onExternalChange) onExternalChange();
        return true;
    }
    if (const LV2_Atom* value = noticeValue(message, urids, urids.presetName)) {
        char cleaned[kMaxPresetNameBytes + 1];
        if (!readPresetName(value, urids, cleaned)) return true;
        name = cleaned;
        heardName = true;
        if (onExternalChange) onExternalChange();
        return true;
    }
    if (const LV2_Atom* value = noticeValue(message, urids, urids.editorView)) {
        if (readEditorView(value, urids, view) && onExternalChange) onExternalChange();
        return true;
    }
    if (DisplayFrameKind kind{}; frameKindOf(urids, message.property, kind) &&
                                 noticeValue(message, urids, message.property) != nullptr) {
        if (wanted[static_cast<std::size_t>(kind)]) receiveFrame(message, kind);
        return true;
    }
    return false;
}

// A whole frame the DSP's kernel made, of a kind the editor wants, placed by the rate it was
// measured at. Anything else is dropped, and the frame shown before stays until it is stale.
void UiLink::receiveFrame(const Message& message, DisplayFrameKind kind) {
    const auto k = static_cast<std::size_t>(kind);
    const int rows = static_cast<int>(rowsOf(kind));
    const int most = rows * kMaxNumBins;
    DisplayFrame received;
    received.kind = kind;
    // One more than a frame holds, so that a longer one shows itself.
    received.values.resize(static_cast<std::size_t>(most) + 1);
    int count = 0;
    FrameStamp& stamp = received.stamp;
    if (!readFrame(message, urids, kind, received.values.data(), most + 1, count, stamp)) return;
    // The frame's size is told by its length: a row of a value per bin of one of the sizes.
    received.fftSize = 0;
    for (const int size : kFFTSizes)
        if (count == rows * (size / 2 + 1)) received.fftSize = size;
    if (received.fftSize == 0) return;
    stamp.fftSize = received.fftSize;
    received.values.resize(static_cast<std::size_t>(count));
    // A DSP from before the stamp says neither: the host's rate places its frames, and they
    // are numbered here. Without the rate they are not drawn: bands at a guessed rate would
    // mark bins the curve does not act on.
    if (!(stamp.sampleRate > 0.0)) stamp.sampleRate = hostRate;
    if (stamp.sequence == 0) stamp.sequence = lastSequence[k] + 1;
    if (!isPlaceable(received)) return;
    lastSequence[k] = stamp.sequence;
    frames[k] = std::move(received);
}

} // namespace zerin::lv2
