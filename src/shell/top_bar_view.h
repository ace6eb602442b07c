#pragma once

// The strip across the top of the editor: the title and what the outputs carry, the mode
// selector, the current preset's name (which opens the browser) and the save button. It owns no
// model: what it shows and what it does come in through TopBarInputs.

#include "model/curve_model.h"
#include "platform/ui/binding.h"
#include "platform/ui/layout.h"
#include "platform/ui/view.h"
#include "widgets/theme.h"

#include <functional>
#include <string>

namespace zerin {

class SegmentedControl;

// How long the selection highlight takes to slide to another segment (ease-in-out).
inline constexpr double kModeHighlightSlideSeconds = 0.25;

struct TopBarInputs {
    // The mode the selector shows, read every frame so a change from the host shows too (the
    // highlight slides to it). A segment click writes it, then calls onModeChange.
    Binding<SpectralMode> currentMode;
    // The preset name, read every frame. Required.
    std::function<std::string()> currentPresetName;
    // Whether to mark the name " *", read every frame. Absent: never.
    std::function<bool()> isDirty;
    // Called after every segment click with the clicked mode, also when it was selected.
    std::function<void(SpectralMode)> onModeChange;
    std::function<void()> onPresetTap;
    std::function<void()> onSaveTap;
    // Shown before the preset name (the freeze's switches); may be null.
    ViewPtr playControls;
    // Shown after the title (what the outputs carry); may be null.
    ViewPtr monitorControls;
};

class TopBarView : public View {
public:
    // Reads none of the inputs while constructing, so a view rebuilt from observed models
    // may create the bar freely. For the highlight to slide, keep the same bar across mode
    // changes: a new bar starts with the highlight already in place.
    explicit TopBarView(TopBarInputs inputs);

    Size sizeThatFits(Size proposal) override;

    // The parts, for hosts and tests that need their frames.
    View& segment(SpectralMode mode) const;
    View& presetButton() const { return *presetButtonView; }
    View& saveButton() const { return *saveButtonView; }
    // Inside the preset button: the name, and the dirty marker after it.
    View& presetNameText() const { return *presetNameView; }
    View& dirtyMarker() const { return *dirtyMarkerView; }

private:
    SegmentedControl* selector = nullptr;
    View* presetButtonView = nullptr;
    View* saveButtonView = nullptr;
    View* presetNameView = nullptr;
    View* dirtyMarkerView = nullptr;
};

} // namespace zerin
