// --curve (the input up to its first newline) and --set (the rest): what they accept goes to
// the unit unchecked, so it must already be what the unit and the kernel take.

#include "fuzz_check.h"

#include "dsp/constants.h"
#include "session/parameter_args.h"

#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

namespace {

using zerin::fuzz::require;

void checkCurve(std::string_view text, zerin::CurveKind kind) {
    std::string error;
    const auto curve = zerin::session::parseCurve(text, &error, kind);
    if (!curve) {
        require(!error.empty(), "a refused curve says why");
        return;
    }
    // The unit keeps 32 points and drops the rest silently; the command must refuse more
    // rather than render a curve other than the one typed.
    require(!curve->empty() && curve->size() <= static_cast<std::size_t>(zerin::kMaxCurvePoints),
            "an accepted curve has 1 to 32 points");
    float previous = 0.0f;
    for (const auto& [freq, delay] : *curve) {
        // The kernel takes log10 of every frequency; a value that is positive as typed but
        // rounds to 0 as a float would reach it as -inf.
        require(std::isfinite(freq) && freq > 0.0f, "every frequency is a finite float > 0");
        require(std::isfinite(delay), "every value is a finite float");
        require(kind == zerin::CurveKind::delay || (delay >= 0.0f && delay <= 100.0f),
                "every feedback value lies within 0..100 %");
        // The kernel interpolates between neighbours, so it needs them in frequency order.
        require(freq >= previous, "the points come sorted by frequency");
        previous = freq;
    }
}

void checkSetting(std::string_view text) {
    std::string error;
    const auto setting = zerin::session::parseSetting(text, &error);
    if (!setting) {
        require(!error.empty(), "a refused setting says why");
        return;
    }
    require(setting->spec != nullptr, "an accepted setting names a parameter");
    require(setting->value >= setting->spec->minValue && setting->value <= setting->spec->maxValue,
            "an accepted setting's value lies within its parameter's range");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = zerin::fuzz::asText(data, size);
    const std::size_t newline = text.find('\n');
    checkCurve(text.substr(0, newline), zerin::CurveKind::delay);
    checkCurve(text.substr(0, newline), zerin::CurveKind::feedback);
    checkSetting(newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1));
    return 0;
}
