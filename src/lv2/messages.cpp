#include "lv2/messages.h"

#include "lv2/uris.h"

#include <lv2/midi/midi.h>
#include <lv2/parameters/parameters.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string_view>

namespace zerin::lv2 {

void Urids::map(const LV2_URID_Map* m) {
    auto id = [m](const char* uri) { return m->map(m->handle, uri); };
    atomBlank = id(LV2_ATOM__Blank);
    atomObject = id(LV2_ATOM__Object);
    atomFloat = id(LV2_ATOM__Float);
    atomDouble = id(LV2_ATOM__Double);
    atomInt = id(LV2_ATOM__Int);
    atomLong = id(LV2_ATOM__Long);
    atomString = id(LV2_ATOM__String);
    atomVector = id(LV2_ATOM__Vector);
    atomSequence = id(LV2_ATOM__Sequence);
    atomUrid = id(LV2_ATOM__URID);
    atomEventTransfer = id(LV2_ATOM__eventTransfer);
    patchSet = id(LV2_PATCH__Set);
    patchGet = id(LV2_PATCH__Get);
    patchProperty = id(LV2_PATCH__property);
    patchValue = id(LV2_PATCH__value);
    timePosition = id(LV2_TIME__Position);
    timeBeatsPerMinute = id(LV2_TIME__beatsPerMinute);
    timeSpeed = id(LV2_TIME__speed);
    curve = id(kCurveUri);
    presetName = id(kPresetNameUri);
    classification = id(kClassificationUri);
    uiClosed = id(kUiClosedUri);
    notice = id(kNoticeUri);
    paramSampleRate = id(LV2_PARAMETERS__sampleRate);
    frameSequence = id(kFrameSequenceUri);
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k)
            curves[s][k] = id(kCurveSetUris[s][k]);
    // Mapped after all the above, so that hosts and tests that number URIDs in the order they
    // are asked for keep their numbers.
    atomFrameTime = id(LV2_ATOM__frameTime);
    midiEvent = id(LV2_MIDI__MidiEvent);
    levels = id(kLevelsUri);
    atomBool = id(LV2_ATOM__Bool);
    atomChunk = id(LV2_ATOM__Chunk);
    static_assert(std::size(kFrameUris) == kDisplayFrameKindCount);
    for (std::size_t k = 0; k < kDisplayFrameKindCount; ++k)
        frames[k] = id(kFrameUris[k]);
    editorView = id(kEditorViewUri);
}

bool Urids::curveOf(LV2_URID property, CurveSlot& slot, CurveKind& kind) const {
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k)
            if (property != 0 && curves[s][k] == property) {
                slot = static_cast<CurveSlot>(s);
                kind = static_cast<CurveKind>(k);
                return true;
            }
    return false;
}

// --- reading ---

bool readMessage(const void* data, std::size_t available, const Urids& urids,
                 Message& message) noexcept {
    message = {};
    if (data == nullptr || available < sizeof(LV2_Atom_Object)) return false;
    const auto* atom = static_cast<const LV2_Atom*>(data);
    if (atom->type != urids.atomObject && atom->type != urids.atomBlank) return false;
    if (atom->size < sizeof(LV2_Atom_Object_Body) || atom->size > available - sizeof(LV2_Atom))
        return false;
    message.object = static_cast<const LV2_Atom_Object*>(data);
    message.type = message.object->body.otype;
    const LV2_Atom* key = messageProperty(message, urids.patchProperty);
    if (key != nullptr && key->type == urids.atomUrid && key->size >= sizeof(LV2_URID))
        message.property = reinterpret_cast<const LV2_Atom_URID*>(key)->body;
    message.value = messageProperty(message, urids.patchValue);
    return true;
}

