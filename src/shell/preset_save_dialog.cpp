#include "shell/preset_save_dialog.h"

#include "platform/ui/ui_context.h"
#include "shell/preset_browser_view.h"
#include "widgets/theme.h"

#include <utility>

namespace zerin {

namespace {

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};
constexpr double kCornerRadius = 4.0;

const Font kTitleFont{10.0, FontWeight::bold, FontDesign::standard, 2.0};
const Font kFieldFont{12.0, FontWeight::regular};
const Font kCancelFont{11.0, FontWeight::medium};
const Font kSaveFont{11.0, FontWeight::bold};

ViewPtr dialogButtonLabel(const char* title, const Font& font, Color color, Color fill) {
    return background(padding(text(title, font, color), EdgeInsets::symmetric(12.0, 6.0)),
                      shape(Shape::roundedRectangle(kCornerRadius), solid(fill)));
}

} // namespace

PresetSaveDialog::PresetSaveDialog(Binding<bool> isPresented, std::string presetName,
                                   std::function<void(const std::string&)> onSave)
    : isPresented(std::move(isPresented)), name(std::move(presetName)), onSave(std::move(onSave)) {
    ViewList column =
        views(text("SAVE PRESET", kTitleFont, theme::textSecondary), nameFieldView(), buttonRow());
    add(presetPanelFrame(
        padding(vstack(12.0, HAlign::center, std::move(column)), EdgeInsets::all(16.0)), kWidth));
}

Size PresetSaveDialog::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

void PresetSaveDialog::layout(const Rect& frame) {
    View::layout(frame);
    if (!focusTaken && context() != nullptr) {
        focusTaken = true;
        context()->setFocus(field);
    }
}

ViewPtr PresetSaveDialog::nameFieldView() {
    const TextField::Style style{kFieldFont, kWhite, theme::textTertiary, kWhite};
    // Return only ends the editing: saving is the button's job.
    auto input = std::make_unique<TextField>(Binding<std::string>::of(name), "Preset name", style);
    field = input.get();
    return background(padding(std::move(input), EdgeInsets::all(8.0)),
                      shape(Shape::roundedRectangle(kCornerRadius), solid(kWhite.withAlpha(0.05)),
                            solid(theme::borderSubtle), StrokeStyle{1.0}));
}

ViewPtr PresetSaveDialog::buttonRow() {
    auto cancel = std::make_unique<Button>(
        dialogButtonLabel("Cancel", kCancelFont, theme::textSecondary, kWhite.withAlpha(0.05)),
        [this] { isPresented.set(false); });
    auto saving = std::make_unique<Button>(
        dialogButtonLabel("Save", kSaveFont, kWhite, theme::accentCyan.withAlpha(0.3)),
        [this] { save(); });
    cancelButtonView = cancel.get();
    saveButtonView = saving.get();
    return hstack(8.0, VAlign::center, views(std::move(cancel), std::move(saving)));
}

void PresetSaveDialog::save() {
    if (name.empty()) return;
    if (onSave) onSave(name);
    isPresented.set(false);
}

} // namespace zerin
