#pragma once

// Fixed dialog layouts on a toolkit whose fonts may be larger than the ones
// the positions were drawn for: a control keeps its place and grows only as
// far as its text needs, so that nothing is clipped.

#include <QRect>
#include <QWidget>

namespace norvane {

inline void placeFitted(QWidget* widget, const QRect& designRect) {
    const QSize hint = widget->sizeHint();
    widget->setGeometry(designRect.x(), designRect.y(), std::max(designRect.width(), hint.width()),
                        std::max(designRect.height(), hint.height()));
}

// An edit box keeps its design width and grows only in height.
inline void placeHeightFitted(QWidget* widget, const QRect& designRect) {
    widget->setGeometry(designRect.x(), designRect.y(), designRect.width(),
                        std::max(designRect.height(), widget->sizeHint().height()));
}

// Automatic size, centred on `centreX`, at `top`.
inline void placeCentred(QWidget* widget, int centreX, int top) {
    const QSize hint = widget->sizeHint();
    widget->setGeometry(centreX - hint.width() / 2, top, hint.width(), hint.height());
}

} // namespace norvane