const LV2_Atom* messageProperty(const Message& message, LV2_URID key) noexcept {
    if (message.object == nullptr) return nullptr;
    // The object's size was checked against its container when it was read; every property
    // is checked against what is left of the object.
    const auto* base = reinterpret_cast<const std::uint8_t*>(&message.object->body + 1);
    const std::size_t size = message.object->atom.size - sizeof(LV2_Atom_Object_Body);
    std::size_t offset = 0;
    while (offset <= size && size - offset >= sizeof(LV2_Atom_Property_Body)) {
        const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(base + offset);
        if (property->value.size > size - offset - sizeof(LV2_Atom_Property_Body)) return nullptr;
        if (property->key == key) return &property->value;
        offset += sizeof(LV2_Atom_Property_Body) + lv2_atom_pad_size(property->value.size);
    }
    return nullptr;
}

const LV2_Atom* setValue(const Message& message, const Urids& urids, LV2_URID property) noexcept {
    if (message.type != urids.patchSet || message.property != property) return nullptr;
    return message.value;
}

const LV2_Atom* noticeValue(const Message& message, const Urids& urids,
                            LV2_URID property) noexcept {
    if (message.type != urids.notice && message.type != urids.patchSet) return nullptr;
    if (message.property != property) return nullptr;
    return message.value;
}

namespace {

// The floats of an atom:Vector of atom:Float given as type, size and body; null when it is
// not one. `count` never reaches past `size`.
const unsigned char* floatVector(std::uint32_t type, std::uint32_t size, const void* body,
                                 const Urids& urids, std::uint32_t& count) noexcept {
    count = 0;
    if (body == nullptr || type != urids.atomVector || size < sizeof(LV2_Atom_Vector_Body))
        return nullptr;
    // Copied out rather than cast: a state store hands bodies over with no alignment promise.
    LV2_Atom_Vector_Body header;
    std::memcpy(&header, body, sizeof header);
    if (header.child_type != urids.atomFloat || header.child_size != sizeof(float)) return nullptr;
    count = static_cast<std::uint32_t>((size - sizeof header) / sizeof(float));
    return static_cast<const unsigned char*>(body) + sizeof header;
}

} // namespace

bool readCurve(const LV2_Atom* value, const Urids& urids, CurvePoint* points, int& count,
               CurveKind kind) noexcept {
    count = 0;
    if (value == nullptr) return false;
    return readCurveBody(value->type, value->size, value + 1, urids, points, count, kind);
}

bool readCurveBody(std::uint32_t type, std::uint32_t size, const void* body, const Urids& urids,
                   CurvePoint* points, int& count, CurveKind kind) noexcept {
    count = 0;
    std::uint32_t floats = 0;
    const unsigned char* bytes = floatVector(type, size, body, urids, floats);
    if (bytes == nullptr) return false;
    for (std::uint32_t i = 0; i + 1 < floats && count < kMaxCurvePoints; i += 2) {
        float pair[2];
        std::memcpy(pair, bytes + i * sizeof(float), sizeof pair);
        const float freq = pair[0];
        float value = pair[1];
        if (!std::isfinite(freq) || !std::isfinite(value) || !(freq > 0.0f)) continue;
        if (kind == CurveKind::feedback) value = std::clamp(value, 0.0f, curveMaxValue(kind));
        points[count++] = {freq, value};
    }
    return true;
}

bool readEditorView(const LV2_Atom* value, const Urids& urids, EditorView& view) noexcept {
    if (value == nullptr) return false;
    return readEditorViewBody(value->type, value->size, value + 1, urids, view);
}

bool readEditorViewBody(std::uint32_t type, std::uint32_t size, const void* body,
                        const Urids& urids, EditorView& view) noexcept {
    std::uint32_t floats = 0;
    const unsigned char* bytes = floatVector(type, size, body, urids, floats);
    if (bytes == nullptr || floats < 4) return false;
    float v[4];
    std::memcpy(v, bytes, sizeof v);
    view = editorViewFrom(v[0], v[1], v[2], v[3]);
    return true;
}

void editorViewFloats(const EditorView& view, float out[4]) noexcept {
    out[0] = static_cast<float>(view.slot);
    out[1] = static_cast<float>(view.kind);
    out[2] = view.lowHz;
    out[3] = view.highHz;
}

