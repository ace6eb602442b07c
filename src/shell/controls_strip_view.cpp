#include "shell/controls_strip_view.h"

#include "dsp/parameters.h"
#include "platform/ui/layout.h"
#include "widgets/controls.h"
#include "widgets/panel_style.h"
#include "widgets/theme.h"

#include <memory>
#include <string>
#include <utility>

namespace zerin {

namespace {

namespace palette = theme;

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};

struct SectionSpec {
    const char* title;
    std::vector<parameter::Address> knobs;
    double spacing;
    bool withSyncToggle;
};

// The sections follow the table's groups (I/O, Mix, Modulation, Scatter).
const std::vector<SectionSpec>& sections() {
    static const std::vector<SectionSpec> list = {
        {"I/O", {parameter::inputGain, parameter::outputGain}, 16.0, false},
        {"MIX",
         {parameter::dryWet, parameter::feedback, parameter::sourceSensitivity},
         16.0,
         false},
        {"MODULATION", {parameter::lfoRate, parameter::lfoDepth}, 12.0, true},
        {"SCATTER", {parameter::scatterSpeed}, 16.0, false},
    };
    return list;
}

// One write gesture: the host records the flip as touch and release of the new value.
void flip(ObservableAUParameter& param) {
    const float next = syncIsOn(param.value()) ? 0.0f : 1.0f;
    if (param.editingState() != EditingState::began) param.setEditing(true);
    param.setValue(next);
    param.setEditing(false);
}

ViewPtr makeSyncToggle(ObservableAUParameter& param) {
    std::shared_ptr<ObservableAUParameter> held = param.shared_from_this();
    auto isOn = [held] { return syncIsOn(held->value()); };
    const Font font{9.0, FontWeight::bold, FontDesign::standard, 1.0};
    ViewPtr label =
        padding(text([] { return std::string("SYNC"); }, font,
                     [isOn] { return isOn() ? palette::accentCyan : palette::textTertiary; }),
                EdgeInsets::symmetric(8.0, 4.0));
    PaintFunction fill = [isOn](const Rect&) -> Paint {
        return isOn() ? palette::accentCyan.withAlpha(0.15) : kWhite.withAlpha(0.05);
    };
    PaintFunction border = [isOn](const Rect&) -> Paint {
        return isOn() ? palette::accentCyan.withAlpha(0.3) : kWhite.withAlpha(0.1);
    };
    ViewPtr decorated =
        background(std::move(label), shape(Shape::roundedRectangle(4.0), fill, border));
    return button(std::move(decorated), [held] { flip(*held); });
}

ViewPtr sectionTitle(const char* title) {
    return text(title, Font{8.0, FontWeight::bold, FontDesign::standard, 2.0},
                palette::textTertiary);
}

FrameSpec growingWidth() {
    FrameSpec spec;
    spec.maxWidth = kInfinity;
    return spec;
}

ViewPtr divider() {
    return padding(verticalDivider(palette::borderSubtle), {16.0, 0.0, 16.0, 0.0});
}

} // namespace

ControlsStripView::ControlsStripView(ObservableAUParameterGroup& parameterTree) {
    ViewList row;
    for (const SectionSpec& spec : sections()) {
        if (!row.empty()) row.push_back(divider());
        ViewList controls;
        for (const parameter::Address address : spec.knobs) {
            ObservableAUParameter* leaf = parameterTree.parameter(address);
            if (leaf == nullptr) continue;
            auto knob = std::make_unique<RotaryKnobView>(*leaf);
            knobViews.push_back(knob.get());
            controls.push_back(std::move(knob));
        }
        ObservableAUParameter* sync =
            spec.withSyncToggle ? parameterTree.parameter(parameter::tempoSync) : nullptr;
        if (sync != nullptr) {
            controls.push_back(makeSyncToggle(*sync));
            toggle = controls.back().get();
        }
        ViewPtr section = vstack(6.0, HAlign::center,
                                 views(hstack(spec.spacing, VAlign::center, std::move(controls)),
                                       sectionTitle(spec.title)));
        // Sections share the width equally, however many controls each holds.
        row.push_back(zerin::frame(std::move(section), growingWidth()));
    }
    FrameSpec stripFrame = growingWidth();
    stripFrame.height = kControlsStripHeight;
    ViewPtr strip = zerin::frame(
        padding(hstack(0.0, VAlign::center, std::move(row)), EdgeInsets::symmetric(24.0, 0.0)),
        stripFrame);
    addChild(overlay(background(std::move(strip), panelBackgroundView()),
                     panelEdgeLine(PanelEdge::top)));
}

Size ControlsStripView::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

} // namespace zerin
