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
const Font kQuestionFont{12.0, FontWeight::medium};
const Font kDetailFont{10.0, FontWeight::regular};
const Font kCancelFont{11.0, FontWeight::medium};
const Font kSaveFont{11.0, FontWeight::bold};

ViewPtr dialogButtonLabel(const char* title, const Font& font, Color color, Color fill) {
    return background(padding(text(title, font, color), EdgeInsets::symmetric(12.0, 6.0)),
                      shape(Shape::roundedRectangle(kCornerRadius), solid(fill)));
}

std::string trimmed(const std::string& name) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t from = 0;
    std::size_t to = name.size();
    while (from < to && blank(name[from]))
        ++from;
    while (to > from && blank(name[to - 1]))
        --to;
    return name.substr(from, to - from);
}

} // namespace

PresetSaveDialog::PresetSaveDialog(Binding<bool> isPresented, std::string presetName,
                                   std::function<void(const std::string&)> onSave,
                                   ReplacedName replaced)
    : isPresented(std::move(isPresented)), name(std::move(presetName)), onSave(std::move(onSave)),
      replaced(std::move(replaced)) {
    add(presetPanelFrame(composed([this] { return body(); }), kWidth));
}

Size PresetSaveDialog::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

void PresetSaveDialog::layout(const Rect& frame) {
    View::layout(frame); // builds the panel's body for the question it asks now
    if (focusWanted && field != nullptr && context() != nullptr) {
        focusWanted = false;
        context()->setFocus(field);
    }
}

bool PresetSaveDialog::keyDown(const KeyEvent& event) {
    if (event.modifiers.control || event.modifiers.option || event.modifiers.command) return false;
    if (event.key == Key::enter) {
        commit();
        return true;
    }
    if (event.key == Key::escape) {
        cancel();
        return true;
    }
    // Typing after a click on the panel took the focus from the field still names the preset.
    if ((event.key == Key::character || event.key == Key::backspace) && field != nullptr &&
        context() != nullptr && context()->focusedView() != field) {
        context()->setFocus(field);
        return field->keyDown(event);
    }
    return false;
}

void PresetSaveDialog::commit() {
    save(replacingName.peek().has_value());
}

void PresetSaveDialog::cancel() {
    if (!replacingName.peek()) {
        isPresented.set(false);
        return;
    }
    replacingName.set(std::nullopt);
    focusWanted = true;
}

// The name and its buttons, or the question about replacing and its own.
ViewPtr PresetSaveDialog::body() {
    field = nullptr;
    saveButtonView = nullptr;
    replaceButtonView = nullptr;
    const std::optional<std::string>& replacing = replacingName.get();
    ViewList column = views(text("SAVE PRESET", kTitleFont, theme::textSecondary),
                            replacing ? question(*replacing) : nameFieldView(),
                            buttonRow(replacing ? "Replace" : "Save"));
    return padding(vstack(12.0, HAlign::center, std::move(column)), EdgeInsets::all(16.0));
}

ViewPtr PresetSaveDialog::nameFieldView() {
    const TextField::Style style{kFieldFont, kWhite, theme::textTertiary, kWhite};
    auto input = std::make_unique<TextField>(
        Binding<std::string>::of(name), "Preset name", style, [this] { commit(); },
        [this] { cancel(); });
    field = input.get();
    return background(padding(std::move(input), EdgeInsets::all(8.0)),
                      shape(Shape::roundedRectangle(kCornerRadius), solid(kWhite.withAlpha(0.05)),
                            solid(theme::borderSubtle), StrokeStyle{1.0}));
}

ViewPtr PresetSaveDialog::question(const std::string& replacedName) {
    ViewPtr asked =
        text("Replace \u201C" + replacedName + "\u201D?", kQuestionFont, theme::textPrimary);
    ViewPtr detail = text("Its curves will be overwritten.", kDetailFont, theme::textTertiary);
    return vstack(4.0, HAlign::center, views(std::move(asked), std::move(detail)));
}

ViewPtr PresetSaveDialog::buttonRow(const char* confirmTitle) {
    auto cancelling = std::make_unique<Button>(
        dialogButtonLabel("Cancel", kCancelFont, theme::textSecondary, kWhite.withAlpha(0.05)),
        [this] { cancel(); });
    auto confirming = std::make_unique<Button>(
        dialogButtonLabel(confirmTitle, kSaveFont, kWhite, theme::accentCyan.withAlpha(0.3)),
        [this] { commit(); });
    cancelButtonView = cancelling.get();
    (replacingName.peek() ? replaceButtonView : saveButtonView) = confirming.get();
    return hstack(8.0, VAlign::center, views(std::move(cancelling), std::move(confirming)));
}

void PresetSaveDialog::save(bool confirmed) {
    const std::string chosen = trimmed(name);
    if (chosen.empty()) return;
    if (!confirmed && replaced) {
        if (std::optional<std::string> existing = replaced(chosen)) {
            replacingName.set(std::move(existing));
            return;
        }
    }
    if (onSave) onSave(chosen);
    isPresented.set(false);
}

} // namespace zerin
