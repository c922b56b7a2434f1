#pragma once

// Images drawn from the program's SVG resources at a fixed size. A missing
// resource gives a null image, so that the window still works without it.

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

namespace norvane {

// The window's own images in its image list, after the row images.
enum WindowImage : int {
    imgSortUp = 4,
    imgSortDown = 5,
    imgHourglass = 6,
    imgLocalIntranet = 7,
};

// Edge length of the list, box and tool bar images.
constexpr int SmallImageSize = 16;

// The SVG at `path` rendered to a square pixmap of `size` pixels.
QPixmap renderSvg(const QString& path, int size = SmallImageSize);

// The main window's eight list images (rows, headers, resource box, status bar).
QList<QPixmap> loadImageList();

// A tool bar image: grey normally, in colour while the pointer is over it.
QIcon loadToolBarIcon(int index);

} // namespace norvane
