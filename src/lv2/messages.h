#pragma once

// The plug-in's messages, shared by its DSP and its UI: URIDs, and reading and writing the
// curve, the preset name and the classification as atoms. Nothing here allocates, so the DSP
// can use all of it on the audio thread.
//
// Both directions travel as objects with a patch:property and a patch:value. What a UI (or a
// host) asks the DSP to take is a patch:Set. What the DSP tells its UI is a zerin#Notice:
// hosts read a patch:Set on a plug-in's output as a change of a property the plug-in declares
// (Ardour warns about every one it does not know), and the curve, the name and the ratings
// are no such properties. The UI takes both forms.
//
// Messages come from outside: every size in one is bounded by the bytes of what holds it
// before anything is read, on both sides, through the one reader here.

#include "dsp/curve.h"
#include "dsp/display_frame.h"
#include "dsp/editor_view.h"
#include "platform/json/preset_name.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/urid/urid.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zerin::lv2 {

struct Urids {
    LV2_URID atomBlank, atomObject, atomFloat, atomDouble, atomInt, atomLong, atomString,
        atomVector, atomSequence, atomUrid, atomEventTransfer, atomFrameTime;
    LV2_URID midiEvent;
    LV2_URID patchSet, patchGet, patchProperty, patchValue;
    LV2_URID timePosition, timeBeatsPerMinute, timeSpeed;
    LV2_URID curve, presetName, classification, uiClosed, notice, levels, atomBool, atomChunk;
    LV2_URID paramSampleRate, frameSequence, editorView;
    // Every curve of the set by slot and kind; curves[0][0] is `curve`.
    LV2_URID curves[kCurveSlotCount][kCurveKindCount];
    // Each kind of display frame's property, by kind: `classification`, `levels`...
    LV2_URID frames[kDisplayFrameKindCount];

    void map(const LV2_URID_Map* map);
    LV2_URID curveProperty(CurveSlot slot, CurveKind kind) const {
        return curves[static_cast<int>(slot)][static_cast<int>(kind)];
    }
    // Which curve of the set `property` names; false when it names none.
    bool curveOf(LV2_URID property, CurveSlot& slot, CurveKind& kind) const;
};

// Sets of curves as requests and answers count them: one bit per curve (slot * kinds + kind).
inline constexpr unsigned kAllCurves = (1u << (kCurveSlotCount * kCurveKindCount)) - 1u;
constexpr unsigned curveBit(CurveSlot slot, CurveKind kind) {
    return 1u << (static_cast<int>(slot) * kCurveKindCount + static_cast<int>(kind));
}

// --- reading ---

// An object message whose every byte lies inside the bytes it came in.
struct Message {
    LV2_URID type = 0;               // the object's type: patch:Set, patch:Get, zerin#Notice...
    LV2_URID property = 0;           // its patch:property, 0 when it has none
    const LV2_Atom* value = nullptr; // its patch:value, null when it has none
    const LV2_Atom_Object* object = nullptr;
};

// Reads the atom at `data`, of which `available` bytes (its header included) may be read.
// False when it is no object or when it, or a property inside it, claims more bytes than
// it has.
bool readMessage(const void* data, std::size_t available, const Urids& urids,
                 Message& message) noexcept;

// The value of property `key` of a message, lying whole inside it; null when it has none.
const LV2_Atom* messageProperty(const Message& message, LV2_URID key) noexcept;

// Walks the events of `sequence` whose bodies lie whole inside the sequence's size, calling
// `handle(const LV2_Atom* body, std::size_t bytes)` with each (bytes: header and body), or
// `handle(body, bytes, std::int64_t time)` with the event's time as its sequence counts it.
// An event that claims more than the sequence holds ends the walk.
template <typename Handle> void forEachEvent(const LV2_Atom_Sequence* sequence, Handle&& handle) {
    if (sequence == nullptr || sequence->atom.size < sizeof(LV2_Atom_Sequence_Body)) return;
    const auto* base = reinterpret_cast<const std::uint8_t*>(&sequence->body);
    const std::size_t size = sequence->atom.size;
    std::size_t offset = sizeof(LV2_Atom_Sequence_Body);
    while (offset <= size && size - offset >= sizeof(LV2_Atom_Event)) {
        const auto* event = reinterpret_cast<const LV2_Atom_Event*>(base + offset);
        if (event->body.size > size - offset - sizeof(LV2_Atom_Event)) return;
        if constexpr (std::is_invocable_v<Handle, const LV2_Atom*, std::size_t, std::int64_t>)
            handle(&event->body, sizeof(LV2_Atom) + event->body.size, event->time.frames);
        else
            handle(&event->body, sizeof(LV2_Atom) + event->body.size);
        offset += sizeof(LV2_Atom_Event) + lv2_atom_pad_size(event->body.size);
    }
}

// What a message asks the DSP to take: its value when it is a patch:Set of `property`.
const LV2_Atom* setValue(const Message& message, const Urids& urids, LV2_URID property) noexcept;
// What a message tells a UI: its value when it is a notice (or, from elsewhere, a patch:Set)
// of `property`.
const LV2_Atom* noticeValue(const Message& message, const Urids& urids, LV2_URID property) noexcept;

