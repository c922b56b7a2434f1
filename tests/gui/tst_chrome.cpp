// The window's bars as widgets: the status bar panels and progress bar
// follow the resize rule, and the cool bar's rows follow band breaks,
// visibility and splitter drags.

#include "widgets/CoolBar.h"
#include "widgets/StatusPanels.h"

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QToolBar>

using namespace norvane;

class TestChrome : public QObject {
    Q_OBJECT

private slots:
    void statusPanelsFollowTheWidth();
    void designBandsMakeThreeRows();
    void splitterMovesBandsBetweenRows();
    void hiddenBandsAndControlsTakeNoRow();
    void doubleClickTogglesBandWidth();

private:
    struct Bands {
        CoolBar bar;
        QToolBar* menu = new QToolBar;
        QLabel* animate = new QLabel;
        QToolBar* tools = new QToolBar;
        QToolBar* resources = new QToolBar;
        int menuBand, animateBand, toolBand, resourceBand;
        Bands() {
            bar.resize(556, 10);
            menuBand = bar.addBand(menu, {false, false, 22, 0, 512, {}});
            animateBand = bar.addBand(animate, {false, true, 22, 38, 38, {}});
            toolBand = bar.addBand(tools, {true, false, 22, 0, 552, {}});
            resourceBand = bar.addBand(resources, {true, false, 22, 0, 552, "Network resource"});
        }
    };
};

void TestChrome::statusPanelsFollowTheWidth() {
    StatusPanels panels;
    panels.show();
    struct Step {
        int width, panel0, panel1, progressLeft, progressWidth;
    };
    // Narrowing collapses panel 0, widening gives it the width left by the
    // narrow panel 1 and then restores panel 1 to 150.
    const Step steps[] = {{556, 186, 150, 188, 148}, {369, 1, 149, 3, 147},
                          {300, 1, 80, 3, 78},       {220, 1, 0, 3, 0},
                          {556, 336, 150, 338, 148}, {700, 330, 150, 332, 148}};
    for (const Step& step : steps) {
        panels.resize(step.width, StatusPanels::DesignHeight);
        QCOMPARE(panels.panelWidth(0), step.panel0);
        QCOMPARE(panels.panelWidth(1), step.panel1);
        QCOMPARE(panels.panelWidth(2), 220);
        QCOMPARE(panels.progressBar()->geometry(),
                 QRect(step.progressLeft, 2, step.progressWidth, 18));
    }
}

void TestChrome::designBandsMakeThreeRows() {
    Bands b;
    QCOMPARE(b.bar.rowCount(), 3);
    QCOMPARE(b.bar.height(), 72);
    QCOMPARE(b.bar.bandRect(b.animateBand).width(), 38);
    QCOMPARE(b.bar.bandRect(b.animateBand).left(), 512);
    QCOMPARE(b.bar.bandRect(b.toolBand).top(), 24);
    QCOMPARE(b.bar.bandRect(b.resourceBand).top(), 48);
    // The resource bar's text stands before its control.
    QVERIFY(b.resources->geometry().left() > 8);
}

void TestChrome::splitterMovesBandsBetweenRows() {
    Bands b;
    CoolBarSplitter splitter(&b.bar);
    splitter.dragTo(b.bar.height() - 24);
    QCOMPARE(b.bar.rowCount(), 2);
    QVERIFY(!b.bar.bandBreak(b.resourceBand));
    QCOMPARE(b.bar.height(), 48);
    splitter.dragTo(24);
    QCOMPARE(b.bar.rowCount(), 1);
    splitter.dragTo(1000);
    // Every band that may goes back to a row of its own; the fixed-size
    // animation never does.
    QCOMPARE(b.bar.rowCount(), 3);
    QCOMPARE(b.bar.bandRect(b.animateBand).top(), 0);
}

void TestChrome::hiddenBandsAndControlsTakeNoRow() {
    Bands b;
    b.bar.setBandVisible(b.resourceBand, false);
    QVERIFY(b.resources->isHidden());
    QCOMPARE(b.bar.rowCount(), 2);
    b.tools->hide();
    QCOMPARE(b.bar.rowCount(), 1);
    b.tools->show();
    b.bar.setBandVisible(b.resourceBand, true);
    QVERIFY(!b.resources->isHidden());
    QCOMPARE(b.bar.rowCount(), 3);
}

void TestChrome::doubleClickTogglesBandWidth() {
    Bands b;
    QCOMPARE(b.bar.bandRect(b.menuBand).width(), 512);
    QTest::mouseDClick(&b.bar, Qt::LeftButton, {}, QPoint(3, 10));
    QCOMPARE(b.bar.bandRect(b.menuBand).width(), 556 - 38);
    QTest::mouseDClick(&b.bar, Qt::LeftButton, {}, QPoint(3, 10));
    QVERIFY(b.bar.bandRect(b.menuBand).width() < 40);
    QCOMPARE(b.bar.bandRect(b.animateBand).left(), b.bar.bandRect(b.menuBand).right() + 1);
}

QTEST_MAIN(TestChrome)
#include "tst_chrome.moc"
