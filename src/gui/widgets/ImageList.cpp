#include "ImageList.h"

#include <QPainter>
#include <QSvgRenderer>

namespace norvane {

namespace {
constexpr int ImageListCount = 8;
// Rendered at twice the size as well, for screens with a scale factor.
constexpr int HighDensityFactor = 2;
} // namespace

QPixmap renderSvg(const QString& path, int size) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return pixmap;
}

QList<QPixmap> loadImageList() {
    QList<QPixmap> images;
    for (int i = 0; i < ImageListCount; ++i)
        images << renderSvg(QStringLiteral(":/images/list/%1.svg").arg(i));
    return images;
}

QIcon loadToolBarIcon(int index) {
    QIcon icon;
    for (const int scale : {1, HighDensityFactor}) {
        const int size = SmallImageSize * scale;
        const QPixmap grey =
            renderSvg(QStringLiteral(":/images/toolbar/grey/%1.svg").arg(index), size);
        const QPixmap hot =
            renderSvg(QStringLiteral(":/images/toolbar/hot/%1.svg").arg(index), size);
        if (!grey.isNull())
            icon.addPixmap(grey, QIcon::Normal);
        if (!hot.isNull())
            icon.addPixmap(hot, QIcon::Active);
    }
    return icon;
}

} // namespace norvane