bool readPresetName(const LV2_Atom* value, const Urids& urids, char* out) noexcept {
    if (value == nullptr || value->type != urids.atomString) return false;
    // A string's body ends at its terminator, which a damaged one may lack.
    const char* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
    cleanPresetName(std::string_view(text, strnlen(text, value->size)), out);
    return true;
}

namespace {

// The body of a number atom of `type`, copied out (a message may come unaligned); false when
// the atom is of another type or too short for one.
template <typename Number>
bool bodyOf(const LV2_Atom* value, LV2_URID type, Number& number) noexcept {
    if (value->type != type || value->size < sizeof(Number)) return false;
    std::memcpy(&number, value + 1, sizeof(Number));
    return true;
}

// A number given as an atom:Float, Double or Int, as hosts and DSPs write them.
bool realOf(const LV2_Atom* value, const Urids& urids, double& number) noexcept {
    float single = 0.0f;
    std::int32_t whole = 0;
    if (bodyOf(value, urids.atomDouble, number)) return true;
    if (bodyOf(value, urids.atomFloat, single)) {
        number = single;
        return true;
    }
    if (!bodyOf(value, urids.atomInt, whole)) return false;
    number = whole;
    return true;
}

} // namespace

bool readFlag(const LV2_Atom* value, const Urids& urids, bool& flag) noexcept {
    std::int32_t body = 0;
    if (value == nullptr || !bodyOf(value, urids.atomBool, body)) return false;
    flag = body != 0;
    return true;
}

bool readTempo(const Message& message, const Urids& urids, double& bpm) noexcept {
    if (message.type != urids.timePosition) return false;
    const LV2_Atom* value = messageProperty(message, urids.timeBeatsPerMinute);
    double tempo = 0.0;
    if (value == nullptr || !realOf(value, urids, tempo)) return false;
    if (!std::isfinite(tempo) || !(tempo > 0.0)) return false;
    bpm = tempo;
    return true;
}

namespace {

// Half-decibel steps below full scale: 0.5 dB is finer than a drawn spectrum shows, and a
// byte keeps four rows of 1025 values in a quarter of what floats would take.
constexpr float kLevelStepsPerDb = 2.0f;
constexpr float kLowestLevelByte = 255.0f;

// A frame's values as its kind sends them: ratings as an atom:Vector of atom:Float, levels as
// an atom:Chunk of a byte per value. At most `capacity` into `out`; false when the atom is
// not of its kind's form.
bool readFrameValues(DisplayFrameKind kind, const LV2_Atom* value, const Urids& urids, float* out,
                     int capacity, int& count) noexcept {
    count = 0;
    if (kind == DisplayFrameKind::levels) {
        if (value->type != urids.atomChunk) return false;
        const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(value));
        count = static_cast<int>(
            std::min<std::uint32_t>(value->size, static_cast<std::uint32_t>(capacity)));
        for (int i = 0; i < count; ++i)
            out[i] = bytes[i] == 255 ? -INFINITY : -static_cast<float>(bytes[i]) / kLevelStepsPerDb;
        return true;
    }
    std::uint32_t floats = 0;
    const unsigned char* bytes = floatVector(value->type, value->size, value + 1, urids, floats);
    if (bytes == nullptr) return false;
    count = static_cast<int>(std::min<std::uint32_t>(floats, static_cast<std::uint32_t>(capacity)));
    std::memcpy(out, bytes, static_cast<std::size_t>(count) * sizeof(float));
    return true;
}

// The stamp of a frame message: its param:sampleRate and zerin#sequence, each 0 when absent.
bool readFrameStamp(const Message& message, const Urids& urids, FrameStamp& stamp) noexcept {
    stamp = {};
    if (const LV2_Atom* rate = messageProperty(message, urids.paramSampleRate)) {
        if (!realOf(rate, urids, stamp.sampleRate) || !(stamp.sampleRate >= kMinFrameRate) ||
            !(stamp.sampleRate <= kMaxFrameRate))
            return false;
    }
    if (const LV2_Atom* sequence = messageProperty(message, urids.frameSequence)) {
        std::int64_t number = 0;
        std::int32_t small = 0;
        if (bodyOf(sequence, urids.atomInt, small))
            number = small;
        else if (!bodyOf(sequence, urids.atomLong, number))
            return false;
        if (number < 1) return false;
        stamp.sequence = static_cast<std::uint64_t>(number);
    }
    return true;
}

} // namespace

