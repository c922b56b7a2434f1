// Layout rules of the status bar, the cool bar splitter and the resource bar.

#include "layout/ChromeLayout.h"

#include <QtTest>

using namespace norvane;

Q_DECLARE_METATYPE(norvane::StatusBarLayout)

class TestChromeLayout : public QObject {
    Q_OBJECT

private slots:
    void statusBar_data();
    void statusBar();
    void statusBarNarrowingAndWidening();
    void coolBarHeight_data();
    void coolBarHeight();
    void splitter_data();
    void splitter();
    void resourceBox();
};

void TestChromeLayout::statusBar_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("panel1");
    QTest::addColumn<StatusBarLayout>("expected");

    QTest::newRow("design width") << 556 << 150 << StatusBarLayout{186, 150, 188, 148};
    QTest::newRow("wide") << 1000 << 150 << StatusBarLayout{630, 150, 632, 148};
    QTest::newRow("exactly room for both") << 370 << 150 << StatusBarLayout{0, 150, 2, 148};
    QTest::newRow("one under") << 369 << 150 << StatusBarLayout{1, 149, 3, 147};
    QTest::newRow("narrow") << 300 << 150 << StatusBarLayout{1, 80, 3, 78};
    QTest::newRow("panel 1 of 2") << 222 << 150 << StatusBarLayout{1, 2, 3, 0};
    QTest::newRow("one over panel 2") << 221 << 150 << StatusBarLayout{1, 1, 3, 0};
    QTest::newRow("panel 2 only") << 220 << 150 << StatusBarLayout{1, 0, 3, 0};
    QTest::newRow("under panel 2") << 100 << 150 << StatusBarLayout{1, 0, 3, 0};
    QTest::newRow("zero") << 0 << 150 << StatusBarLayout{1, 0, 3, 0};
    QTest::newRow("wider panel 1 kept") << 800 << 200 << StatusBarLayout{380, 200, 382, 198};
}

void TestChromeLayout::statusBar() {
    QFETCH(int, width);
    QFETCH(int, panel1);
    QFETCH(StatusBarLayout, expected);
    QCOMPARE(StatusBarResize(width, 200, panel1, StatusPanel2Width), expected);
}

void TestChromeLayout::statusBarNarrowingAndWidening() {
    // Panels keep the widths of the previous resize, as the status bar does.
    StatusBarLayout layout{200, 150, 0, 0};
    const auto resize = [&](int width) {
        layout = StatusBarResize(width, layout.panel0, layout.panel1, StatusPanel2Width);
        return layout;
    };
    QCOMPARE(resize(556), (StatusBarLayout{186, 150, 188, 148}));
    QCOMPARE(resize(300), (StatusBarLayout{1, 80, 3, 78}));
    // Widening first uses the narrow panel 1, then restores it to 150.
    QCOMPARE(resize(556), (StatusBarLayout{256, 150, 258, 148}));
    QCOMPARE(resize(556), (StatusBarLayout{186, 150, 188, 148}));
    QCOMPARE(resize(200), (StatusBarLayout{1, 0, 3, 0}));
    QCOMPARE(resize(400), (StatusBarLayout{180, 150, 182, 148}));
}

using Bands = std::vector<CoolBand>;
Q_DECLARE_METATYPE(Bands)

// The window's bands: menu bar, animation (fixed), tool bar, resource bar.
static Bands designBands(bool toolBarBreak = true, bool resourceBarBreak = true) {
    return {{22, false, false, true},
            {22, false, true, true},
            {22, toolBarBreak, false, true},
            {22, resourceBarBreak, false, true}};
}

static QList<bool> breaks(const Bands& bands) {
    QList<bool> result;
    for (const CoolBand& band : bands)
        result << band.breakBefore;
    return result;
}

void TestChromeLayout::coolBarHeight_data() {
    QTest::addColumn<Bands>("bands");
    QTest::addColumn<int>("height");

    QTest::newRow("three rows") << designBands() << 66;
    QTest::newRow("one row") << designBands(false, false) << 22;
    QTest::newRow("tallest band sets the row")
        << Bands{{22, false, false, true}, {30, false, true, true}, {22, true, false, true}} << 52;
    QTest::newRow("hidden band takes no row")
        << Bands{{22, false, false, true}, {22, true, false, false}, {22, true, false, true}} << 44;
    QTest::newRow("first visible band opens the first row")
        << Bands{{22, false, false, false}, {22, true, false, true}} << 22;
    QTest::newRow("none visible") << Bands{{22, false, false, false}} << 0;
}

void TestChromeLayout::coolBarHeight() {
    QFETCH(Bands, bands);
    QFETCH(int, height);
    QCOMPARE(norvane::coolBarHeight(bands), height);
}

void TestChromeLayout::splitter_data() {
    QTest::addColumn<Bands>("bands");
    QTest::addColumn<int>("newHeight");
    QTest::addColumn<QList<bool>>("expectedBreaks");

    QTest::newRow("up one row: last band joins the row above")
        << designBands() << 44 << QList<bool>{false, false, true, false};
    QTest::newRow("up a little: nothing moves")
        << designBands() << 60 << QList<bool>{false, false, true, true};
    QTest::newRow("up two rows: both bands join")
        << designBands() << 22 << QList<bool>{false, false, false, false};
    QTest::newRow("unchanged: nothing moves")
        << designBands() << 66 << QList<bool>{false, false, true, true};
    QTest::newRow("down one row: last band gets its own row")
        << designBands(false, false) << 44 << QList<bool>{false, false, false, true};
    QTest::newRow("down a little: nothing moves")
        << designBands(false, false) << 40 << QList<bool>{false, false, false, false};
    QTest::newRow("down two rows: the fixed animation stays")
        << designBands(false, false) << 66 << QList<bool>{false, false, true, true};
    QTest::newRow("hidden band is left alone")
        << Bands{{22, false, false, true}, {22, true, false, true}, {22, true, false, false}} << 22
        << QList<bool>{false, false, true};
}

void TestChromeLayout::splitter() {
    QFETCH(Bands, bands);
    QFETCH(int, newHeight);
    QFETCH(QList<bool>, expectedBreaks);
    QVERIFY(SplitterCanResize(bands, newHeight));
    QCOMPARE(breaks(bands), expectedBreaks);
}

void TestChromeLayout::resourceBox() {
    QCOMPARE(ResourceBarResize(552), 507);
    QCOMPARE(ResourceBarResize(45), 0);
    QCOMPARE(ResourceBarResize(10), 0);
}

QTEST_GUILESS_MAIN(TestChromeLayout)
#include "tst_chromelayout.moc"
