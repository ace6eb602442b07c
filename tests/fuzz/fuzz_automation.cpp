// An --automation file (first byte: the sample rate): the renderer hands each value straight
// to the unit, so an accepted file must come out whole, sorted, on the timeline, in range.

#include "fuzz_check.h"

#include "audiounit/parameters.h"
#include "automation.h"
#include "platform/json/bounded_json.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace {

using zerin::fuzz::require;

// The lowest rate, the commonest and the highest the reader accepts: seconds turn into
// samples differently at each.
constexpr double kSampleRates[] = {8000.0, 44100.0, 768000.0};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const double sampleRate = kSampleRates[data[0] % std::size(kSampleRates)];
    const auto doc = zerin::parseUntrustedJson(zerin::fuzz::asText(data + 1, size - 1), nullptr);
    if (!doc) return 0;

    std::string error;
    const auto events = zerin::render::parseAutomation(*doc, sampleRate, "fuzz", &error);
    if (!events) {
        require(!error.empty(), "a refused automation file says why");
        return 0;
    }
    // All or nothing: an entry silently dropped would be a change the user never hears.
    require(doc->is_array() && events->size() == doc->size(),
            "every entry of an accepted file becomes one event");
    std::int64_t previous = 0;
    for (const zerin::render::AutomationEvent& event : *events) {
        require(event.sample >= 0, "no event lies before the input's first sample");
        require(event.sample >= previous, "events come in sample order");
        previous = event.sample;
        const zerin::ParameterSpec* spec = zerin::parameterSpec(event.address);
        require(spec != nullptr, "every event names a parameter of the table");
        require(event.value >= spec->minValue && event.value <= spec->maxValue,
                "every event's value lies within its parameter's range");
    }
    return 0;
}
