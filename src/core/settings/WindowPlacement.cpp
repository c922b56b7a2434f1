#include "WindowPlacement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace norvane {

namespace {

bool showsEnough(const QRect& bounds, const QRect& screen) {
    const QRect visible = bounds.intersected(screen);
    return visible.width() >= std::min(MinimumVisibleWidth, bounds.width()) &&
           visible.height() >= std::min(MinimumVisibleHeight, bounds.height());
}

// Squared distance from the bounds' centre to the nearest point of a screen.
std::int64_t distanceTo(const QRect& bounds, const QRect& screen) {
    const std::int64_t cx = std::int64_t{bounds.left()} + bounds.width() / 2;
    const std::int64_t cy = std::int64_t{bounds.top()} + bounds.height() / 2;
    const std::int64_t dx =
        cx < screen.left() ? screen.left() - cx : std::max<std::int64_t>(0, cx - screen.right());
    const std::int64_t dy =
        cy < screen.top() ? screen.top() - cy : std::max<std::int64_t>(0, cy - screen.bottom());
    return dx * dx + dy * dy;
}

int clampedStart(int start, int length, int screenStart, int screenLength) {
    const std::int64_t last = std::int64_t{screenStart} + screenLength - length;
    return static_cast<int>(std::clamp<std::int64_t>(start, screenStart, last));
}

} // namespace

QRect placeOnScreens(const QRect& bounds, const QList<QRect>& screens) {
    if (screens.isEmpty())
        return bounds;
    if (std::any_of(screens.begin(), screens.end(),
                    [&](const QRect& screen) { return showsEnough(bounds, screen); }))
        return bounds;

    const QRect nearest =
        *std::min_element(screens.begin(), screens.end(), [&](const QRect& a, const QRect& b) {
            return distanceTo(bounds, a) < distanceTo(bounds, b);
        });
    const int width = std::min(bounds.width(), nearest.width());
    const int height = std::min(bounds.height(), nearest.height());
    return QRect(clampedStart(bounds.left(), width, nearest.left(), nearest.width()),
                 clampedStart(bounds.top(), height, nearest.top(), nearest.height()), width,
                 height);
}

} // namespace norvane
