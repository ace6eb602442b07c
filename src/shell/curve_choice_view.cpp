#include "shell/curve_choice_view.h"

#include "platform/ui/layout.h"
#include "widgets/controls.h"
#include "widgets/panel_style.h"
#include "widgets/segmented_control.h"
#include "widgets/theme.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zerin {

namespace {

const Font kChoiceFont{9.0, FontWeight::bold, FontDesign::standard, 1.2};

// Choices bound to an enum (or an index) whose raw values count from 0.
template <typename Enum>
std::unique_ptr<SegmentedControl> choice(std::vector<std::string> titles, Binding<Enum> bound,
                                         Color accent, std::vector<Color> highlights = {}) {
    Binding<std::size_t> selection{
        [bound] { return static_cast<std::size_t>(bound.get()); },
        [bound](std::size_t index) { bound.set(static_cast<Enum>(index)); }};
    SegmentedControlStyle style;
    style.font = kChoiceFont;
    style.text = theme::textSecondary;
    style.highlight = accent.withAlpha(0.22);
    style.highlights = std::move(highlights);
    style.paddingX = 10.0;
    style.paddingY = 4.0;
    return std::make_unique<SegmentedControl>(
        std::move(titles), std::move(selection), [](std::size_t) {}, style);
}

} // namespace

std::unique_ptr<SegmentedControl> frameSizeSwitch(Binding<int> sizeIndex) {
    return choice({"512", "1K", "2K", "4K", "8K"}, std::move(sizeIndex), theme::accentCyan);
}

std::unique_ptr<SegmentedControl> spectrumSwitch(Binding<SpectrumShown> shown) {
    std::vector<std::string> titles;
    titles.reserve(kAllSpectrumShown.size());
    for (const SpectrumShown s : kAllSpectrumShown)
        titles.emplace_back(spectrumShownLabel(s));
    return choice(std::move(titles), std::move(shown), theme::textSecondary);
}

std::unique_ptr<SegmentedControl> listenSwitch(Binding<int> listen) {
    const Color part = theme::accentAmber.withAlpha(0.4);
    return choice({"MIX", "WET", "SPARED"}, std::move(listen), theme::textSecondary,
                  {theme::textSecondary.withAlpha(0.22), part, part});
}

namespace {

ViewPtr menuItem(std::string title, std::function<void()> action, View** made) {
    ViewPtr item =
        button(padding(text(std::move(title), Font{10.0, FontWeight::medium}, theme::textPrimary),
                       EdgeInsets::symmetric(12.0, 6.0)),
               std::move(action));
    if (made != nullptr) *made = item.get();
    return item;
}

} // namespace

CurveChoiceView::CurveChoiceView(CurveChoiceInputs inputs) {
    auto kinds = choice({"DELAY", "FEEDBACK"}, inputs.kind, theme::accentCyan);
    kindSelector = kinds.get();
    auto slots = choice({"A", "B"}, inputs.slot, theme::accentPink);
    slotSelector = slots.get();
    ViewPtr copyLabel = withButtonBackground(padding(
        hstack(4.0, VAlign::center,
               views(text("COPY", kChoiceFont, theme::textSecondary),
                     symbol("chevron.down", Font{7.0, FontWeight::bold}, theme::textSecondary))),
        EdgeInsets::symmetric(8.0, 4.0)));
    std::function<void()> onCopy = inputs.onCopyTap ? std::move(inputs.onCopyTap) : [] {};
    ViewPtr copy = button(std::move(copyLabel), std::move(onCopy));
    copyButtonView = copy.get();
    auto ranges = choice({"2 S", "10 S"}, inputs.delayRange, theme::accentCyan);
    rangeSelector = ranges.get();
    addChild(hstack(8.0, VAlign::center,
                    views(std::move(kinds), std::move(slots), std::move(copy), std::move(ranges))));
}

Size CurveChoiceView::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

View& CurveChoiceView::kindSegment(CurveKind kind) const {
    return kindSelector->segment(static_cast<std::size_t>(kind));
}

View& CurveChoiceView::slotSegment(CurveSlot slot) const {
    return slotSelector->segment(static_cast<std::size_t>(slot));
}

View& CurveChoiceView::rangeSegment(int range) const {
    return rangeSelector->segment(static_cast<std::size_t>(range));
}

ViewPtr copyMenu(const std::function<void(CurveSlot from)>& onCopy, View** copyAToB,
                 View** copyBToA) {
    ViewPtr items = vstack(0.0, HAlign::leading,
                           views(menuItem(
                                     "Copy A→B", [onCopy] { onCopy(CurveSlot::a); }, copyAToB),
                                 menuItem(
                                     "Copy B→A", [onCopy] { onCopy(CurveSlot::b); }, copyBToA)));
    return background(padding(std::move(items), EdgeInsets::all(4.0)), panelBackgroundView());
}

} // namespace zerin
