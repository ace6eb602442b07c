#pragma once

// The small panel that asks for a name under which to save the current curve, and asks
// again before a save would replace a user preset of that name.

#include "platform/ui/binding.h"
#include "platform/ui/layout.h"
#include "signals/observable.h"
#include "widgets/controls.h"

#include <functional>
#include <optional>
#include <string>

namespace zerin {

class PresetSaveDialog : public View {
public:
    static constexpr double kWidth = 260.0;

    // The name of the stored preset that saving under `name` would replace, if any.
    using ReplacedName = std::function<std::optional<std::string>(const std::string& name)>;

    // `presetName` is what the field starts with. Save (the button or Return in the field)
    // hands the name, trimmed of surrounding blanks, to `onSave` and closes; a blank name does
    // nothing. When `replaced` names a preset the save would overwrite, the dialog first asks
    // "Replace “NAME”?": Replace (or Return) saves, Cancel (or Escape) goes back to the name.
    // Cancel and Escape while editing close without saving. Closing sets `isPresented` false;
    // the owner removes the dialog at its next layout.
    PresetSaveDialog(Binding<bool> isPresented, std::string presetName,
                     std::function<void(const std::string&)> onSave, ReplacedName replaced = {});

    Size sizeThatFits(Size proposal) override;
    // Gives the name field the keyboard focus the first time it is laid out in a host (so
    // the user can type at once), and again whenever the question goes back to the name.
    void layout(const Rect& frame) override;
    // Return and Escape for the dialog as a whole, when no field has taken them (while it
    // asks, nothing has the focus): the owner hands it keys that reach nobody else.
    bool keyDown(const KeyEvent& event) override;

    const std::string& presetName() const { return name; }
    // The preset the dialog asks about replacing; nullopt while it asks for the name.
    const std::optional<std::string>& replacing() const { return replacingName.peek(); }
    // The parts of what shows now: the field and Save while it asks for the name, Replace
    // while it asks about replacing (null otherwise). Cancel is in both.
    TextField* nameField() const { return field; }
    View& cancelButton() const { return *cancelButtonView; }
    View* saveButton() const { return saveButtonView; }
    View* replaceButton() const { return replaceButtonView; }

    // What Return and Escape do: save (or, while asking, replace); cancel.
    void commit();
    void cancel();

private:
    ViewPtr body();
    ViewPtr nameFieldView();
    ViewPtr question(const std::string& replaced);
    ViewPtr buttonRow(const char* confirmTitle);
    void save(bool confirmed);

    Binding<bool> isPresented;
    std::string name;
    std::function<void(const std::string&)> onSave;
    ReplacedName replaced;
    Observable<std::optional<std::string>> replacingName;
    TextField* field = nullptr;
    View* cancelButtonView = nullptr;
    View* saveButtonView = nullptr;
    View* replaceButtonView = nullptr;
    bool focusWanted = true;
};

} // namespace zerin
