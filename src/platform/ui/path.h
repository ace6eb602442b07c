#pragma once

#include "platform/ui/geometry.h"

#include <array>
#include <vector>

namespace zerin {

enum class PathVerb { move, line, cubic, close };

// One drawing command. `move` and `line` use points[0]; `cubic` holds the two handles and
// then the end point; `close` uses none.
struct PathElement {
    PathVerb verb = PathVerb::move;
    std::array<Point, 3> points{};

    friend bool operator==(const PathElement&, const PathElement&) = default;
};

// A path as a plain list of commands, so geometry can be built and tested without a drawing
// library; the drawing layer replays it onto cairo.
struct Path {
    std::vector<PathElement> elements;

    void moveTo(Point point) { elements.push_back({PathVerb::move, {point}}); }
    void lineTo(Point point) { elements.push_back({PathVerb::line, {point}}); }
    void cubicTo(Point control1, Point control2, Point end) {
        elements.push_back({PathVerb::cubic, {control1, control2, end}});
    }
    void close() { elements.push_back({PathVerb::close, {}}); }

    bool empty() const { return elements.empty(); }
};

} // namespace zerin
