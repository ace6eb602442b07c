#pragma once

// The row above the plot that chooses the curve the canvas edits: DELAY | FEEDBACK for its
// kind, A | B for its slot, COPY, which opens a small menu that copies one slot's curves over
// the other's, and 2 S | 10 S, how long the delay axis runs (the delay range, a parameter).
// It owns no model: what it shows and does come in through the inputs.

#include "dsp/curve.h"
#include "editor/spectrum_plot.h"
#include "platform/ui/binding.h"
#include "platform/ui/layout.h"
#include "platform/ui/view.h"

#include <functional>

namespace zerin {

class SegmentedControl;

struct CurveChoiceInputs {
    Binding<CurveKind> kind;
    Binding<CurveSlot> slot;
    std::function<void()> onCopyTap;
    Binding<int> delayRange; // a delayRange index
};

class CurveChoiceView : public View {
public:
    explicit CurveChoiceView(CurveChoiceInputs inputs);

    Size sizeThatFits(Size proposal) override;

    // The parts, for hosts and tests that need their frames.
    View& kindSegment(CurveKind kind) const;
    View& slotSegment(CurveSlot slot) const;
    View& copyButton() const { return *copyButtonView; }
    View& rangeSegment(int range) const;

private:
    SegmentedControl* kindSelector = nullptr;
    SegmentedControl* slotSelector = nullptr;
    SegmentedControl* rangeSelector = nullptr;
    View* copyButtonView = nullptr;
};

// 512 | 1K | 2K | 4K | 8K: the frame size (an fftSize index).
std::unique_ptr<SegmentedControl> frameSizeSwitch(Binding<int> sizeIndex);

// OFF | IN | OUT | BOTH: which of the analyser's spectra the canvas shows.
std::unique_ptr<SegmentedControl> spectrumSwitch(Binding<SpectrumShown> shown);

// MIX | WET | SPARED: what the outputs carry (a listen index). Wet and Spared light amber, so
// that listening to a part alone is not forgotten.
std::unique_ptr<SegmentedControl> listenSwitch(Binding<int> listen);

// The copy menu: "Copy A→B" and "Copy B→A", each a button that calls `onCopy` with the slot
// copied from.
ViewPtr copyMenu(const std::function<void(CurveSlot from)>& onCopy, View** copyAToB = nullptr,
                 View** copyBToA = nullptr);

} // namespace zerin
