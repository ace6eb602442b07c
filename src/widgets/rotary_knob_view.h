#pragma once

// The editor's one continuous control: a round knob bound to one parameter, changed by
// dragging up and down, reset to its starting value by a double click, captioned with the
// parameter's name. Every edit goes to the host as one gesture (touch, values, release).

#include "platform/ui/view.h"
#include "widgets/control_parameter.h"
#include "widgets/theme.h"

#include <memory>
#include <numbers>
#include <optional>
#include <string>

namespace zerin {

class RotaryKnobFace;

// Geometry of the face: the scale opens on the left, minimum up-left, maximum down-left.
inline constexpr double kKnobArcStart = 5.0 * std::numbers::pi / 4.0; // 225 degrees
inline constexpr double kKnobArcRange = 3.0 * std::numbers::pi / 2.0; // 270 degrees
// Points of vertical travel that sweep the whole range, whatever the parameter.
inline constexpr float kKnobDragTravel = 200.0f;

// The readout shown while dragging, by unit: "30%", "1.0", "1.5k" (Hz), "+0.0" (dB).
std::string knobValueText(float value, ReadoutUnit unit);

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
    // The 52 x 52 face that takes the drags, double clicks and hover.
    View& face() const;
    bool isDragging() const;

private:
    std::shared_ptr<ControlParameter> param;
    std::string captionText;
    RotaryKnobFace* faceView = nullptr;
};

} // namespace zerin
