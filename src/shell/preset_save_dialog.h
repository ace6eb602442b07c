#pragma once

// The small panel that asks for a name under which to save the current curve.

#include "platform/ui/binding.h"
#include "platform/ui/layout.h"
#include "widgets/controls.h"

#include <functional>
#include <string>

namespace zerin {

class PresetSaveDialog : public View {
public:
    static constexpr double kWidth = 260.0;

    // `presetName` is what the field starts with. Save hands the name, as typed, to `onSave`
    // and closes; an empty name does nothing. Closing sets `isPresented` false; the owner
    // removes the dialog at its next layout.
    PresetSaveDialog(Binding<bool> isPresented, std::string presetName,
                     std::function<void(const std::string&)> onSave);

    Size sizeThatFits(Size proposal) override;
    // Takes the keyboard focus for the field the first time the dialog is laid out in a host,
    // so the user can type at once.
    void layout(const Rect& frame) override;

    const std::string& presetName() const { return name; }
    TextField& nameField() const { return *field; }
    View& cancelButton() const { return *cancelButtonView; }
    View& saveButton() const { return *saveButtonView; }

private:
    ViewPtr nameFieldView();
    ViewPtr buttonRow();
    void save();

    Binding<bool> isPresented;
    std::string name;
    std::function<void(const std::string&)> onSave;
    TextField* field = nullptr;
    View* cancelButtonView = nullptr;
    View* saveButtonView = nullptr;
    bool focusTaken = false;
};

} // namespace zerin
