#include "shell/top_bar_view.h"

#include "platform/ui/layout.h"
#include "widgets/controls.h"
#include "widgets/panel_style.h"
#include "widgets/segmented_control.h"
#include "widgets/theme.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zerin {

namespace {

namespace palette = theme;

constexpr double kTitleGap = 16.0; // between the title and what follows it

std::string upperCased(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// Two views side by side where the trailing one is sized first, so a long leading text is
// the one cut short (the preset name before its chevron, the name button before save).
class TrailingFirstRow : public View {
public:
    TrailingFirstRow(ViewPtr leading, ViewPtr trailing, double spacing) : spacing(spacing) {
        addChild(std::move(leading));
        addChild(std::move(trailing));
    }

    Size sizeThatFits(Size proposal) override {
        const auto [leadingSize, trailingSize] = measure(proposal);
        return {leadingSize.width + spacing + trailingSize.width,
                std::max(leadingSize.height, trailingSize.height)};
    }

    Flexibility flexibility() const override { return {}; }

    void layout(const Rect& frame) override {
        setFrame(frame);
        const auto [leadingSize, trailingSize] = measure({frame.width, frame.height});
        children()[0]->layout({0.0, (frame.height - leadingSize.height) / 2.0, leadingSize.width,
                               leadingSize.height});
        children()[1]->layout({leadingSize.width + spacing,
                               (frame.height - trailingSize.height) / 2.0, trailingSize.width,
                               trailingSize.height});
    }

private:
    std::pair<Size, Size> measure(Size proposal) const {
        const Size trailing = children()[1]->sizeThatFits(proposal);
        const double left = std::max(0.0, proposal.width - trailing.width - spacing);
        return {children()[0]->sizeThatFits({left, proposal.height}), trailing};
    }

    double spacing;
};

// Three views in a row with the middle one centred in the row whatever the others' widths: the
// leading one at the start, the trailing one at the end, each offered only the room beside the
// middle one (a long preset name is cut short, never pushes the modes aside).
class CentredRow : public View {
public:
    CentredRow(ViewPtr leading, ViewPtr middle, ViewPtr trailing, double spacing)
        : spacing(spacing) {
        addChild(std::move(leading));
        addChild(std::move(middle));
        addChild(std::move(trailing));
    }

    Size sizeThatFits(Size proposal) override {
        const Sizes sizes = measure(proposal);
        const double width =
            std::isfinite(proposal.width)
                ? proposal.width
                : sizes.middle.width +
                      2.0 * (spacing + std::max(sizes.leading.width, sizes.trailing.width));
        return {width,
                std::max({sizes.leading.height, sizes.middle.height, sizes.trailing.height})};
    }

    Flexibility flexibility() const override { return {true, false}; }

    void layout(const Rect& frame) override {
        setFrame(frame);
        const Sizes sizes = measure({frame.width, frame.height});
        const auto place = [&](View& view, double x, Size size) {
            view.layout({x, (frame.height - size.height) / 2.0, size.width, size.height});
        };
        place(*children()[0], 0.0, sizes.leading);
        place(*children()[1], (frame.width - sizes.middle.width) / 2.0, sizes.middle);
        place(*children()[2], frame.width - sizes.trailing.width, sizes.trailing);
    }

private:
    struct Sizes {
        Size leading, middle, trailing;
    };
    Sizes measure(Size proposal) const {
        const Size middle = children()[1]->sizeThatFits(proposal);
        // Infinite when the row is: the sides then take what they like.
        const double side = std::max(0.0, (proposal.width - middle.width) / 2.0 - spacing);
        return {children()[0]->sizeThatFits({side, proposal.height}), middle,
                children()[2]->sizeThatFits({side, proposal.height})};
    }

    double spacing;
};

// The modes as a segmented control: the selection is the mode's index among all modes.
std::unique_ptr<SegmentedControl> modeSelector(const Binding<SpectralMode>& currentMode,
                                               std::function<void(SpectralMode)> onModeChange) {
    std::vector<std::string> titles;
    titles.reserve(allSpectralModes.size());
    for (const SpectralMode mode : allSpectralModes)
        titles.push_back(upperCased(displayName(mode)));
    Binding<std::size_t> selection{
        [currentMode] { return static_cast<std::size_t>(rawValue(currentMode.get())); },
        [currentMode](std::size_t index) { currentMode.set(allSpectralModes.at(index)); }};
    auto onSelect = [onModeChange = std::move(onModeChange)](std::size_t index) {
        if (onModeChange) onModeChange(allSpectralModes.at(index));
    };
    SegmentedControlStyle style;
    style.text = palette::textSecondary;
    style.highlight = palette::accentCyan.withAlpha(0.2);
    style.slideSeconds = kModeHighlightSlideSeconds;
    return std::make_unique<SegmentedControl>(std::move(titles), std::move(selection),
                                              std::move(onSelect), style);
}

// The name, then the dirty marker, then the chevron. The marker is a text of its own, sized
// before the name, so a name too long for the bar is the one cut short and " *" always shows.
ViewPtr presetNameLabel(std::function<std::string()> name, std::function<bool()> isDirty,
                        View*& nameText, View*& marker) {
    const Font font{11.0, FontWeight::medium};
    const auto primary = [] { return palette::textPrimary; };
    ViewPtr title = text(std::move(name), font, primary);
    ViewPtr dirtyMarker = text(
        [isDirty = std::move(isDirty)] { return std::string(isDirty && isDirty() ? " *" : ""); },
        font, primary);
    nameText = title.get();
    marker = dirtyMarker.get();
    ViewPtr chevron = symbol("chevron.down", Font{8.0, FontWeight::bold}, palette::textSecondary);
    ViewPtr trailing =
        std::make_unique<TrailingFirstRow>(std::move(dirtyMarker), std::move(chevron), 4.0);
    return withButtonBackground(
        padding(std::make_unique<TrailingFirstRow>(std::move(title), std::move(trailing), 0.0),
                EdgeInsets::symmetric(10.0, 5.0)));
}

FrameSpec squareFrame(double side) {
    FrameSpec spec;
    spec.width = side;
    spec.height = side;
    return spec;
}

ViewPtr saveLabel() {
    return withButtonBackground(frame(
        symbol("square.and.arrow.down", Font{12.0, FontWeight::medium}, palette::textSecondary),
        squareFrame(28.0)));
}

std::function<void()> orNothing(std::function<void()> action) {
    if (action) return action;
    return [] {};
}

} // namespace

TopBarView::TopBarView(TopBarInputs inputs) {
    auto modes = modeSelector(inputs.currentMode, std::move(inputs.onModeChange));
    selector = modes.get();
    ViewPtr nameButton =
        button(presetNameLabel(std::move(inputs.currentPresetName), std::move(inputs.isDirty),
                               presetNameView, dirtyMarkerView),
               orNothing(std::move(inputs.onPresetTap)));
    presetButtonView = nameButton.get();
    ViewPtr save = button(saveLabel(), orNothing(std::move(inputs.onSaveTap)));
    saveButtonView = save.get();

    ViewPtr title = text("ZERIN", Font{16.0, FontWeight::bold, FontDesign::monospaced, 4.0},
                         palette::accentCyan);
    // The modes in the middle of the bar, where they stay whatever the name beside them.
    ViewList trailing =
        views(std::make_unique<TrailingFirstRow>(std::move(nameButton), std::move(save), 8.0));
    if (inputs.playControls) trailing.insert(trailing.begin(), std::move(inputs.playControls));
    if (inputs.monitorControls)
        title = hstack(kTitleGap, VAlign::center,
                       views(std::move(title), std::move(inputs.monitorControls)));
    ViewPtr row = std::make_unique<CentredRow>(
        std::move(title), std::move(modes),
        hstack(kDefaultSpacing, VAlign::center, std::move(trailing)), kDefaultSpacing);
    FrameSpec barFrame;
    barFrame.height = kTopBarHeight;
    barFrame.maxWidth = kInfinity;
    ViewPtr bar = zerin::frame(padding(std::move(row), EdgeInsets::symmetric(16.0, 0.0)), barFrame);
    addChild(overlay(background(std::move(bar), panelBackgroundView()),
                     panelEdgeLine(PanelEdge::bottom)));
}

Size TopBarView::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

View& TopBarView::segment(SpectralMode mode) const {
    return selector->segment(static_cast<std::size_t>(rawValue(mode)));
}

} // namespace zerin
