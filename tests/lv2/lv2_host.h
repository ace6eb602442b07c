#pragma once

// A small LV2 host for the tests: loads the built DSP library with dlopen, as every host does,
// maps URIs, connects ports to its own buffers, sends messages and keeps state in memory.

#include "lv2/messages.h"
#include "lv2/ports.h"
#include "lv2/uris.h"

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zerin::test {

inline std::string dspLibraryPath() {
    return std::string(ZERIN_LV2_BUNDLE) + "/zerin_dsp.so";
}

struct UridMapper {
    std::map<std::string, LV2_URID> ids;
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
                         auto* self = static_cast<UridMapper*>(h);
                         auto [it, added] = self->ids.try_emplace(
                             uri, static_cast<LV2_URID>(self->ids.size() + 1));
                         return it->second;
                     }};
    LV2_Feature feature{LV2_URID__map, &map};
};

struct DspLibrary {
    void* handle = nullptr;
    LV2_Descriptor_Function descriptorFunction = nullptr;

    DspLibrary() {
        handle = dlopen(dspLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error(dlerror());
        descriptorFunction =
            reinterpret_cast<LV2_Descriptor_Function>(dlsym(handle, "lv2_descriptor"));
    }
    ~DspLibrary() { dlclose(handle); }
    DspLibrary(const DspLibrary&) = delete;
    DspLibrary& operator=(const DspLibrary&) = delete;

    const LV2_Descriptor* descriptor(const char* uri) const {
        for (std::uint32_t i = 0; const LV2_Descriptor* d = descriptorFunction(i); ++i)
            if (std::strcmp(d->URI, uri) == 0) return d;
        return nullptr;
    }
};

// An atom sequence buffer the host fills (input) or the plug-in fills (output).
struct SequenceBuffer {
    alignas(8) std::vector<std::uint8_t> bytes;
    LV2_Atom_Forge forge{};
    LV2_Atom_Forge_Frame frame{};

    explicit SequenceBuffer(std::size_t capacity = lv2::kNotifyBufferBytes) : bytes(capacity) {}
    LV2_Atom_Sequence* sequence() { return reinterpret_cast<LV2_Atom_Sequence*>(bytes.data()); }

