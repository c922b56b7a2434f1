// Drawing of the resource type box's items: the selection fills the text
// rectangle only, and the focus rectangle surrounds the text only.

#include "widgets/ImageList.h"
#include "widgets/ResourceItemPainter.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTest>

using namespace norvane;

class TestResourceBox : public QObject {
    Q_OBJECT
private slots:
    void textRectangle();
    void selectionAndFocusCoverTheTextOnly_data();
    void selectionAndFocusCoverTheTextOnly();
};

void TestResourceBox::textRectangle() {
    const QRect text = resourceItemTextRect(QRect(10, 20, 400, ResourceItemHeight), 16, 70);
    QCOMPARE(text, QRect(29, 20, 72, ResourceItemHeight));
}

void TestResourceBox::selectionAndFocusCoverTheTextOnly_data() {
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("focused");
    QTest::newRow("plain") << false << false;
    QTest::newRow("selected") << true << false;
    QTest::newRow("selected with focus") << true << true;
}

void TestResourceBox::selectionAndFocusCoverTheTextOnly() {
    QFETCH(bool, selected);
    QFETCH(bool, focused);
    QPalette palette;
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0, 0, 128));
    palette.setColor(QPalette::HighlightedText, Qt::yellow);
    palette.setColor(QPalette::Text, Qt::black);
    const QFont font;
    const QString text = QStringLiteral("Shared folders");
    const QRect item(0, 0, 300, ResourceItemHeight);
    QPixmap image(SmallImageSize, SmallImageSize);
    image.fill(Qt::white);

    QImage canvas(item.size(), QImage::Format_RGB32);
    canvas.fill(Qt::green); // what the request must leave alone
    {
        QPainter painter(&canvas);
        cboResourceDrawItem(painter, item, image, text, font, palette, {selected, focused});
    }
    const QRect textRect =
        resourceItemTextRect(item, SmallImageSize, QFontMetrics(font).horizontalAdvance(text));
    // The gap between image and text, and the area right of the text, stay unpainted.
    QCOMPARE(canvas.pixelColor(SmallImageSize + 1, 8), QColor(Qt::green));
    QCOMPARE(canvas.pixelColor(textRect.right() + 3, 8), QColor(Qt::green));
    // The text rectangle's background: selection colour or the box's background.
    const QColor background = selected ? palette.color(QPalette::Highlight) : QColor(Qt::white);
    QCOMPARE(canvas.pixelColor(textRect.right() - 1, textRect.center().y()), background);
    // A focused item's image is blended with the selection colour.
    QCOMPARE(canvas.pixelColor(4, 4) != QColor(Qt::white), focused);
    // The focus rectangle runs along the text rectangle's edge.
    bool edgeMarked = false;
    for (int x = textRect.left(); x <= textRect.right(); ++x)
        edgeMarked |= canvas.pixelColor(x, textRect.top()) == QColor(Qt::yellow);
    QCOMPARE(edgeMarked, focused);
}

QTEST_MAIN(TestResourceBox)
#include "tst_resourcebox.moc"
