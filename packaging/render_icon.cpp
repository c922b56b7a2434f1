// Renders the program's SVG icon to PNG files for the icon theme's fixed
// sizes: render_icon ICON.svg OUTPUT_DIR SIZE... writes
// OUTPUT_DIR/<size>x<size>/apps/norvane.png for each size.

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QTextStream err(stderr);
    if (argc < 4) {
        err << "usage: render_icon ICON.svg OUTPUT_DIR SIZE...\n";
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        err << "cannot read " << argv[1] << "\n";
        return 1;
    }
    const QString outputDir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            err << "bad size " << argv[i] << "\n";
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outputDir).arg(size);
        if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/norvane.png"))) {
            err << "cannot write " << dir << "/norvane.png\n";
            return 1;
        }
    }
    return 0;
}
