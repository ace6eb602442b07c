#include "editor/point_menu_view.h"

#include "editor/canvas_input.h"
#include "platform/ui/ui_context.h"
#include "widgets/controls.h"
#include "widgets/panel_style.h"
#include "widgets/theme.h"

#include <utility>

namespace zerin {

namespace {

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};
// The system red, as the canvas marks a point about to be deleted.
constexpr Color kDeleteRed = Color::rgb255(255, 59, 48);
constexpr double kCornerRadius = 4.0;
constexpr double kTitleWidth = 62.0;
constexpr double kFieldWidth = 104.0;

const Font kTitleFont{8.0, FontWeight::bold, FontDesign::standard, 1.2};
const Font kFieldFont{11.0, FontWeight::regular};
const Font kButtonFont{10.0, FontWeight::medium};

// A field of the menu: Return, Escape and Tab are the menu's (a plain field would take Return
// and Escape as the end of its editing).
class MenuField : public TextField {
public:
    using TextField::TextField;
    bool keyDown(const KeyEvent& event) override {
        if (event.key == Key::enter || event.key == Key::escape || event.key == Key::tab)
            return false;
        return TextField::keyDown(event);
    }
};

ViewPtr buttonLabel(const char* title, Color color, Color fill) {
    return background(padding(text(title, kButtonFont, color), EdgeInsets::symmetric(10.0, 4.0)),
                      shape(Shape::roundedRectangle(kCornerRadius), solid(fill)));
}

std::string valueTitle(const CurveAxis& axis) {
    return axis.kind == CurveKind::feedback ? "FEEDBACK" : "DELAY";
}

} // namespace

PointMenuView::PointMenuView(PointMenuInputs menuInputs) : inputs(std::move(menuInputs)) {
    const auto row = [](std::string title, ViewPtr input) {
        return hstack(6.0, VAlign::center,
                      views(zerin::frame(text(std::move(title), kTitleFont, theme::textSecondary),
                                         {.width = kTitleWidth,
                                          .alignment = {HAlign::leading, VAlign::center}}),
                            std::move(input)));
    };
    ViewPtr frequency = row("FREQUENCY", field(frequencyText, formatFrequencyField(inputs.freq),
                                               frequencyInput, badFrequency));
    ViewPtr value =
        row(valueTitle(inputs.axis),
            field(valueText, formatCurveValueField(inputs.value, inputs.axis, inputs.syncTempo),
                  valueInput, badValue));

    auto remove = std::make_unique<Button>(
        buttonLabel("Delete", inputs.canDelete ? kDeleteRed : theme::textTertiary,
                    kWhite.withAlpha(0.05)),
        [this] {
            if (inputs.canDelete && inputs.onDelete) inputs.onDelete();
        });
    deleteButtonView = remove.get();
    auto setting = std::make_unique<Button>(
        buttonLabel("Set", kWhite, theme::accentCyan.withAlpha(0.3)), [this] { set(); });
    setButtonView = setting.get();
    ViewPtr buttons =
        hstack(8.0, VAlign::center, views(std::move(remove), spacer(), std::move(setting)));

    ViewPtr column = vstack(8.0, HAlign::leading,
                            views(std::move(frequency), std::move(value), std::move(buttons)));
    add(background(
        padding(std::move(column), EdgeInsets::all(10.0)),
        overlay(panelBackgroundView(), shape(Shape::roundedRectangle(kPanelButtonCornerRadius), {},
                                             solid(theme::borderSubtle), StrokeStyle{1.0}))));
}

ViewPtr PointMenuView::field(std::string& text, const std::string& shown, TextField*& made,
                             Observable<bool>& bad) {
    const TextField::Style style{kFieldFont, kWhite, theme::textTertiary, kWhite};
    auto input = std::make_unique<MenuField>(Binding<std::string>::of(text), shown, style);
    made = input.get();
    // Marked red while what it holds cannot be read.
    PaintFunction border = [&bad](const Rect&) -> Paint {
        return bad.get() ? kDeleteRed : theme::borderSubtle;
    };
    return zerin::frame(
        background(padding(std::move(input), EdgeInsets::symmetric(6.0, 4.0)),
                   shape(Shape::roundedRectangle(kCornerRadius), solid(kWhite.withAlpha(0.05)),
                         std::move(border), StrokeStyle{1.0})),
        {.width = kFieldWidth});
}

Size PointMenuView::sizeThatFits(Size) {
    return children().front()->sizeThatFits({kInfinity, kInfinity});
}

void PointMenuView::layout(const Rect& frame) {
    View::layout(frame);
    focusOnFirstLayout(*this, frequencyInput, focusTaken);
}

bool PointMenuView::keyDown(const KeyEvent& event) {
    switch (event.key) {
        case Key::enter:
            set();
            return true;
        case Key::escape:
            if (inputs.onCancel) inputs.onCancel();
            return true;
        case Key::tab:
            if (context() != nullptr)
                context()->setFocus(context()->focusedView() == frequencyInput ? valueInput
                                                                               : frequencyInput);
            return true;
        default:
            return false;
    }
}

bool PointMenuView::set() {
    std::optional<float> freq, value;
    if (!frequencyText.empty()) freq = parseFrequency(frequencyText);
    if (!valueText.empty()) value = parseCurveValue(valueText, inputs.axis, inputs.syncTempo);
    badFrequency.set(!frequencyText.empty() && !freq);
    badValue.set(!valueText.empty() && !value);
    if (badFrequency.peek() || badValue.peek()) {
        if (context() != nullptr)
            context()->setFocus(badFrequency.peek() ? frequencyInput : valueInput);
        return false;
    }
    if (inputs.onSet) inputs.onSet(freq, value);
    return true;
}

} // namespace zerin
