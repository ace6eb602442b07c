#pragma once

// The plug-in's messages, shared by its DSP and its UI: URIDs, and reading and writing the
// curve, the preset name and the classification as atoms. Nothing here allocates, so the DSP
// can use all of it on the audio thread.

#include "dsp/curve.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/urid/urid.h>

#include <cstddef>
#include <cstdint>

namespace zerin::lv2 {

struct Urids {
    LV2_URID atomBlank, atomObject, atomFloat, atomDouble, atomInt, atomLong, atomString,
        atomVector, atomSequence, atomUrid, atomEventTransfer;
    LV2_URID patchSet, patchGet, patchProperty, patchValue;
    LV2_URID timePosition, timeBeatsPerMinute, timeSpeed;
    LV2_URID curve, presetName, classification, uiClosed;

    void map(const LV2_URID_Map* map);
};

// The longest preset name kept, in bytes, terminator excluded; longer ones are cut at a
// character boundary.
inline constexpr std::size_t kMaxPresetNameBytes = 255;

// Copies `text` (of `size` bytes, not necessarily terminated) into `out` (kMaxPresetNameBytes
// + 1 bytes), cut at a UTF-8 boundary and terminated. Returns the length.
std::size_t copyPresetName(const char* text, std::size_t size, char* out) noexcept;

// The usable points of a curve value: an atom:Vector of atom:Float holding (Hz, ms) pairs.
// Pairs with a non-finite value or a frequency not above 0 are skipped; at most
// kMaxCurvePoints are taken (the rest are never read). False when the atom is not such a
// vector (wrong type, child type or size); `count` is then 0.
bool readCurve(const LV2_Atom* value, const Urids& urids, CurvePoint* points, int& count) noexcept;
// The same for a value given as its type, size and body (as state restore hands it over).
bool readCurveBody(std::uint32_t type, std::uint32_t size, const void* body, const Urids& urids,
                   CurvePoint* points, int& count) noexcept;

// The value of a patch:Set's patch:value when its patch:property is `property`, else null.
const LV2_Atom* patchSetValue(const LV2_Atom_Object* object, const Urids& urids,
                              LV2_URID property) noexcept;
// The patch:property of a patch:Get, 0 when it has none (a request for everything).
LV2_URID patchGetProperty(const LV2_Atom_Object* object, const Urids& urids) noexcept;

// patch:Set messages into a forge; false when the buffer ran out (the forge is then spent).
bool writeCurveSet(LV2_Atom_Forge* forge, const Urids& urids, const CurvePoint* points,
                   int count) noexcept;
bool writePresetNameSet(LV2_Atom_Forge* forge, const Urids& urids, const char* name) noexcept;
bool writeClassificationSet(LV2_Atom_Forge* forge, const Urids& urids, const float* ratings,
                            int count) noexcept;
bool writePatchGet(LV2_Atom_Forge* forge, const Urids& urids) noexcept;
bool writeUiClosed(LV2_Atom_Forge* forge, const Urids& urids) noexcept;

// The tempo of a time:Position object, if it carries one that is finite and positive.
bool readTempo(const LV2_Atom_Object* object, const Urids& urids, double& bpm) noexcept;

} // namespace zerin::lv2
