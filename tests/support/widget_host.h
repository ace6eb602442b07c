#pragma once

// A view host whose clock the test moves: what the widget and shell tests drive a control
// through, and the pixel readers they judge it by.

#include "platform/ui/graphics.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/view_host.h"
#include "widgets/theme.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace zerin::test {

// Presses pair up as double clicks only when the test moves the clock less than a second.
struct WidgetHost {
    double clock = 0.0;
    MainQueue queue{[this] { return clock; }};
    ViewHost host{queue, {900.0, 200.0}};

    template <typename V> V& show(std::unique_ptr<V> view) {
        V& shown = *view;
        host.setRoot(std::move(view));
        host.advance(1.0);
        return shown;
    }
    void press(Point at) {
        clock += 1.0; // far from the last press: a fresh single click
        host.pointerDown(at, {});
    }
    void click(Point at) {
        press(at);
        host.pointerUp(at, {});
    }
    std::unique_ptr<OffscreenImage> snapshot() {
        auto image = std::make_unique<OffscreenImage>(host.size(), 2.0);
        image->clear(theme::background);
        image->draw(host);
        return image;
    }
};

inline Point centerInRoot(const View& view) {
    const Point origin = view.originInRoot();
    return {origin.x + view.frame().width / 2.0, origin.y + view.frame().height / 2.0};
}

template <typename T> void collect(View& view, std::vector<T*>& found) {
    if (auto* match = dynamic_cast<T*>(&view)) found.push_back(match);
    for (const auto& child : view.children())
        collect(*child, found);
}

inline bool isCyan(Color c) {
    return c.red < 0.3 && c.green > 0.6 && c.blue > 0.7;
}
inline bool isWhite(Color c) {
    return c.red > 0.85 && c.green > 0.85 && c.blue > 0.85;
}
inline bool isDark(Color c) {
    return c.red < 0.3 && c.green < 0.3 && c.blue < 0.35;
}
// How much greener than red: the cyan tints stand out against the panel's grey-blue.
inline double cyanTint(Color c) {
    return c.green - c.red;
}

// The brightest grey level (least of the three channels) in a rectangle of points.
inline double brightest(const OffscreenImage& image, const Rect& area) {
    double best = 0.0;
    for (double y = area.y; y < area.maxY(); y += 0.5)
        for (double x = area.x; x < area.maxX(); x += 0.5) {
            const Color c = image.colorAt({x, y});
            best = std::max(best, std::min({c.red, c.green, c.blue}));
        }
    return best;
}

inline Rect frameInRoot(const View& view) {
    const Point origin = view.originInRoot();
    return {origin.x, origin.y, view.frame().width, view.frame().height};
}

} // namespace zerin::test
