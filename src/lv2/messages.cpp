#include "lv2/messages.h"

#include "lv2/uris.h"

#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>

#include <cmath>
#include <cstring>

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
}

std::size_t copyPresetName(const char* text, std::size_t size, char* out) noexcept {
    std::size_t length = 0;
    while (length < size && length < kMaxPresetNameBytes && text[length] != '\0')
        ++length;
    // Cut before a continuation byte so a multi-byte character is never split.
    if (length < size && length == kMaxPresetNameBytes)
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0u) == 0x80u)
            --length;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return length;
}

bool readCurve(const LV2_Atom* value, const Urids& urids, CurvePoint* points, int& count) noexcept {
    count = 0;
    if (value == nullptr) return false;
    return readCurveBody(value->type, value->size, value + 1, urids, points, count);
}

bool readCurveBody(std::uint32_t type, std::uint32_t size, const void* body, const Urids& urids,
                   CurvePoint* points, int& count) noexcept {
    count = 0;
    if (body == nullptr || type != urids.atomVector || size < sizeof(LV2_Atom_Vector_Body))
        return false;
    // Copied out rather than cast: a state store hands bodies over with no alignment promise.
    LV2_Atom_Vector_Body header;
    std::memcpy(&header, body, sizeof header);
    if (header.child_type != urids.atomFloat || header.child_size != sizeof(float)) return false;
    const auto* bytes = static_cast<const unsigned char*>(body) + sizeof header;
    const std::uint32_t floats = (size - sizeof header) / sizeof(float);
    for (std::uint32_t i = 0; i + 1 < floats && count < kMaxCurvePoints; i += 2) {
        float pair[2];
        std::memcpy(pair, bytes + i * sizeof(float), sizeof pair);
        const float freq = pair[0];
        const float delay = pair[1];
        if (!std::isfinite(freq) || !std::isfinite(delay) || !(freq > 0.0f)) continue;
        points[count++] = {freq, delay};
    }
    return true;
}

const LV2_Atom* patchSetValue(const LV2_Atom_Object* object, const Urids& urids,
                              LV2_URID property) noexcept {
    if (object->body.otype != urids.patchSet) return nullptr;
    const LV2_Atom* key = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, urids.patchProperty, &key, urids.patchValue, &value, 0);
    if (key == nullptr || value == nullptr || key->type != urids.atomUrid) return nullptr;
    if (reinterpret_cast<const LV2_Atom_URID*>(key)->body != property) return nullptr;
    return value;
}

LV2_URID patchGetProperty(const LV2_Atom_Object* object, const Urids& urids) noexcept {
    const LV2_Atom* key = nullptr;
    lv2_atom_object_get(object, urids.patchProperty, &key, 0);
    if (key == nullptr || key->type != urids.atomUrid) return 0;
    return reinterpret_cast<const LV2_Atom_URID*>(key)->body;
}

namespace {

// Opens a patch:Set of `property` at time 0 and leaves the forge at the value.
bool beginSet(LV2_Atom_Forge* forge, const Urids& urids, LV2_URID property,
              LV2_Atom_Forge_Frame& frame) noexcept {
    return lv2_atom_forge_frame_time(forge, 0) != 0 &&
           lv2_atom_forge_object(forge, &frame, 0, urids.patchSet) != 0 &&
           lv2_atom_forge_key(forge, urids.patchProperty) != 0 &&
           lv2_atom_forge_urid(forge, property) != 0 &&
           lv2_atom_forge_key(forge, urids.patchValue) != 0;
}

bool writeFloatVectorSet(LV2_Atom_Forge* forge, const Urids& urids, LV2_URID property,
                         const float* values, std::uint32_t count) noexcept {
    LV2_Atom_Forge_Frame frame;
    if (!beginSet(forge, urids, property, frame)) return false;
    if (lv2_atom_forge_vector(forge, sizeof(float), urids.atomFloat, count, values) == 0)
        return false;
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

} // namespace

bool writeCurveSet(LV2_Atom_Forge* forge, const Urids& urids, const CurvePoint* points,
                   int count) noexcept {
    float pairs[2 * kMaxCurvePoints];
    const int n = count < 0 ? 0 : (count > kMaxCurvePoints ? kMaxCurvePoints : count);
    for (int i = 0; i < n; ++i) {
        pairs[2 * i] = points[i].freq;
        pairs[2 * i + 1] = points[i].delay;
    }
    return writeFloatVectorSet(forge, urids, urids.curve, pairs, static_cast<std::uint32_t>(2 * n));
}

bool writePresetNameSet(LV2_Atom_Forge* forge, const Urids& urids, const char* name) noexcept {
    LV2_Atom_Forge_Frame frame;
    if (!beginSet(forge, urids, urids.presetName, frame)) return false;
    if (lv2_atom_forge_string(forge, name, static_cast<std::uint32_t>(std::strlen(name))) == 0)
        return false;
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

bool writeClassificationSet(LV2_Atom_Forge* forge, const Urids& urids, const float* ratings,
                            int count) noexcept {
    return writeFloatVectorSet(forge, urids, urids.classification, ratings,
                               static_cast<std::uint32_t>(count));
}

namespace {

bool writeBareObject(LV2_Atom_Forge* forge, LV2_URID type) noexcept {
    LV2_Atom_Forge_Frame frame;
    if (lv2_atom_forge_frame_time(forge, 0) == 0 ||
        lv2_atom_forge_object(forge, &frame, 0, type) == 0)
        return false;
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

} // namespace

bool writePatchGet(LV2_Atom_Forge* forge, const Urids& urids) noexcept {
    return writeBareObject(forge, urids.patchGet);
}

bool writeUiClosed(LV2_Atom_Forge* forge, const Urids& urids) noexcept {
    return writeBareObject(forge, urids.uiClosed);
}

bool readTempo(const LV2_Atom_Object* object, const Urids& urids, double& bpm) noexcept {
    if (object->body.otype != urids.timePosition) return false;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, urids.timeBeatsPerMinute, &value, 0);
    if (value == nullptr) return false;
    double tempo = 0.0;
    if (value->type == urids.atomFloat && value->size >= sizeof(float))
        tempo = reinterpret_cast<const LV2_Atom_Float*>(value)->body;
    else if (value->type == urids.atomDouble && value->size >= sizeof(double))
        tempo = reinterpret_cast<const LV2_Atom_Double*>(value)->body;
    else if (value->type == urids.atomInt && value->size >= sizeof(std::int32_t))
        tempo = reinterpret_cast<const LV2_Atom_Int*>(value)->body;
    else
        return false;
    if (!std::isfinite(tempo) || !(tempo > 0.0)) return false;
    bpm = tempo;
    return true;
}

} // namespace zerin::lv2