// The usable points of a curve value: an atom:Vector of atom:Float holding (Hz, value) pairs.
// Pairs with a non-finite value or a frequency not above 0 are skipped; a feedback curve's
// values are limited to 0..100 %; at most kMaxCurvePoints are taken (the rest are never
// read). False when the atom is not such a vector (wrong type, child type or size); `count`
// is then 0.
bool readCurve(const LV2_Atom* value, const Urids& urids, CurvePoint* points, int& count,
               CurveKind kind = CurveKind::delay) noexcept;
// The same for a value given as its type, size and body (as state restore hands it over).
bool readCurveBody(std::uint32_t type, std::uint32_t size, const void* body, const Urids& urids,
                   CurvePoint* points, int& count, CurveKind kind = CurveKind::delay) noexcept;

// Display frames travel as notices of their kind's own property (zerin#classification,
// zerin#levels), which a UI also sets to say it wants them. Each kind keeps the form its
// first build sent, so UIs and DSPs of earlier builds read one another's frames: ratings as an
// atom:Vector of atom:Float, levels as an atom:Chunk of a byte per value (see kLevelsUri).
LV2_URID frameProperty(const Urids& urids, DisplayFrameKind kind) noexcept;
// Which kind's frames `property` names; false when it names none.
bool frameKindOf(const Urids& urids, LV2_URID property, DisplayFrameKind& kind) noexcept;

// A frame notice: its kind, at most `capacity` of its values into `out` (levels in dBFS,
// -infinity for the lowest byte), and its stamp: its param:sampleRate (an atom:Double, Float
// or Int) and zerin#sequence (an atom:Long or Int), each 0 when the notice has none (a DSP
// before they were sent). False when the message is no frame, its values are not of its
// kind's form, or a stamp is there but no usable number: a rate outside
// kMinFrameRate..kMaxFrameRate, a sequence below 1.
bool readFrame(const Message& message, const Urids& urids, DisplayFrameKind& kind, float* out,
               int capacity, int& count, FrameStamp& stamp) noexcept;

// A yes or no: an atom:Bool value (a UI's wish for the levels, whether notes hold the
// freeze). False when the atom is no such bool.
bool readFlag(const LV2_Atom* value, const Urids& urids, bool& flag) noexcept;

// A preset name value (an atom:String), cleaned into `out` (kMaxPresetNameBytes + 1 bytes).
// False when the atom is no string.
bool readPresetName(const LV2_Atom* value, const Urids& urids, char* out) noexcept;

// Where the editor stood, from a value given as an atom or as its type, size and body (as a
// state restore hands it over): the first four floats of an atom:Vector of atom:Float, made
// usable (editorViewFrom). False when it is no such vector.
bool readEditorView(const LV2_Atom* value, const Urids& urids, EditorView& view) noexcept;
bool readEditorViewBody(std::uint32_t type, std::uint32_t size, const void* body,
                        const Urids& urids, EditorView& view) noexcept;
// Its four floats, as written and stored.
void editorViewFloats(const EditorView& view, float out[4]) noexcept;

// The tempo of a time:Position message, if it carries one that is finite and positive.
bool readTempo(const Message& message, const Urids& urids, double& bpm) noexcept;

// --- writing ---

// Which way a message goes: a patch:Set to the DSP, a notice to the UI.
enum class Direction { toDsp, toUi };

// Each writer adds one whole event to the sequence open in `forge`, or, when the rest of its
// buffer cannot hold it, nothing at all (false): a short buffer never holds half a message.
// A curve of the set, as the value of its own property.
bool writeCurve(LV2_Atom_Forge* forge, const Urids& urids, Direction direction,
                const CurvePoint* points, int count, CurveSlot slot = CurveSlot::a,
                CurveKind kind = CurveKind::delay) noexcept;
bool writePresetName(LV2_Atom_Forge* forge, const Urids& urids, Direction direction,
                     const char* name) noexcept;
bool writeEditorView(LV2_Atom_Forge* forge, const Urids& urids, Direction direction,
                     const EditorView& view) noexcept;
// A display frame of `kind`: its values (levels in dBFS) as a notice, with the rate and
// number of `stamp` beside them.
bool writeFrame(LV2_Atom_Forge* forge, const Urids& urids, DisplayFrameKind kind,
                const float* values, int count, const FrameStamp& stamp) noexcept;
// A yes or no of `property`: a UI's wish for a kind of display frame (frameProperty), or that
// they stop.
bool writeFlag(LV2_Atom_Forge* forge, const Urids& urids, Direction direction, LV2_URID property,
               bool flag) noexcept;
bool writePatchGet(LV2_Atom_Forge* forge, const Urids& urids) noexcept;
bool writeUiClosed(LV2_Atom_Forge* forge, const Urids& urids) noexcept;

} // namespace zerin::lv2
