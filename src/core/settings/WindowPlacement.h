#pragma once

// Where the main window goes when its stored bounds are applied.

#include <QList>
#include <QRect>

namespace norvane {

// The window's bounds when nothing is stored: wide enough for the five
// columns of a computer list (5 x ColumnWidth) beside the list's frame and
// a vertical scroll bar of any common style.
inline constexpr QRect DesignBounds{190, 106, 590, 400};

// How much of a window must show on a screen for it to count as reachable.
constexpr int MinimumVisibleWidth = 100;
constexpr int MinimumVisibleHeight = 30;

// Bounds that show too little on every screen (given by the screens'
// available geometries) are moved onto the screen nearest to them, shrunk
// to fit it if larger.
// With no screens the bounds are returned as they are.
QRect placeOnScreens(const QRect& bounds, const QList<QRect>& screens);

} // namespace norvane
