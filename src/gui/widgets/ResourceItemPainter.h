#pragma once

// Drawing of one item of the resource type box: the item's image at its
// top-left corner, then its text in a rectangle just wide enough for it.
// Only the text rectangle gets the selection background, and the focus
// rectangle surrounds the text only, not the whole item.

#include <QFont>
#include <QPalette>
#include <QPixmap>
#include <QRect>
#include <QString>

class QPainter;

namespace norvane {

// Height of one item of the box.
constexpr int ResourceItemHeight = 16;
// Gap between the image and the text rectangle.
constexpr int ResourceItemImageGap = 3;

// The text rectangle of an item: the item's height, starting right of the
// image and the gap, two pixels wider than the text.
QRect resourceItemTextRect(const QRect& itemRect, int imageWidth, int textWidth);

struct ResourceItemState {
    bool selected = false;
    bool focused = false;
};

void cboResourceDrawItem(QPainter& painter, const QRect& itemRect, const QPixmap& image,
                         const QString& text, const QFont& font, const QPalette& palette,
                         ResourceItemState state);

} // namespace norvane
