#pragma once

#include "model/observation.h"
#include "platform/ui/geometry.h"
#include "platform/ui/view.h"

#include <optional>

namespace zerin {

// The time the orbs are drawn at: it follows the frame clock but moves on at most 30 times a
// second, which is all two slowly breathing circles need.
class OrbClock {
public:
    static constexpr double interval = 1.0 / 30.0; // seconds

    // The time to draw at for a frame at `now` (seconds since 2001): `now` itself when at
    // least `interval` has passed since the last time taken, else that last time.
    double advance(double now);

private:
    std::optional<double> shown;
};

// Two large translucent circles, cyan left and pink right, drifting and breathing behind the
// whole editor. Drawn over nothing: the main view lays the solid background under it. Takes
// no pointer input.
class BackgroundOrbsView : public View {
public:
    BackgroundOrbsView() { hitTestingEnabled = false; }

    Flexibility flexibility() const override { return {true, true}; }
    void layout(const Rect& frame) override;
    void draw(Graphics& g) override;

private:
    void frameTick();

    OrbClock clock;
    // The time the orbs are drawn at. It moves only at a frame (which then redraws all of
    // them), so a part of the window drawn between two such frames matches the rest.
    double shownTime = 0.0;
    UIContext* clockContext = nullptr;
    Subscription frameSubscription;
};

// The two orbs on a canvas of `size` at time `t` (seconds since 2001).
void drawBackgroundOrbs(Graphics& g, Size size, double t);

} // namespace zerin
