#pragma once

// The editor's one continuous control: a round knob bound to one parameter, captioned with
// the parameter's name. Dragging up and down turns it (Shift or Ctrl: a tenth as far), the
// wheel and the arrow keys step it, a double click, a right click or Return while it has the
// focus opens a field to type a value in, and Ctrl+click puts it back to its starting value. Its
// readout shows the value while the pointer is over it, while it turns and for a moment after any
// change (a host's automation too). Every edit goes to the host as one gesture (touch,
// values, release).

#include "platform/ui/view.h"
#include "widgets/control_parameter.h"
#include "widgets/theme.h"

#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>

namespace zerin {

class KnobEntry;
class RotaryKnobFace;
class TextField;

// Geometry of the face: the scale opens on the left, minimum up-left, maximum down-left.
inline constexpr double kKnobArcStart = 5.0 * std::numbers::pi / 4.0; // 225 degrees
inline constexpr double kKnobArcRange = 3.0 * std::numbers::pi / 2.0; // 270 degrees
// Points of vertical travel that sweep the whole range, whatever the parameter.
inline constexpr float kKnobDragTravel = 200.0f;

// How long the readout stays after a change, in seconds.
inline constexpr double kKnobReadoutLinger = 1.0;
// The share of a plain step that Shift or Ctrl moves: a drag, a wheel notch, an arrow key.
inline constexpr float kKnobFineFactor = 0.1f;

// The readout, by unit: "30%", "1.00Hz", "1.5k" (Hz), "+0.0dB", "+6.0st", "50ms", "1.0".
std::string knobValueText(float value, ReadoutUnit unit);

// A value as a person types it for a knob of `unit`: a number, then optionally the unit in any
// case and spacing ("75", "75 %", "-6 dB", "1.5k", "1.5 kHz", "250ms", "0.25 s", "+3 st"); a
// readout reads back as its value. Null for anything else (another unit, trailing words, not
// a finite number). Not clamped: that is the knob's range's business.
std::optional<float> parseKnobValue(std::string_view text, ReadoutUnit unit);

// What one wheel notch or arrow press moves a knob by: 1 % for percentages, 0.5 dB, a
// semitone, 10 ms, 0.1 Hz; a hundredth of the range for anything else.
float knobStep(ReadoutUnit unit, float min, float max);

// Where `value` sits in [min, max] as 0..1 (0 for an empty range), worked out in float.
double knobNormalizedValue(float value, float min, float max);

// The value a drag update moves to: `dy` points upwards (negative: down) from `value`,
// clamped to the range.
float knobDraggedValue(float value, float min, float max, float dy);

class RotaryKnobView : public View {
public:
    // Keeps the parameter alive for the knob's life. Reads nothing observable while constructing,
    // so a view rebuilt from observed models may create knobs freely.
    // Captioned with the parameter's name, or with `caption` when one is given.
    explicit RotaryKnobView(ControlParameter& param, const std::string& caption = {});

    Size sizeThatFits(Size proposal) override;

    ControlParameter& parameter() const { return *param; }
    // The displayName upper-cased, as shown under the face.
    const std::string& caption() const { return captionText; }
    // The 52 x 52 face that takes the drags, double clicks, wheel, keys and hover.
    View& face() const;
    bool isDragging() const;
    // Whether the readout shows now (hover, a drag, a recent change).
    bool showsReadout() const;
    // The field a value is typed into, over the face; null while it is closed.
    TextField* entryField() const;
    // Opens the field, with the keyboard focus in it.
    void openEntry();

    void layout(const Rect& frame) override;

private:
    std::shared_ptr<ControlParameter> param;
    std::string captionText;
    RotaryKnobFace* faceView = nullptr;
    KnobEntry* entryView = nullptr;
};

} // namespace zerin
