// Bytes from a host as the plug-in's message ports get them: first as the body of a control
// sequence the DSP walks, then as one atom the UI is handed. Every size inside is the input's
// to choose; nothing may be read past the input (the sanitizers watch the exact buffer), and
// what is accepted must be what the kernel and the editor can use.

#include "fuzz_check.h"

#include "dsp/constants.h"
#include "dsp/freeze_notes.h"
#include "lv2/messages.h"
#include "lv2/ui_link.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using zerin::fuzz::require;

// URIs in the order Urids::map asks for them, so seeds can spell the IDs: atom:Blank 1,
// atom:Object 2, ... patch:Set 12, patch:Get 13, patch:property 14, patch:value 15,
// time:Position 16, time:beatsPerMinute 17, zerin#curve 19, zerin#presetName 20,
// zerin#classification 21, zerin#uiClosed 22, zerin#Notice 23, param:sampleRate 24,
// zerin#sequence 25, the other curves of the set 26 to 28, atom:frameTime 29,
// midi:MidiEvent 30, zerin#levels 31, atom:Bool 32, atom:Chunk 33, zerin#noteHold 34.
struct Mapper {
    std::map<std::string, LV2_URID> ids;
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
                         auto* self = static_cast<Mapper*>(h);
                         return self->ids.try_emplace(uri, self->ids.size() + 1).first->second;
                     }};
};

// The valid UTF-8 check the state's JSON writer would make.
bool wellFormed(const char* text) {
    const std::string name(text);
    return zerin::boundedPresetName(name) == name;
}

void checkMessage(const zerin::lv2::Message& message, const zerin::lv2::Urids& urids) {
    using namespace zerin::lv2;
    zerin::CurvePoint points[zerin::kMaxCurvePoints];
    int count = -1;
    if (readCurve(message.value, urids, points, count)) {
        require(count >= 0 && count <= zerin::kMaxCurvePoints, "a curve holds at most 32 points");
        for (int i = 0; i < count; ++i)
            require(std::isfinite(points[i].freq) && points[i].freq > 0.0f &&
                        std::isfinite(points[i].value),
                    "every point read is one the kernel can use");
    }
    char name[zerin::kMaxPresetNameBytes + 1];
    if (readPresetName(message.value, urids, name))
        require(std::strlen(name) <= zerin::kMaxPresetNameBytes && wellFormed(name),
                "a name read is bounded, well-formed UTF-8");
    static float frame[4 * zerin::kNumBins];
    int measured = -1;
    zerin::DisplayFrameKind kind{};
    zerin::FrameStamp stamp;
    if (readFrame(message, urids, kind, frame, 4 * zerin::kNumBins, measured, stamp)) {
        require(measured >= 0 && measured <= 4 * zerin::kNumBins, "a frame fits its buffer");
        require(stamp.sampleRate == 0.0 || (stamp.sampleRate >= zerin::kMinFrameRate &&
                                            stamp.sampleRate <= zerin::kMaxFrameRate),
                "a frame's rate read is none or one that places its bins");
    }
    bool wanted = false;
    readFlag(message.value, urids, wanted);
    double bpm = 0.0;
    if (readTempo(message, urids, bpm))
        require(std::isfinite(bpm) && bpm > 0.0, "a tempo read is finite and positive");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0; // a port holds far less; sizes stay in 32 bits
    static Mapper mapper;
    zerin::lv2::Urids urids{};
    urids.map(&mapper.map);

    // The DSP's side: a sequence whose body is the input, in a buffer of exactly its size.
    std::vector<std::uint8_t> sequence(sizeof(LV2_Atom) + size);
    const LV2_Atom header{static_cast<std::uint32_t>(size), urids.atomSequence};
    std::memcpy(sequence.data(), &header, sizeof header);
    std::copy(data, data + size, sequence.begin() + sizeof header);
    // Every event's body is also taken as MIDI, as the freeze's notes read it.
    zerin::FreezeNotes notes;
    zerin::lv2::forEachEvent(reinterpret_cast<const LV2_Atom_Sequence*>(sequence.data()),
                             [&](const LV2_Atom* atom, std::size_t bytes) {
                                 zerin::lv2::Message message;
                                 if (zerin::lv2::readMessage(atom, bytes, urids, message))
                                     checkMessage(message, urids);
                                 notes.take(reinterpret_cast<const std::uint8_t*>(atom + 1),
                                            atom->size);
                             });
    notes.releaseAll();
    require(!notes.held(-1), "all notes off leaves none held");

    // The UI's side: the input as one atom the host hands over, of exactly its size.
    std::vector<std::uint8_t> atom(data, data + size);
    zerin::lv2::UiLink link(
        &mapper.map,
        [](LV2UI_Controller, std::uint32_t, std::uint32_t, std::uint32_t, const void*) {}, nullptr,
        0);
    for (const zerin::DisplayFrameKind kind : zerin::kDisplayFrameKinds)
        link.setFrameWanted(kind, true);
    link.receive(atom.empty() ? nullptr : atom.data(), atom.size());
    if (const std::optional<zerin::DisplayFrame> levels =
            link.takeFrame(zerin::DisplayFrameKind::levels)) {
        require(zerin::isPlaceable(*levels) && levels->values.size() == 4 * zerin::kNumBins,
                "the editor gets only whole levels frames it can place");
        for (float v : levels->values)
            require(!(v > 0.0f) && !std::isnan(v), "levels are at most 0 dBFS");
    }
    for (const auto& [freq, delay] : link.getCurve(zerin::CurveSlot::a, zerin::CurveKind::delay))
        require(std::isfinite(freq) && freq > 0.0f && std::isfinite(delay),
                "the editor gets only usable points");
    require(wellFormed(link.presetName().c_str()), "the editor gets a well-formed name");
    if (const std::optional<zerin::DisplayFrame> frame =
            link.takeFrame(zerin::DisplayFrameKind::classification))
        require(zerin::isPlaceable(*frame) && frame->values.size() == zerin::kNumBins &&
                    frame->stamp.sequence > 0,
                "the editor gets only whole frames it can place");
    return 0;
}
