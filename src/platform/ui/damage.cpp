#include "platform/ui/damage.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace zerin {

void Damage::add(const Rect& rect) {
    if (mAll) return;
    if (!std::isfinite(rect.x) || !std::isfinite(rect.y) || !std::isfinite(rect.width) ||
        !std::isfinite(rect.height)) {
        addAll();
        return;
    }
    if (rect.width <= 0.0 || rect.height <= 0.0) return;
    if (std::any_of(mRects.begin(), mRects.end(), [&](const Rect& r) { return r.contains(rect); }))
        return;
    std::erase_if(mRects, [&](const Rect& r) { return rect.contains(r); });
    mRects.push_back(rect);
    while (mRects.size() > kMaxRects)
        mergeCheapestPair();
}

void Damage::addAll() {
    mAll = true;
    mRects.clear();
}

void Damage::clear() {
    mAll = false;
    mRects.clear();
}

void Damage::mergeCheapestPair() {
    const auto area = [](const Rect& r) { return r.width * r.height; };
    std::size_t first = 0, second = 1;
    double cheapest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < mRects.size(); ++i)
        for (std::size_t j = i + 1; j < mRects.size(); ++j) {
            const double added =
                area(unionOf(mRects[i], mRects[j])) - area(mRects[i]) - area(mRects[j]);
            if (added < cheapest) {
                cheapest = added;
                first = i;
                second = j;
            }
        }
    // The merged box may hold others too.
    std::vector<Rect> kept{unionOf(mRects[first], mRects[second])};
    for (std::size_t k = 0; k < mRects.size(); ++k)
        if (k != first && k != second && !kept.front().contains(mRects[k]))
            kept.push_back(mRects[k]);
    mRects = std::move(kept);
}

std::vector<PixelRect> Damage::pixelRects(double scale, int width, int height) const {
    if (mAll) return {{0, 0, width, height}};
    std::vector<PixelRect> pixels;
    pixels.reserve(mRects.size());
    for (const Rect& r : mRects) {
        const double x0 = std::clamp(std::floor(r.x * scale), 0.0, static_cast<double>(width));
        const double y0 = std::clamp(std::floor(r.y * scale), 0.0, static_cast<double>(height));
        const double x1 = std::clamp(std::ceil(r.maxX() * scale), 0.0, static_cast<double>(width));
        const double y1 = std::clamp(std::ceil(r.maxY() * scale), 0.0, static_cast<double>(height));
        if (x1 > x0 && y1 > y0)
            pixels.push_back({static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                              static_cast<int>(y1 - y0)});
    }
    return pixels;
}

} // namespace zerin
