#include "shell/top_bar_view.h"

#include "platform/ui/animation.h"
#include "platform/ui/layout.h"
#include "platform/ui/shapes.h"
#include "platform/ui/ui_context.h"
#include "widgets/controls.h"
#include "widgets/panel_style.h"
#include "widgets/theme.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>

namespace zerin {

namespace {

namespace palette = theme;

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};

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

ViewPtr modeSegmentLabel(SpectralMode mode, const Binding<SpectralMode>& currentMode) {
    const Font font{10.0, FontWeight::bold, FontDesign::standard, 1.5};
    std::string title = upperCased(displayName(mode));
    return padding(text([title] { return title; }, font,
                        [currentMode, mode] {
                            return currentMode.get() == mode ? kWhite : palette::textSecondary;
                        }),
                   EdgeInsets::symmetric(16.0, 6.0));
}

} // namespace

// The segments in a capsule, with the selection highlight drawn under their labels. The
// highlight follows `currentMode` whoever changes it, sliding over a quarter second.
class ModeSelectorView : public View {
public:
    ModeSelectorView(Binding<SpectralMode> currentMode,
                     std::function<void(SpectralMode)> onModeChange)
        : currentMode(std::move(currentMode)), onModeChange(std::move(onModeChange)) {
        ViewList buttons;
        for (std::size_t i = 0; i < allSpectralModes.size(); ++i) {
            const SpectralMode mode = allSpectralModes[i];
            buttons.push_back(
                button(modeSegmentLabel(mode, this->currentMode), [this, mode] { select(mode); }));
            segments[i] = buttons.back().get();
        }
        addChild(padding(hstack(2.0, VAlign::center, std::move(buttons)), EdgeInsets::all(2.0)));
    }

    Size sizeThatFits(Size proposal) override { return children().front()->sizeThatFits(proposal); }
    Flexibility flexibility() const override { return {}; }

    void layout(const Rect& frame) override {
        View::layout(frame);
        followCurrentMode();
    }

    void draw(Graphics& g) override {
        Path track;
        addCapsule(track, bounds());
        g.fill(track, kWhite.withAlpha(0.05));
        if (shownMode) {
            Path highlight;
            addCapsule(highlight, slide.valueAt(now()));
            g.fill(highlight, palette::accentCyan.withAlpha(0.2));
        }
        drawChildren(g);
    }

    View& segment(SpectralMode mode) const {
        return *segments[static_cast<std::size_t>(rawValue(mode))];
    }

private:
    double now() const { return context() != nullptr ? context()->frameTime() : 0.0; }

    // The segment's frame in the selector's own coordinates.
    Rect segmentRect(SpectralMode mode) const {
        const View& view = segment(mode);
        const Point origin = view.originInRoot();
        const Point mine = originInRoot();
        return {origin.x - mine.x, origin.y - mine.y, view.frame().width, view.frame().height};
    }

    void select(SpectralMode mode) {
        currentMode.set(mode);
        // Started now rather than at the next layout, so the slide is timed from the click.
        shownMode = mode;
        slide.animateTo(segmentRect(mode), now(), kModeHighlightSlideSeconds);
        if (onModeChange) onModeChange(mode);
    }

    void followCurrentMode() {
        const SpectralMode mode = currentMode.get();
        const Rect target = segmentRect(mode);
        if (!shownMode) {
            slide.animateTo(target, now(), 0.0);
        } else if (*shownMode != mode) {
            slide.animateTo(target, now(), kModeHighlightSlideSeconds);
        } else if (slide.target() != target) {
            // The segments moved (a resize): follow at once unless a slide is under way.
            slide.animateTo(target, now(),
                            slide.isAnimating(now()) ? kModeHighlightSlideSeconds : 0.0);
        }
        shownMode = mode;
    }

    Binding<SpectralMode> currentMode;
    std::function<void(SpectralMode)> onModeChange;
    std::array<View*, allSpectralModes.size()> segments{};
    std::optional<SpectralMode> shownMode;
    AnimatedRect slide;
};

namespace {

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
    auto modeSelector = std::make_unique<ModeSelectorView>(std::move(inputs.currentMode),
                                                           std::move(inputs.onModeChange));
    selector = modeSelector.get();
    ViewPtr nameButton =
        button(presetNameLabel(std::move(inputs.currentPresetName), std::move(inputs.isDirty),
                               presetNameView, dirtyMarkerView),
               orNothing(std::move(inputs.onPresetTap)));
    presetButtonView = nameButton.get();
    ViewPtr save = button(saveLabel(), orNothing(std::move(inputs.onSaveTap)));
    saveButtonView = save.get();

    ViewPtr title = text("ZERIN", Font{16.0, FontWeight::bold, FontDesign::monospaced, 4.0},
                         palette::accentCyan);
    ViewPtr row = hstack(
        kDefaultSpacing, VAlign::center,
        views(std::move(title), spacer(), std::move(modeSelector), spacer(),
              std::make_unique<TrailingFirstRow>(std::move(nameButton), std::move(save), 8.0)));
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
    return selector->segment(mode);
}

} // namespace zerin
