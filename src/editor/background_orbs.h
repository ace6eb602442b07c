#pragma once

#include "platform/ui/geometry.h"
#include "platform/ui/layer_cache.h"
#include "platform/ui/view.h"
#include "signals/observation.h"

#include <array>
#include <optional>
#include <vector>

namespace zerin {

// The time the orbs are drawn at: it follows the frame clock but moves on at most 10 times a
// second, which is all two slowly breathing circles need. Their edges drift at most 6 points
// a second and show through the panels at a few levels of contrast: a tenth of a second
// moves an edge by about half a point, which the eye cannot tell from a glide.
class OrbClock {
public:
    static constexpr double interval = 0.1; // seconds

    // The time to draw at for a frame at `now` (seconds since 2001): `now` itself when at
    // least `interval` has passed since the last time taken, else that last time.
    double advance(double now);
    // The time last taken; 0 before the first.
    double time() const { return shown.value_or(0.0); }

private:
    std::optional<double> shown;
};

// The editor's backdrop: the solid background colour and, over it, two large translucent
// circles, cyan left and pink right, drifting and breathing. Kept as a picture between two
// moves of the orbs, so what is drawn over it at every frame (the canvas) costs no orbs.
// Takes no pointer input.
class BackgroundOrbsView : public View {
public:
    BackgroundOrbsView() { hitTestingEnabled = false; }

    Flexibility flexibility() const override { return {true, true}; }
    void layout(const Rect& frame) override;
    void draw(Graphics& g) override;

private:
    void frameTick();

    // The orbs are drawn at its time, which moves only at a frame (which then redraws what
    // changed), so a part of the window drawn between two such frames matches the rest.
    OrbClock clock;
    UIContext* clockContext = nullptr;
    Subscription frameSubscription;
    LayerCache picture;
};

// One orb: a circle filled with a colour whose alpha is a whole number of 255ths, so that
// its inside changes only when that number does, not at every slight breath.
struct Orb {
    Point center;
    double radius = 0.0;
    Color color;
};

// The two orbs on a canvas of `size` at time `t` (seconds since 2001).
std::array<Orb, 2> backgroundOrbs(Size size, double t);
void drawBackgroundOrbs(Graphics& g, Size size, double t);

// Appends to `out` boxes holding every point whose colour may differ between an orb drawn as
// `before` and as `after`: a ring of boxes around the edge when only its place and size
// changed, the whole orb when its colour did, nothing when nothing did.
void orbChanges(const Orb& before, const Orb& after, std::vector<Rect>& out);

} // namespace zerin
