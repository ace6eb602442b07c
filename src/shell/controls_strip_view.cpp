#include "shell/controls_strip_view.h"

#include "audiounit/parameters.h"
#include "dsp/parameters.h"
#include "platform/ui/layout.h"
#include "widgets/controls.h"
#include "widgets/panel_style.h"
#include "widgets/theme.h"

#include <cctype>
#include <memory>
#include <string>
#include <utility>
#include <variant>

namespace zerin {

namespace {

namespace palette = theme;

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};

struct SectionSpec {
    std::string title;
    std::vector<AUParameterAddress> knobs;
    double spacing;
    bool withSyncToggle;
};

// A knob turns through a range; on/off and a choice of modes are not knobs.
bool isKnob(const ParameterSpec& spec) {
    return spec.units != kAudioUnitParameterUnit_Boolean &&
           spec.units != kAudioUnitParameterUnit_Indexed;
}

SectionSpec sectionOf(const ParameterGroupSpec& group) {
    SectionSpec section{group.name, {}, 16.0, false};
    for (char& c : section.title)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const NodeSpec& node : group.children) {
        const auto* spec = std::get_if<ParameterSpec>(&node.node);
        if (spec == nullptr) continue;
        if (isKnob(*spec)) section.knobs.push_back(spec->address);
        if (spec->address == parameter::tempoSync) section.withSyncToggle = true;
    }
    // The toggle is narrower than a knob; closer spacing keeps the section's row balanced.
    if (section.withSyncToggle) section.spacing = 12.0;
    return section;
}

// One section per group of the parameter table, in its order, titled by the group.
const std::vector<SectionSpec>& sections() {
    static const std::vector<SectionSpec> list = [] {
        std::vector<SectionSpec> out;
        for (const NodeSpec& node : parameterTreeSpec().children)
            if (const auto* group = std::get_if<ParameterGroupSpec>(&node.node))
                // The curve macros wait for the strip's new layout; until then the editor
                // leaves them to the host.
                if (group->identifier != "curve") out.push_back(sectionOf(*group));
        return out;
    }();
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

ViewPtr sectionTitle(const std::string& title) {
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
        for (const AUParameterAddress address : spec.knobs) {
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
