#pragma once

// A row of mutually exclusive choices in a capsule, the selected one under a highlight that
// slides to it. Generic: the titles and what a choice means belong to the caller.

#include "platform/ui/animation.h"
#include "platform/ui/binding.h"
#include "platform/ui/color.h"
#include "platform/ui/graphics.h"
#include "platform/ui/view.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zerin {

struct SegmentedControlStyle {
    Font font{10.0, FontWeight::bold, FontDesign::standard, 1.5};
    Color selectedText{1.0, 1.0, 1.0, 1.0};
    Color text;
    Color track{1.0, 1.0, 1.0, 0.05};
    Color highlight;
    // When given, one per segment: the highlight under that segment while it is selected,
    // instead of `highlight` (a choice that must not go unnoticed lit otherwise).
    std::vector<Color> highlights;
    // Around each title.
    double paddingX = 16.0;
    double paddingY = 6.0;
    // How long the highlight takes to slide to another segment (ease-in-out).
    double slideSeconds = 0.25;
};

class SegmentedControl : public View {
public:
    // `selection` is read every layout, so a change from elsewhere shows too (the highlight
    // slides to it). A click writes it, then calls `onSelect` with the clicked index, also
    // when it was already selected.
    SegmentedControl(std::vector<std::string> titles, Binding<std::size_t> selection,
                     std::function<void(std::size_t)> onSelect, SegmentedControlStyle style);

    Size sizeThatFits(Size proposal) override;
    Flexibility flexibility() const override { return {}; }
    void layout(const Rect& frame) override;
    void draw(Graphics& g) override;

    View& segment(std::size_t index) const { return *segments.at(index); }
    std::size_t segmentCount() const { return segments.size(); }

private:
    double now() const;
    Rect segmentRect(std::size_t index) const;
    void select(std::size_t index);
    void followSelection();

    Binding<std::size_t> selection;
    std::function<void(std::size_t)> onSelect;
    SegmentedControlStyle style;
    std::vector<View*> segments;
    std::optional<std::size_t> shown;
    AnimatedRect slide;
};

} // namespace zerin
