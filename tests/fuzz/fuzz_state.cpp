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
        made->setCurve(zerin::CurveSlot::a, zerin::CurveKind::delay,
                       {std::begin(zerin::kDefaultCurve), std::end(zerin::kDefaultCurve)});
        return made;
    }();
    static const nlohmann::json start = unit->fullState();
    unit->setFullState(&start);
    return *unit;
}

void requireUsable(const zerin::ZerinExtensionAudioUnit& unit) {
    const zerin::CurveSet set = unit.curveSet();
    for (const auto& slot : set.curves)
        for (int kind = 0; kind < zerin::kCurveKindCount; ++kind) {
            const zerin::CurveData& curve = slot[kind];
            // A restore that brings no usable point keeps the curve the unit had.
            require(curve.count >= 1, "every curve of the set has a point after a restore");
            require(curve.count <= zerin::kMaxCurvePoints, "the unit keeps at most 32 points");
            for (int i = 0; i < curve.count; ++i) {
                // The kernel takes log10 of every frequency and interpolates between values.
                const auto [freq, value] = curve.points[i];
                require(std::isfinite(freq) && freq > 0.0f,
                        "every curve frequency is finite and > 0");
                require(std::isfinite(value), "every curve value is finite");
                require(kind == 0 || (value >= 0.0f && value <= 100.0f),
                        "every feedback value lies within 0..100 %");
            }
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
