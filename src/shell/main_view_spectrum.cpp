// The analyser's spectra under the curve: the levels taken from the unit at every display
// frame while they show, and the OFF / IN / OUT / BOTH choice, kept in the preference store.

#include "shell/main_view.h"

#include "editor/spectral_canvas_view.h"
#include "platform/ui/ui_context.h"

#include <nlohmann/json.hpp>

namespace zerin {

namespace {

constexpr std::string_view kSpectrumKey = "ZerinSpectrum";

} // namespace

void ZerinExtensionMainView::readSpectrumChoice() {
    // A value this build cannot read (a hand edit, a later build's word) shows both.
    preferences.read(kSpectrumKey, [this](const nlohmann::ordered_json* value) {
        if (value != nullptr && value->is_string())
            spectrumShown = spectrumShownFromKey(value->get<std::string>()).value_or(spectrumShown);
    });
}

void ZerinExtensionMainView::chooseSpectrum(SpectrumShown shown) {
    if (shown == spectrumShown) return;
    spectrumShown = shown;
    canvas().inputs.spectrumShown = shown;
    preferences.update(kSpectrumKey, [shown](nlohmann::ordered_json& value) {
        value = std::string(spectrumShownKey(shown));
        return std::string();
    });
}

// The unit measures only while the spectrum shows.
void ZerinExtensionMainView::takeLevels() {
    if (link != nullptr &&
        spectra.update(*link, context()->mainQueue().now(), spectrumShown != SpectrumShown::off))
        canvas().inputs.levels = spectra.shown();
}

} // namespace zerin
