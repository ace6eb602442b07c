#pragma once

// The menu a right click on a curve point opens: the point's frequency and value as two
// fields to type into (each shows the point's own value until something is typed), Delete,
// and Set. Return (or Set) takes what was typed, clamped to the axes; a field left empty
// keeps its value; a field that cannot be read is marked and keeps the focus. Escape cancels.
// It owns no model: what it shows and does come in through the inputs. Main thread.

#include "editor/curve_geometry.h"
#include "platform/ui/layout.h"
#include "signals/observable.h"

#include <functional>
#include <optional>
#include <string>

namespace zerin {

class TextField;

struct PointMenuInputs {
    float freq = 1000.0f; // the point's
    float value = 0.0f;
    CurveAxis axis;         // the value's axis
    double syncTempo = 0.0; // delays are heard snapped to notes at this tempo (BPM); 0: not
    bool canDelete = true;  // false for one of a curve's last two points
    // What was typed, read: a new frequency, a new value, or both (none: nothing typed).
    std::function<void(std::optional<float> freq, std::optional<float> value)> onSet;
    std::function<void()> onDelete;
    std::function<void()> onCancel;
};

class PointMenuView : public View {
public:
    explicit PointMenuView(PointMenuInputs inputs);

    // Its own size, whatever it is offered: a menu placed at a point.
    Size sizeThatFits(Size proposal) override;
    Flexibility flexibility() const override { return {}; }
    // The first layout in a host puts the focus in the frequency field.
    void layout(const Rect& frame) override;
    // The panel takes the presses between its controls, so that they do not fall through to
    // what lies under it.
    bool acceptsPointer() const override { return true; }
    // Return sets, Escape cancels, Tab goes to the other field.
    bool keyDown(const KeyEvent& event) override;

    // Takes what was typed: calls onSet, or marks the field that cannot be read and gives it
    // the focus. Whether it was read.
    bool set();

    // The parts, for hosts and tests.
    TextField& frequencyField() const { return *frequencyInput; }
    TextField& valueField() const { return *valueInput; }
    View& deleteButton() const { return *deleteButtonView; }
    View& setButton() const { return *setButtonView; }
    bool frequencyMarked() const { return badFrequency.peek(); }
    bool valueMarked() const { return badValue.peek(); }

private:
    ViewPtr field(std::string& text, const std::string& shown, TextField*& made,
                  Observable<bool>& bad);

    PointMenuInputs inputs;
    std::string frequencyText, valueText;
    Observable<bool> badFrequency{false}, badValue{false};
    TextField* frequencyInput = nullptr;
    TextField* valueInput = nullptr;
    View* deleteButtonView = nullptr;
    View* setButtonView = nullptr;
    bool focusTaken = false;
};

} // namespace zerin
