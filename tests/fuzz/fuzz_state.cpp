// A full state from a host's project file or --state: nothing may crash the unit or leave it
// with a curve the kernel cannot use, a value out of range, or a save that drifts.

#include "fuzz_check.h"

#include "audiounit/parameters.h"
#include "audiounit/zerin_audio_unit.h"
#include "dsp/curve.h"
#include "platform/json/bounded_json.h"
#include "session/unit_setup.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using zerin::fuzz::require;

// One unit for the whole run, as a host keeps one (one per input would spend the run on FFTW
// plans), back at the same state for every input so that a finding replays from it alone.
zerin::ZerinExtensionAudioUnit& unitAtStart() {
    static const auto unit = [] {
        std::string error;
        auto made = zerin::session::configuredUnit({}, &error);
        if (!made) zerin::fuzz::harnessFailure(error.c_str());
        std::vector<std::pair<float, float>> curve;
        for (const zerin::CurvePoint& p : zerin::kDefaultCurve)
            curve.emplace_back(p.freq, p.value);
        made->setSpectralCurve(curve);
        return made;
    }();
    static const nlohmann::json start = unit->fullState();
    unit->setFullState(&start);
    return *unit;
}

void requireUsable(const zerin::ZerinExtensionAudioUnit& unit) {
    const auto curve = unit.getSpectralCurve();
    // A restore that brings no usable point keeps the curve the unit had.
    require(!curve.empty(), "the unit has a curve after a restore");
    require(curve.size() <= static_cast<std::size_t>(zerin::kMaxCurvePoints),
            "the unit keeps at most 32 curve points");
    for (const auto& [freq, delay] : curve) {
        // The kernel takes log10 of every frequency and interpolates between delays.
        require(std::isfinite(freq) && freq > 0.0f, "every curve frequency is finite and > 0");
        require(std::isfinite(delay), "every curve delay is finite");
    }
    for (const zerin::ParameterSpec* spec : zerin::allParameterSpecs()) {
        const zerin::AUParameter* parameter =
            unit.parameterTree()->parameterWithAddress(spec->address);
        require(parameter != nullptr, "every parameter of the table is in the unit's tree");
        const float value = parameter->value();
        require(value >= spec->minValue && value <= spec->maxValue,
                "every parameter value lies within its range");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zerin::ZerinExtensionAudioUnit& unit = unitAtStart();

    const auto doc = zerin::parseUntrustedJson(zerin::fuzz::asText(data, size), nullptr);
    if (!doc || !doc->is_object()) return 0;
    unit.setFullState(&*doc);
    requireUsable(unit);

    // What a host saves must restore to the very same unit: a value or point that changed on
    // the way would make every save and reload of a project drift.
    const nlohmann::json saved = unit.fullState();
    unit.setFullState(&saved);
    require(unit.fullState() == saved, "a saved state restores to itself");
    return 0;
}