LV2_URID frameProperty(const Urids& urids, DisplayFrameKind kind) noexcept {
    return urids.frames[static_cast<std::size_t>(kind)];
}

bool frameKindOf(const Urids& urids, LV2_URID property, DisplayFrameKind& kind) noexcept {
    for (const DisplayFrameKind k : kDisplayFrameKinds)
        if (property == frameProperty(urids, k)) {
            kind = k;
            return true;
        }
    return false;
}

bool readFrame(const Message& message, const Urids& urids, DisplayFrameKind& kind, float* out,
               int capacity, int& count, FrameStamp& stamp) noexcept {
    count = 0;
    if (!frameKindOf(urids, message.property, kind)) return false;
    const LV2_Atom* value = noticeValue(message, urids, message.property);
    return value != nullptr && readFrameValues(kind, value, urids, out, capacity, count) &&
           readFrameStamp(message, urids, stamp);
}

// --- writing ---

namespace {

// The bytes one event takes in a sequence: its frame time, then an object of one
// patch:property (a URID) and one patch:value whose body is `valueBody` bytes.
constexpr std::uint64_t padded(std::uint64_t bytes) {
    return (bytes + 7u) & ~std::uint64_t{7u};
}
constexpr std::uint64_t kBareEventBytes = sizeof(LV2_Atom_Event) + sizeof(LV2_Atom_Object_Body);
constexpr std::uint64_t propertyEventBytes(std::uint64_t valueBody) {
    const std::uint64_t property = sizeof(LV2_Atom_Property_Body);
    return kBareEventBytes + property + padded(sizeof(LV2_URID)) + property + padded(valueBody);
}

bool hasRoom(const LV2_Atom_Forge* forge, std::uint64_t bytes) {
    return forge->buf != nullptr && forge->offset <= forge->size &&
           bytes <= forge->size - forge->offset;
}

// Opens the object of a property message at time 0 and leaves the forge at the value. The
// caller has checked the room, so every step succeeds.
void beginProperty(LV2_Atom_Forge* forge, const Urids& urids, Direction direction,
                   LV2_URID property, LV2_Atom_Forge_Frame& frame) noexcept {
    lv2_atom_forge_frame_time(forge, 0);
    lv2_atom_forge_object(forge, &frame, 0,
                          direction == Direction::toDsp ? urids.patchSet : urids.notice);
    lv2_atom_forge_key(forge, urids.patchProperty);
    lv2_atom_forge_urid(forge, property);
    lv2_atom_forge_key(forge, urids.patchValue);
}

// The bytes a frame's stamp adds to its message: two properties of an 8-byte body.
constexpr std::uint64_t kStampBytes = 2 * (sizeof(LV2_Atom_Property_Body) + 8);

// A frame's rate and number, as properties beside its values.
void forgeStamp(LV2_Atom_Forge* forge, const Urids& urids, const FrameStamp& stamp) noexcept {
    lv2_atom_forge_key(forge, urids.paramSampleRate);
    lv2_atom_forge_double(forge, stamp.sampleRate);
    lv2_atom_forge_key(forge, urids.frameSequence);
    lv2_atom_forge_long(forge, static_cast<std::int64_t>(stamp.sequence));
}

// A property message whose value is a float vector; with a stamp, its rate and number beside.
bool writeFloatVector(LV2_Atom_Forge* forge, const Urids& urids, Direction direction,
                      LV2_URID property, const float* values, std::uint32_t count,
                      const FrameStamp* stamp = nullptr) noexcept {
    const std::uint64_t body = sizeof(LV2_Atom_Vector_Body) + std::uint64_t{count} * sizeof(float);
    if (!hasRoom(forge, propertyEventBytes(body) + (stamp != nullptr ? kStampBytes : 0)))
        return false;
    LV2_Atom_Forge_Frame frame;
    beginProperty(forge, urids, direction, property, frame);
    lv2_atom_forge_vector(forge, sizeof(float), urids.atomFloat, count, values);
    if (stamp != nullptr) forgeStamp(forge, urids, *stamp);
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

bool writeBareObject(LV2_Atom_Forge* forge, LV2_URID type) noexcept {
    if (!hasRoom(forge, kBareEventBytes)) return false;
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_frame_time(forge, 0);
    lv2_atom_forge_object(forge, &frame, 0, type);
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

} // namespace

bool writeCurve(LV2_Atom_Forge* forge, const Urids& urids, Direction direction,
                const CurvePoint* points, int count, CurveSlot slot, CurveKind kind) noexcept {
    float pairs[2 * kMaxCurvePoints];
    const int n = count < 0 ? 0 : (count > kMaxCurvePoints ? kMaxCurvePoints : count);
    for (int i = 0; i < n; ++i) {
        pairs[2 * i] = points[i].freq;
        pairs[2 * i + 1] = points[i].value;
    }
    return writeFloatVector(forge, urids, direction, urids.curveProperty(slot, kind), pairs,
                            static_cast<std::uint32_t>(2 * n));
}

bool writePresetName(LV2_Atom_Forge* forge, const Urids& urids, Direction direction,
                     const char* name) noexcept {
    const std::size_t length = strnlen(name, kMaxPresetNameBytes);
    if (!hasRoom(forge, propertyEventBytes(length + 1))) return false;
    LV2_Atom_Forge_Frame frame;
    beginProperty(forge, urids, direction, urids.presetName, frame);
    lv2_atom_forge_string(forge, name, static_cast<std::uint32_t>(length));
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

bool writeEditorView(LV2_Atom_Forge* forge, const Urids& urids, Direction direction,
                     const EditorView& view) noexcept {
    float values[4];
    editorViewFloats(view, values);
    return writeFloatVector(forge, urids, direction, urids.editorView, values, 4);
}

bool writeFrame(LV2_Atom_Forge* forge, const Urids& urids, DisplayFrameKind kind,
                const float* values, int count, const FrameStamp& stamp) noexcept {
    const std::uint32_t n = count < 0 ? 0u : static_cast<std::uint32_t>(count);
    const LV2_URID property = frameProperty(urids, kind);
    if (kind != DisplayFrameKind::levels)
        return writeFloatVector(forge, urids, Direction::toUi, property, values, n, &stamp);
    if (!hasRoom(forge, propertyEventBytes(n) + kStampBytes)) return false;
    LV2_Atom_Forge_Frame frame;
    beginProperty(forge, urids, Direction::toUi, property, frame);
    lv2_atom_forge_atom(forge, n, urids.atomChunk);
    for (std::uint32_t i = 0; i < n; ++i) {
        // Written as it goes: no buffer for the bytes on the audio thread's stack.
        const float steps = -values[i] * kLevelStepsPerDb;
        const float rounded = std::isnan(steps)
                                  ? kLowestLevelByte
                                  : std::nearbyint(std::clamp(steps, 0.0f, kLowestLevelByte));
        const auto byte = static_cast<std::uint8_t>(rounded);
        lv2_atom_forge_raw(forge, &byte, 1);
    }
    lv2_atom_forge_pad(forge, n);
    forgeStamp(forge, urids, stamp);
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

bool writeFlag(LV2_Atom_Forge* forge, const Urids& urids, Direction direction, LV2_URID property,
               bool flag) noexcept {
    if (!hasRoom(forge, propertyEventBytes(sizeof(std::int32_t)))) return false;
    LV2_Atom_Forge_Frame frame;
    beginProperty(forge, urids, direction, property, frame);
    lv2_atom_forge_bool(forge, flag);
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

bool writePatchGet(LV2_Atom_Forge* forge, const Urids& urids) noexcept {
    return writeBareObject(forge, urids.patchGet);
}

bool writeUiClosed(LV2_Atom_Forge* forge, const Urids& urids) noexcept {
    return writeBareObject(forge, urids.uiClosed);
}

} // namespace zerin::lv2
