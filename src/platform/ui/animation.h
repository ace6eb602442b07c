#pragma once

// Time-based animation on the frame clock: a value that eases from where it stands to a new
// target. Main thread.

#include "platform/ui/geometry.h"

namespace zerin {

// The ease-in-out timing curve (a cubic Bézier with handles at 0.42 and 0.58): 0 at 0, 1 at
// 1, slow at both ends. `t` is clamped to [0, 1].
double easeInOut(double t);

// A rectangle that slides to its targets. The first target is taken at once; later ones
// start from wherever the slide stands at that moment, so a new target mid-slide never jumps.
class AnimatedRect {
public:
    // Moves to `target` over `duration` seconds starting at `now` (0: at once).
    void animateTo(const Rect& target, double now, double duration);
    Rect valueAt(double now) const;
    bool isAnimating(double now) const;
    const Rect& target() const { return to; }

private:
    Rect from;
    Rect to;
    double start = 0.0;
    double duration = 0.0;
    bool hasValue = false;
};

} // namespace zerin
