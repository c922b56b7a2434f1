#include "ResourceItemPainter.h"

#include "ImageList.h"

#include <QFontMetrics>
#include <QPainter>

namespace norvane {

namespace {

// Share of the selection colour in a focused item's image.
constexpr qreal SelectionBlend = 0.5;

QPixmap blendedWith(const QPixmap& image, const QColor& colour) {
    QPixmap blended = image;
    QPainter painter(&blended);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.setOpacity(SelectionBlend);
    painter.fillRect(blended.rect(), colour);
    return blended;
}

} // namespace

QRect resourceItemTextRect(const QRect& itemRect, int imageWidth, int textWidth) {
    return QRect(QPoint(itemRect.left() + imageWidth + ResourceItemImageGap, itemRect.top()),
                 QSize(textWidth + 2, itemRect.height()));
}

void cboResourceDrawItem(QPainter& painter, const QRect& itemRect, const QPixmap& image,
                         const QString& text, const QFont& font, const QPalette& palette,
                         ResourceItemState state) {
    painter.save();
    if (!image.isNull()) {
        const QPixmap drawn =
            state.focused ? blendedWith(image, palette.color(QPalette::Highlight)) : image;
        painter.drawPixmap(itemRect.topLeft(), drawn);
    }
    const QFontMetrics metrics(font);
    const QRect textRect =
        resourceItemTextRect(itemRect, SmallImageSize, metrics.horizontalAdvance(text));
    painter.fillRect(textRect,
                     palette.color(state.selected ? QPalette::Highlight : QPalette::Base));
    painter.setFont(font);
    painter.setPen(palette.color(state.selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(textRect.adjusted(1, 1, 0, 0),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    if (state.focused) {
        painter.setPen(QPen(palette.color(QPalette::HighlightedText), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(textRect.adjusted(0, 0, -1, -1));
    }
    painter.restore();
}

} // namespace norvane
