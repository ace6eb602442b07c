#include "shell/controls_strip_view.h"

#include "audiounit/parameters.h"
#include "dsp/parameters.h"
#include "platform/ui/layout.h"
#include "shell/control_tooltips.h"
#include "widgets/controls.h"
#include "widgets/panel_style.h"
#include "widgets/theme.h"

#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace zerin {

namespace {

namespace palette = theme;

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};
constexpr double kKnobSpacing = 12.0;
constexpr double kTitleSpacing = 6.0;
constexpr double kTitleRowHeight = 20.0; // a toggle's

struct KnobSpec {
    AUParameterAddress address;
    std::string caption; // the parameter's name, less its section's name before it
};

struct SectionSpec {
    std::string title;
    std::vector<KnobSpec> knobs;
    // The section's on/off parameter, shown as a button after its knobs: the LFO's tempo sync
    // and the curve's delay sync as SYNC, the stereo ping-pong as PING.
    std::optional<AUParameterAddress> toggle;
};

// The toggles the strip shows, and their buttons' titles; HOLD and SMOOTH are the top bar's.
std::optional<std::string> toggleTitle(AUParameterAddress address) {
    switch (address) {
        case parameter::tempoSync:
        case parameter::delaySync:
            return "SYNC";
        case parameter::pingPong:
            return "PING";
        default:
            return std::nullopt;
    }
}

// Under its section's title a knob need not say it again: "Scatter Speed" in SCATTER is
// SPEED, "Curve Shift" in CURVE is SHIFT.
std::string captionIn(const std::string& section, const std::string& name) {
    const std::string prefix = section + " ";
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0
               ? name.substr(prefix.size())
               : name;
}

// A knob turns through a range; on/off, a choice of modes and a note (played, not dialled)
// are not knobs.
bool isKnob(const ParameterSpec& spec) {
    // What the unit reports is shown where it means something (HOLD, the delay axis), never
    // turned.
    return (spec.flags & kAudioUnitParameterFlag_IsWritable) != 0 &&
           spec.units != kAudioUnitParameterUnit_Boolean &&
           spec.units != kAudioUnitParameterUnit_Indexed &&
           spec.units != kAudioUnitParameterUnit_MIDINoteNumber;
}

SectionSpec sectionOf(const ParameterGroupSpec& group) {
    SectionSpec section{group.name, {}, std::nullopt};
    for (char& c : section.title)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const NodeSpec& node : group.children) {
        const auto* spec = std::get_if<ParameterSpec>(&node.node);
        if (spec == nullptr) continue;
        if (isKnob(*spec))
            section.knobs.push_back({spec->address, captionIn(group.name, spec->name)});
        if (toggleTitle(spec->address)) section.toggle = spec->address;
    }
    return section;
}

// One section per group of the parameter table, in its order, titled by the group.
const std::vector<SectionSpec>& sections() {
    static const std::vector<SectionSpec> list = [] {
        std::vector<SectionSpec> out;
        for (const NodeSpec& node : parameterTreeSpec().children)
            if (const auto* group = std::get_if<ParameterGroupSpec>(&node.node)) {
                SectionSpec section = sectionOf(*group);
                if (!section.knobs.empty() || section.toggle) out.push_back(std::move(section));
            }
        return out;
    }();
    return list;
}

// One write gesture: the host records the flip as touch and release of the new value.
void flip(ControlParameter& param) {
    const float next = syncIsOn(param.value()) ? 0.0f : 1.0f;
    if (param.editingState() != EditingState::began) param.setEditing(true);
    param.setValue(next);
    param.setEditing(false);
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

// Between two sections: the room the strip has beyond what the sections need, shared evenly,
// around a hairline.
ViewPtr divider() {
    return hstack(0.0, VAlign::center,
                  views(spacer(10.0), verticalDivider(palette::borderSubtle), spacer(10.0)));
}

} // namespace

ViewPtr makeParameterToggle(ControlParameter& param, std::string label,
                            std::function<bool()> alsoLit, std::function<std::string()> tooltip) {
    std::shared_ptr<ControlParameter> held = param.shared_from_this();
    auto isOn = [held, alsoLit = std::move(alsoLit)] {
        return syncIsOn(held->value()) || (alsoLit && alsoLit());
    };
    const Font font{9.0, FontWeight::bold, FontDesign::standard, 1.0};
    ViewPtr title =
        padding(text([label = std::move(label)] { return label; }, font,
                     [isOn] { return isOn() ? palette::accentCyan : palette::textTertiary; }),
                EdgeInsets::symmetric(8.0, 4.0));
    PaintFunction fill = [isOn](const Rect&) -> Paint {
        return isOn() ? palette::accentCyan.withAlpha(0.15) : kWhite.withAlpha(0.05);
    };
    PaintFunction border = [isOn](const Rect&) -> Paint {
        return isOn() ? palette::accentCyan.withAlpha(0.3) : kWhite.withAlpha(0.1);
    };
    ViewPtr decorated =
        background(std::move(title), shape(Shape::roundedRectangle(4.0), fill, border));
    ViewPtr toggle = button(std::move(decorated), [held] { flip(*held); });
    toggle->tooltip = std::move(tooltip);
    return toggle;
}

ControlsStripView::ControlsStripView(EditorParameters& parameterTree) {
    ViewList row;
    for (const SectionSpec& spec : sections()) {
        if (!row.empty()) row.push_back(divider());
        ViewList controls;
        for (const KnobSpec& knobSpec : spec.knobs) {
            ControlParameter* leaf = parameterTree.parameter(knobSpec.address);
            if (leaf == nullptr) continue;
            auto knob = std::make_unique<RotaryKnobView>(*leaf, knobSpec.caption);
            knob->face().tooltip = knobTooltip(*leaf, parameterPurpose(knobSpec.address));
            knobViews.push_back(knob.get());
            controls.push_back(std::move(knob));
        }
        // The section's toggle beside its title, under the knobs: a button in the knobs' row
        // would cost the strip a knob's width.
        ViewList titled = views(sectionTitle(spec.title));
        ControlParameter* onOff = spec.toggle ? parameterTree.parameter(*spec.toggle) : nullptr;
        if (onOff != nullptr) {
            titled.push_back(
                makeParameterToggle(*onOff, *toggleTitle(*spec.toggle), nullptr,
                                    toggleTooltip(*onOff, parameterPurpose(*spec.toggle))));
            toggleView(*spec.toggle) = titled.back().get();
        }
        // Each section as wide as its controls; the dividers share what is left. Every title
        // row as tall as a toggle, so that the knobs of all sections stay in one line.
        row.push_back(
            vstack(kTitleSpacing, HAlign::center,
                   views(hstack(kKnobSpacing, VAlign::center, std::move(controls)),
                         zerin::frame(hstack(kTitleSpacing, VAlign::center, std::move(titled)),
                                      {.height = kTitleRowHeight}))));
    }
    FrameSpec stripFrame = growingWidth();
    stripFrame.height = kControlsStripHeight;
    ViewPtr strip = zerin::frame(
        padding(hstack(0.0, VAlign::center, std::move(row)), EdgeInsets::symmetric(20.0, 0.0)),
        stripFrame);
    addChild(overlay(background(std::move(strip), panelBackgroundView()),
                     panelEdgeLine(PanelEdge::top)));
}

View*& ControlsStripView::toggleView(AUParameterAddress address) {
    if (address == parameter::tempoSync) return toggle;
    return address == parameter::delaySync ? delayToggle : pingToggle;
}

Size ControlsStripView::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

} // namespace zerin
