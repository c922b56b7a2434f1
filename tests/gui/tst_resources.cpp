// The resources the window relies on: every image present, valid and drawn
// at 16 pixels, grey tool bar images without colour, the animation's frames
// and timing.

#include <QImage>
#include <QMovie>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void imagesDrawAtSixteenPixels_data();
    void imagesDrawAtSixteenPixels();
    void greyToolBarImagesHaveNoColour();
    void iconStaysSquareAtEverySize();
    void searchAnimation();
};

static QImage render(const QString& path, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

static int opaquePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128;
    return count;
}

void TestResources::imagesDrawAtSixteenPixels_data() {
    QTest::addColumn<QString>("path");
    for (int i = 0; i < 8; ++i)
        QTest::addRow("list %d", i) << QStringLiteral(":/images/list/%1.svg").arg(i);
    for (const char* set : {"grey", "hot"})
        for (int i = 0; i < 6; ++i)
            QTest::addRow("%s %d", set, i)
                << QStringLiteral(":/images/toolbar/%1/%2.svg").arg(QLatin1String(set)).arg(i);
}

void TestResources::imagesDrawAtSixteenPixels() {
    QFETCH(QString, path);
    const QSvgRenderer renderer(path);
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.defaultSize(), QSize(16, 16));
    // Something is drawn, and it does not fill the whole square.
    const int drawn = opaquePixels(render(path, 16));
    QVERIFY2(drawn > 8 && drawn < 256, qPrintable(QString::number(drawn)));
}

void TestResources::greyToolBarImagesHaveNoColour() {
    for (int i = 0; i < 6; ++i) {
        const QImage grey = render(QStringLiteral(":/images/toolbar/grey/%1.svg").arg(i), 16);
        const QImage hot = render(QStringLiteral(":/images/toolbar/hot/%1.svg").arg(i), 16);
        bool hotHasColour = false;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QColor g = QColor::fromRgba(grey.pixel(x, y));
                QVERIFY(qAbs(g.red() - g.green()) <= 1 && qAbs(g.green() - g.blue()) <= 1);
                hotHasColour =
                    hotHasColour || QColor::fromRgba(hot.pixel(x, y)).hsvSaturation() > 80;
            }
        }
        QVERIFY2(hotHasColour, qPrintable(QString::number(i)));
    }
}

void TestResources::iconStaysSquareAtEverySize() {
    const QSvgRenderer renderer(QStringLiteral(":/images/norvane.svg"));
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.viewBoxF().width(), renderer.viewBoxF().height());
    for (const int size : {16, 32, 48, 256})
        QVERIFY(opaquePixels(render(QStringLiteral(":/images/norvane.svg"), size)) >
                size * size / 3);
}

void TestResources::searchAnimation() {
    QMovie movie(QStringLiteral(":/anim/findcomp.gif"));
    QVERIFY(movie.isValid());
    QCOMPARE(movie.frameCount(), 8);
    QCOMPARE(movie.loopCount(), -1); // loops for ever
    QImage first;
    for (int frame = 0; frame < 8; ++frame) {
        QVERIFY(movie.jumpToFrame(frame));
        QCOMPARE(movie.currentImage().size(), QSize(38, 22));
        QCOMPARE(movie.nextFrameDelay(), 200);
        QCOMPARE(QColor(movie.currentImage().pixel(0, 0)), QColor(Qt::black));
        if (frame == 0)
            first = movie.currentImage();
        else
            QVERIFY(movie.currentImage() != first); // the glass moves
    }
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