    // Input: start an empty sequence; write events with `forge` after this.
    void beginInput(LV2_URID_Map* map) {
        lv2_atom_forge_init(&forge, map);
        lv2_atom_forge_set_buffer(&forge, bytes.data(), bytes.size());
        lv2_atom_forge_sequence_head(&forge, &frame, 0);
    }
    void endInput() { lv2_atom_forge_pop(&forge, &frame); }
    // Input: a sequence of what `fill` forges.
    template <typename Fill> void input(LV2_URID_Map* map, Fill fill) {
        beginInput(map);
        fill(&forge);
        endInput();
    }
    // Output: offer the whole buffer, as hosts do before every run.
    void offerOutput() {
        sequence()->atom.type = 0;
        sequence()->atom.size = static_cast<std::uint32_t>(bytes.size() - sizeof(LV2_Atom));
    }
};

// A property message of `type` with a float vector, forged here so that tests can send what
// the editor never would (NaN, 0 Hz, odd counts).
inline void forgeFloatVector(LV2_Atom_Forge* f, const lv2::Urids& urids, LV2_URID type,
                             LV2_URID property, const std::vector<float>& values,
                             const std::function<void(LV2_Atom_Forge*)>& more = {}) {
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_frame_time(f, 0);
    lv2_atom_forge_object(f, &frame, 0, type);
    lv2_atom_forge_key(f, urids.patchProperty);
    lv2_atom_forge_urid(f, property);
    lv2_atom_forge_key(f, urids.patchValue);
    // The forge copies with memcpy, which must not get an empty vector's null data.
    static const float none = 0.0f;
    lv2_atom_forge_vector(f, sizeof(float), urids.atomFloat,
                          static_cast<std::uint32_t>(values.size()),
                          values.empty() ? &none : values.data());
    if (more) more(f); // further properties after the value
    lv2_atom_forge_pop(f, &frame);
}

// A patch:Set of the curve as raw (Hz, ms) pairs.
inline void forgeCurveSet(LV2_Atom_Forge* f, const lv2::Urids& urids,
                          const std::vector<float>& pairs) {
    forgeFloatVector(f, urids, urids.patchSet, urids.curve, pairs);
}

// A transport's tempo, as a float or a double (hosts send either).
inline void forgeTempo(LV2_Atom_Forge* f, const lv2::Urids& urids, double bpm, bool asDouble) {
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_frame_time(f, 0);
    lv2_atom_forge_object(f, &frame, 0, urids.timePosition);
    lv2_atom_forge_key(f, urids.timeBeatsPerMinute);
    if (asDouble)
        lv2_atom_forge_double(f, bpm);
    else
        lv2_atom_forge_float(f, static_cast<float>(bpm));
    lv2_atom_forge_pop(f, &frame);
}

// Bytes placed so that the last one sits just before a page that cannot be read: a reader
// that goes one byte past them faults at once, with or without the sanitizers.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<std::uint8_t>& bytes) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t pages = (bytes.size() + page - 1) / page + 1;
        length = pages * page;
        void* mapped =
            mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::runtime_error("mmap failed");
        base = static_cast<std::uint8_t*>(mapped);
        std::uint8_t* guard = base + length - page;
        if (mprotect(guard, page, PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
        start = guard - bytes.size();
        if (!bytes.empty()) std::memcpy(start, bytes.data(), bytes.size()); // never from null
    }
    ~GuardedBytes() { munmap(base, length); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    std::uint8_t* data() const { return start; }

private:
    std::uint8_t* base = nullptr;
    std::uint8_t* start = nullptr;
    std::size_t length = 0;
};

// State kept as the host would keep it: values by key, with type and flags.
struct StoredValue {
    std::vector<std::uint8_t> bytes;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
};
using StateMap = std::map<std::uint32_t, StoredValue>;

inline LV2_State_Status storeInto(LV2_State_Handle handle, std::uint32_t key, const void* value,
                                  std::size_t size, std::uint32_t type, std::uint32_t flags) {
    auto& map = *static_cast<StateMap*>(handle);
    const auto* p = static_cast<const std::uint8_t*>(value);
    map[key] = {std::vector<std::uint8_t>(p, p + size), type, flags};
    return LV2_STATE_SUCCESS;
}

inline const void* retrieveFrom(LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                                std::uint32_t* type, std::uint32_t* flags) {
    auto& map = *static_cast<StateMap*>(handle);
    const auto found = map.find(key);
    if (found == map.end()) return nullptr;
    *size = found->second.bytes.size();
    *type = found->second.type;
    *flags = found->second.flags;
    return found->second.bytes.data();
}

struct Instance {
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
    lv2::PortLayout ports{};
    std::vector<float> controls;
    float enabled = 1.0f;
    float latency = 0.0f;

    Instance(const LV2_Descriptor* d, double rate, const LV2_Feature* const* features)
        : descriptor(d),
          ports(std::strcmp(d->URI, lv2::kMonoUri) == 0 ? lv2::kMonoPorts : lv2::kStereoPorts),
          controls(parameter::kCount) {
        handle = d->instantiate(d, rate, ZERIN_LV2_BUNDLE, features);
        if (handle == nullptr) throw std::runtime_error("instantiate returned null");
        for (int a = 0; a < parameter::kCount; ++a) {
            controls[a] = parameter::kRanges[a].defaultValue;
            d->connect_port(handle, static_cast<std::uint32_t>(ports.controlPort(a)), &controls[a]);
        }
        d->connect_port(handle, static_cast<std::uint32_t>(ports.enabled), &enabled);
        d->connect_port(handle, static_cast<std::uint32_t>(ports.latency), &latency);
        d->activate(handle);
    }
    ~Instance() {
        descriptor->deactivate(handle);
        descriptor->cleanup(handle);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void connectAudio(const float* const* in, float* const* out) {
        for (int c = 0; c < ports.channels; ++c) {
            descriptor->connect_port(handle, static_cast<std::uint32_t>(ports.audioIn + c),
                                     const_cast<float*>(in[c]));
            descriptor->connect_port(handle, static_cast<std::uint32_t>(ports.audioOut + c),
                                     out[c]);
        }
    }
    void connectAtoms(SequenceBuffer* control, SequenceBuffer* notify) {
        descriptor->connect_port(handle, static_cast<std::uint32_t>(ports.control),
                                 control ? control->sequence() : nullptr);
        descriptor->connect_port(handle, static_cast<std::uint32_t>(ports.notify),
                                 notify ? notify->sequence() : nullptr);
    }
    void run(std::uint32_t frames) { descriptor->run(handle, frames); }

    // One block of `input` on every channel, as a host runs it: `messages` (atom bodies, as a
    // UI writes them) go in at its start and are used up; each event the DSP writes to its
    // notify port is handed to `heard(atom, bytes)`.
    void exchange(LV2_URID_Map* map, std::vector<std::vector<std::uint8_t>>& messages,
                  const std::vector<float>& input,
                  const std::function<void(const LV2_Atom*, std::size_t)>& heard) {
        SequenceBuffer control;
        control.beginInput(map);
        for (const auto& body : messages) {
            lv2_atom_forge_frame_time(&control.forge, 0);
            lv2_atom_forge_write(&control.forge, body.data(),
                                 static_cast<std::uint32_t>(body.size()));
        }
        messages.clear();
        control.endInput();
        SequenceBuffer notify;
        notify.offerOutput();
        connectAtoms(&control, &notify);
        const float* in[2] = {input.data(), input.data()};
        std::vector<float> left(input.size()), right(input.size());
        float* out[2] = {left.data(), right.data()};
        connectAudio(in, out);
        run(static_cast<std::uint32_t>(input.size()));
        connectAtoms(nullptr, nullptr);
        lv2::forEachEvent(notify.sequence(), heard);
    }

    const LV2_State_Interface* stateInterface() const {
        return static_cast<const LV2_State_Interface*>(
            descriptor->extension_data(LV2_STATE__interface));
    }
    LV2_State_Status save(StateMap& state) {
        return stateInterface()->save(handle, storeInto, &state, 0, nullptr);
    }
    LV2_State_Status restore(StateMap& state) {
        return stateInterface()->restore(handle, retrieveFrom, &state, 0, nullptr);
    }
};

} // namespace zerin::test
