#pragma once

// Where the editor stood: the curve it edited and the stretch of the frequency axis it showed.
// The unit keeps it with its state (the full state, the plug-in's state) only so that a
// reopened session opens the editor where the musician left it; nothing heard depends on it.

#include "dsp/curve.h"

#include <algorithm>
#include <cmath>

namespace zerin {

inline constexpr float kEditorViewLowestHz = 20.0f;
inline constexpr float kEditorViewHighestHz = 20000.0f;
// The narrowest stretch the axis shows: an octave.
inline constexpr float kEditorViewLeastRatio = 2.0f;

struct EditorView {
    CurveSlot slot = CurveSlot::a;
    CurveKind kind = CurveKind::delay;
    float lowHz = kEditorViewLowestHz;
    float highHz = kEditorViewHighestHz;

    friend bool operator==(const EditorView&, const EditorView&) = default;
};

// A view from four numbers as they travel and are stored (slot and kind by index, then the
// stretch in Hz), none of them trusted: a slot or kind that is no index is the first one; the
// stretch is kept within 20 Hz..20 kHz, and one that is not finite, runs backwards or is
// narrower than an octave is the whole axis. Allocates nothing.
inline EditorView editorViewFrom(float slot, float kind, float lowHz, float highHz) noexcept {
    EditorView view;
    if (slot == 1.0f) view.slot = CurveSlot::b;
    if (kind == 1.0f) view.kind = CurveKind::feedback;
    if (std::isfinite(lowHz) && std::isfinite(highHz)) {
        const float low = std::max(lowHz, kEditorViewLowestHz);
        const float high = std::min(highHz, kEditorViewHighestHz);
        // A hair under an octave passes: an editor's own octave, rounded on its way.
        if (high >= low * kEditorViewLeastRatio * 0.999f) {
            view.lowHz = low;
            view.highHz = high;
        }
    }
    return view;
}

} // namespace zerin
