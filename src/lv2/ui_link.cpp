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

void UiLink::setCurve(CurveSlot slot, CurveKind kind, const CurvePairs& points) {
    CurvePoint kernelPoints[kMaxCurvePoints];
    const int count = static_cast<int>(std::min<std::size_t>(points.size(), kMaxCurvePoints));
    for (int i = 0; i < count; ++i)
        kernelPoints[i] = {points[static_cast<std::size_t>(i)].first,
                           points[static_cast<std::size_t>(i)].second};
    curves[static_cast<int>(slot)][static_cast<int>(kind)].assign(points.begin(),
                                                                  points.begin() + count);
    send([&](LV2_Atom_Forge* f) {
        return writeCurve(f, urids, Direction::toDsp, kernelPoints, count, slot, kind);
    });
}

void UiLink::setPresetName(const std::string& newName) {
    char cleaned[kMaxPresetNameBytes + 1];
    cleanPresetName(newName, cleaned);
    name = cleaned;
    send([&](LV2_Atom_Forge* f) { return writePresetName(f, urids, Direction::toDsp, cleaned); });
}

std::optional<DisplayFrame> UiLink::takeDisplayFrame() {
    return std::exchange(frame, std::nullopt);
}

void UiLink::setLevelsWanted(bool wanted) {
    levelsWanted = wanted;
    if (!wanted) levelsFrame.reset();
    send([&](LV2_Atom_Forge* f) {
        return writeFlag(f, urids, Direction::toDsp, urids.levels, wanted);
    });
}

std::optional<DisplayFrame> UiLink::takeLevelsFrame() {
    return std::exchange(levelsFrame, std::nullopt);
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
        CurvePairs& curve = curves[static_cast<int>(slot)][static_cast<int>(kind)];
        curve.clear();
        for (int i = 0; i < count; ++i)
            curve.emplace_back(points[i].freq, points[i].value);
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
    if (const LV2_Atom* value = noticeValue(message, urids, urids.timeBeatsPerMinute)) {
        double bpm = 0.0;
        if (readNoticeTempo(value, urids, bpm)) tempo = bpm;
        return true;
    }
    if (const LV2_Atom* value = noticeValue(message, urids, urids.noteHold)) {
        readFlag(value, urids, notesHold);
        return true;
    }
    if (const LV2_Atom* value = noticeValue(message, urids, urids.classification)) {
        receiveClassification(message, value);
        return true;
    }
    if (const LV2_Atom* value = noticeValue(message, urids, urids.levels)) {
        if (levelsWanted) receiveLevels(message, value);
        return true;
    }
    return false;
}

// Ratings the DSP's kernel made: a whole frame of them, placed by the rate they were
// measured at. Anything else is dropped, and the frame shown before stays until it is stale.
bool UiLink::receiveClassification(const Message& message, const LV2_Atom* value) {
    DisplayFrame received;
    // One more than a frame holds, so that a longer vector shows itself.
    received.values.resize(kNumBins + 1);
    int count = 0;
    FrameStamp& stamp = received.stamp;
    if (!readRatings(value, urids, received.values.data(), kNumBins + 1, count) ||
        count != kNumBins || !readFrameStamp(message, urids, stamp))
        return false;
    received.values.resize(kNumBins);
    // A DSP from before the stamp says neither: the host's rate places its ratings, and the
    // frames it sends are numbered here.
    if (!(stamp.sampleRate > 0.0)) stamp.sampleRate = hostRate;
    if (stamp.sequence == 0) stamp.sequence = lastSequence + 1;
    if (!isPlaceable(received)) return false;
    lastSequence = stamp.sequence;
    frame = std::move(received);
    return true;
}

// The analyser's levels: four whole rows, with the rate they were measured at.
bool UiLink::receiveLevels(const Message& message, const LV2_Atom* value) {
    constexpr int kValues = static_cast<int>(rowsOf(DisplayFrameKind::levels)) * kNumBins;
    DisplayFrame received;
    received.kind = DisplayFrameKind::levels;
    received.values.resize(kValues + 1);
    int count = 0;
    if (!readLevels(value, urids, received.values.data(), kValues + 1, count) || count != kValues ||
        !readFrameStamp(message, urids, received.stamp))
        return false;
    received.values.resize(kValues);
    if (!isPlaceable(received)) return false;
    levelsFrame = std::move(received);
    return true;
}

} // namespace zerin::lv2
