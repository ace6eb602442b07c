#include "shell/control_tooltips.h"

#include "dsp/modes.h"
#include "dsp/parameters.h"
#include "editor/spectrum_plot.h"
#include "shell/controls_strip_view.h"
#include "shell/curve_choice_view.h"
#include "shell/main_view.h"
#include "shell/top_bar_view.h"
#include "widgets/rotary_knob_view.h"
#include "widgets/segmented_control.h"

#include <array>
#include <memory>
#include <utility>

namespace zerin {

namespace {

std::function<std::string()> fixed(std::string text) {
    return [text = std::move(text)] { return text; };
}

std::string modePurpose(SpectralMode mode) {
    switch (mode) {
        case SpectralMode::delay:
            return "Delay\nEvery band delayed as the curve says";
        case SpectralMode::freeze:
            return "Freeze\nHolds one spectrum and lets it ring";
        case SpectralMode::scatter:
            return "Scatter\nDelays, then trades energy between neighbouring bands";
    }
    return {};
}

} // namespace

std::string parameterPurpose(AUParameterAddress address) {
    switch (address) {
        case parameter::inputGain:
            return "Level into the effect";
        case parameter::outputGain:
            return "Level out of the effect";
        case parameter::dryWet:
            return "Dry against processed sound";
        case parameter::feedback:
            return "How much of the delayed sound comes round again";
        case parameter::sourceSensitivity:
            return "Lets transients through undelayed";
        case parameter::stereoSpread:
            return "Left delays shorter, right longer: at 100% half the drawn delay each way. "
                   "Stereo only";
        case parameter::pingPong:
            return "Each repeat comes back on the other side";
        case parameter::lfoRate:
            return "How fast the LFO sways the delays";
        case parameter::lfoDepth:
            return "How far the LFO sways the delays";
        case parameter::tempoSync:
            return "LFO follows the tempo";
        case parameter::scatterSpeed:
            return "How often scattered bands move";
        case parameter::morph:
            return "Blends curve A towards curve B";
        case parameter::curveScale:
            return "Stretches every delay of the curve";
        case parameter::curveShift:
            return "Moves the curve along the frequencies";
        case parameter::delaySync:
            return "Delays snap to note values";
        case parameter::freeze:
            return "Holds what plays now (MIDI notes hold it too)";
        case parameter::freezeStyle:
            return "A freeze that holds still, without the frame pulse";
        case parameter::freezeFade:
            return "How long a freeze takes to fade in and out";
        default:
            return {};
    }
}

std::function<std::string()> knobTooltip(const ControlParameter& param, std::string purpose) {
    std::shared_ptr<const ControlParameter> held = param.shared_from_this();
    return [held, purpose = std::move(purpose)] {
        return held->displayName + ": " + knobValueText(held->value(), held->unit) + "\n" +
               purpose + "\nDouble-click to type a value, Ctrl+click resets";
    };
}

std::function<std::string()> toggleTooltip(const ControlParameter& param, std::string purpose,
                                           std::string offWord, std::string onWord) {
    std::shared_ptr<const ControlParameter> held = param.shared_from_this();
    return [held, purpose = std::move(purpose), offWord = std::move(offWord),
            onWord = std::move(onWord)] {
        return held->displayName + ": " + (syncIsOn(held->value()) ? onWord : offWord) + "\n" +
               purpose;
    };
}

void describeControls(ZerinExtensionMainView& view) {
    TopBarView& bar = view.topBar();
    for (const SpectralMode mode : allSpectralModes)
        bar.segment(mode).tooltip = fixed(modePurpose(mode));
    bar.presetButton().tooltip = fixed("Presets\nBrowse, filter and load presets");
    bar.saveButton().tooltip = fixed("Save\nKeep the curves as a preset of your own");

    CurveChoiceView& row = view.curveChoice();
    row.kindSegment(CurveKind::delay).tooltip = fixed("Delay curve\nEdit each band's delay");
    row.kindSegment(CurveKind::feedback).tooltip =
        fixed("Feedback curve\nEdit each band's share of the feedback");
    row.slotSegment(CurveSlot::a).tooltip = fixed("Slot A\nThe curves Morph starts from");
    row.slotSegment(CurveSlot::b).tooltip = fixed("Slot B\nThe curves Morph blends towards");
    row.copyButton().tooltip = fixed("Copy\nCopy the other slot's curve into this one");
    row.rangeSegment(0).tooltip = fixed("2 s range\nDelays up to 2 seconds");
    row.rangeSegment(1).tooltip = fixed("10 s range\nDelays up to 10 seconds");

    if (SegmentedControl* listen = view.listenSwitch()) {
        static constexpr std::array<const char*, 3> kListen = {
            "Listen: Mix\nDry and processed, as mixed",
            "Listen: Wet\nThe processed path alone, whatever the mix",
            "Listen: Spared\nWhat Source keeps out of the delay: set Source by ear"};
        for (std::size_t i = 0; i < kListen.size(); ++i)
            listen->segment(i).tooltip = fixed(kListen[i]);
    }

    static constexpr std::array<const char*, 5> kSizes = {"512", "1024", "2048", "4096", "8192"};
    for (std::size_t i = 0; i < kSizes.size(); ++i)
        view.frameSizeSwitch().segment(i).tooltip = fixed(
            std::string("FFT size ") + kSizes[i] + "\nLonger frames: finer bands, more latency");
    static constexpr std::array<const char*, 4> kShown = {"Analyser off", "Analyser: what comes in",
                                                          "Analyser: what goes out",
                                                          "Analyser: in and out"};
    for (std::size_t i = 0; i < kShown.size(); ++i)
        view.spectrumSwitch().segment(i).tooltip = fixed(kShown[i]);
}

} // namespace zerin
