// Settings round trips, window-state rules, type checks and placement.

#include "common/AppError.h"
#include "settings/ColumnSettings.h"
#include "settings/Settings.h"
#include "settings/WindowPlacement.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

using namespace norvane;
namespace n = norvane::settingsnames;

Q_DECLARE_METATYPE(std::optional<QRect>)

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init();

    void absentStoreRestoresNothing();
    void columnChoiceKeepsKnownColumns();
    void roundTripKeepsEveryValue();
    void positionIsFourLittleEndianEdges();
    void windowStateCases_data();
    void windowStateCases();
    void maximizedStateIgnoresPosition();
    void integerValuesFromTextAndNumbers_data();
    void integerValuesFromTextAndNumbers();
    void wrongTypeStopsRestoring_data();
    void wrongTypeStopsRestoring();
    void positionWithoutAreaTakesDesignSize_data();
    void positionWithoutAreaTakesDesignSize();

    void showState();
    void placement_data();
    void placement();

private:
    std::unique_ptr<QSettings> reopen();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestSettings::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(QStringLiteral("Norvane.conf"));
}

std::unique_ptr<QSettings> TestSettings::reopen() {
    return std::make_unique<QSettings>(m_file, QSettings::IniFormat);
}

// The chosen optional columns survive a run; what another version wrote
// that this one does not know is left out, not an error.
void TestSettings::columnChoiceKeepsKnownColumns() {
    QCOMPARE(ColumnSettings::read(*reopen()).shown.size(), std::size_t(0));
    ColumnSettings{.shown = {OptionalColumn::FoundBy, OptionalColumn::Vendor}}.write(*reopen());
    QCOMPARE(ColumnSettings::read(*reopen()).shown,
             (std::set{OptionalColumn::Vendor, OptionalColumn::FoundBy}));
    reopen()->setValue(QLatin1String(settingsnames::ColumnsShown),
                       QStringList{"DnsName", "Colour", " OperatingSystem "});
    QCOMPARE(ColumnSettings::read(*reopen()).shown,
             (std::set{OptionalColumn::DnsName, OptionalColumn::OperatingSystem}));
}

static SettingsSnapshot sampleSnapshot() {
    SettingsSnapshot s;
    s.normalBounds = QRect(40, 50, 700, 480);
    s.resourceType = 2;
    s.showToolBar = false;
    s.showResourceBar = true;
    s.showStatusBar = false;
    s.showGridLines = true;
    s.showHotTrack = true;
    s.showRowSelect = false;
    return s;
}

// Stores every value valid, as the program writes them.
static void storeAllValid(QSettings& store) {
    store.setValue(n::WindowState, 1);
    store.setValue(n::Position, encodePosition(QRect(1, 2, 300, 200)));
    store.setValue(n::ResourceType, 1);
    for (const char* name : {n::ShowToolBar, n::ShowResourceBar, n::ShowStatusBar, n::ShowGridLines,
                             n::ShowHotTrack, n::ShowRowSelect})
        store.setValue(name, 1);
}

void TestSettings::absentStoreRestoresNothing() {
    auto store = reopen();
    const RestoredSettings restored = Settings(*store).restore();
    QVERIFY(restored.error.isEmpty());
    QVERIFY(!restored.windowState && !restored.position && !restored.resourceType);
    QVERIFY(!restored.showToolBar && !restored.showResourceBar && !restored.showStatusBar);
    QVERIFY(!restored.showGridLines && !restored.showHotTrack && !restored.showRowSelect);
    QVERIFY(!restored.maximize());
    restored.throwIfFailed();
}

void TestSettings::roundTripKeepsEveryValue() {
    const SettingsSnapshot saved = sampleSnapshot();
    {
        auto store = reopen();
        QVERIFY(Settings(*store).save(saved));
    }
    auto store = reopen();
    QCOMPARE(store->allKeys().size(), 9);
    const RestoredSettings r = Settings(*store).restore();
    QVERIFY(r.error.isEmpty());
    QCOMPARE(r.windowState, WindowStateNormal);
    QCOMPARE(r.position, saved.normalBounds);
    QCOMPARE(r.resourceType, 2);
    QCOMPARE(r.showToolBar, false);
    QCOMPARE(r.showResourceBar, true);
    QCOMPARE(r.showStatusBar, false);
    QCOMPARE(r.showGridLines, true);
    QCOMPARE(r.showHotTrack, true);
    QCOMPARE(r.showRowSelect, false);
    // Booleans are stored as the integers 0 and 1.
    QCOMPARE(store->value(n::ShowGridLines).toString(), QStringLiteral("1"));
    QCOMPARE(store->value(n::ShowToolBar).toString(), QStringLiteral("0"));
}

void TestSettings::positionIsFourLittleEndianEdges() {
    const QByteArray bytes = encodePosition(QRect(190, 106, 564, 400));
    QCOMPARE(bytes.size(), 16);
    const qint32 expected[] = {190, 106, 754, 506};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(qFromLittleEndian<qint32>(bytes.constData() + i * 4), expected[i]);
    QCOMPARE(encodePosition(QRect(-1200, -5, 100, 50)).left(4), QByteArray("\x50\xfb\xff\xff"));
    QCOMPARE(decodePosition(encodePosition(QRect(-1200, -5, 100, 50))), QRect(-1200, -5, 100, 50));
}

void TestSettings::windowStateCases_data() {
    QTest::addColumn<bool>("minimized");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<int>("storedState");
    QTest::addColumn<bool>("positionWritten");
    QTest::addColumn<bool>("restoresMaximized");

    QTest::newRow("normal") << false << false << 1 << true << false;
    QTest::newRow("maximized") << false << true << 3 << false << true;
    QTest::newRow("minimized from normal") << true << false << 2 << true << false;
    QTest::newRow("minimized from maximized") << true << true << 2 << false << false;
}

void TestSettings::windowStateCases() {
    QFETCH(bool, minimized);
    QFETCH(bool, maximized);
    QFETCH(int, storedState);
    QFETCH(bool, positionWritten);
    QFETCH(bool, restoresMaximized);

    const QRect older(300, 200, 640, 480);
    {
        auto store = reopen();
        store->setValue(n::Position, encodePosition(older));
        SettingsSnapshot s = sampleSnapshot();
        s.minimized = minimized;
        s.maximized = maximized;
        QVERIFY(Settings(*store).save(s));
    }
    auto store = reopen();
    QCOMPARE(store->value(n::WindowState).toInt(), storedState);
    const QRect expectedBounds = positionWritten ? sampleSnapshot().normalBounds : older;
    QCOMPARE(decodePosition(store->value(n::Position).toByteArray()), expectedBounds);

    const RestoredSettings r = Settings(*store).restore();
    QVERIFY(r.error.isEmpty());
    QCOMPARE(r.maximize(), restoresMaximized);
    if (restoresMaximized)
        QVERIFY(!r.position);
    else
        QCOMPARE(r.position, expectedBounds);
}

void TestSettings::maximizedStateIgnoresPosition() {
    auto store = reopen();
    // Without "WindowState" the position is not read, even when valid.
    store->setValue(n::Position, encodePosition(QRect(1, 2, 3, 4)));
    QVERIFY(!Settings(*store).restore().position);
    // With state 3 a malformed position is not read either, so no error.
    store->setValue(n::WindowState, 3);
    store->setValue(n::Position, QStringLiteral("garbage"));
    const RestoredSettings r = Settings(*store).restore();
    QVERIFY(r.error.isEmpty());
    QVERIFY(r.maximize());
    QVERIFY(!r.position);
}

void TestSettings::integerValuesFromTextAndNumbers_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("expected");

    QTest::newRow("int 1") << QVariant(1) << true;
    QTest::newRow("int 0") << QVariant(0) << false;
    QTest::newRow("any nonzero") << QVariant(7) << true;
    QTest::newRow("unsigned max") << QVariant(quint32(0xFFFFFFFFu)) << true;
    QTest::newRow("long long") << QVariant(qlonglong(1)) << true;
    QTest::newRow("text 1") << QVariant(QStringLiteral("1")) << true;
    QTest::newRow("text 0 with spaces") << QVariant(QStringLiteral(" 0 ")) << false;
    QTest::newRow("text negative") << QVariant(QStringLiteral("-1")) << true;
}

void TestSettings::integerValuesFromTextAndNumbers() {
    QFETCH(QVariant, stored);
    QFETCH(bool, expected);
    auto store = reopen();
    store->setValue(n::ShowRowSelect, stored);
    store->sync();
    // Once as written in memory, once as read back from the file.
    QCOMPARE(Settings(*store).restore().showRowSelect, expected);
    QCOMPARE(Settings(*reopen()).restore().showRowSelect, expected);
}

void TestSettings::wrongTypeStopsRestoring_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("bad");

    const QVariant bytes(QByteArray("\x01\x00\x00\x00", 4));
    const QVariant list(QStringList{QStringLiteral("1"), QStringLiteral("2")});
    const QVariant text(QStringLiteral("yes"));

    QTest::newRow("WindowState bytes") << QString(n::WindowState) << bytes;
    QTest::newRow("Position text") << QString(n::Position) << QVariant(QStringLiteral("1,2,3,4"));
    QTest::newRow("Position 15 bytes") << QString(n::Position) << QVariant(QByteArray(15, '\1'));
    QTest::newRow("Position 17 bytes") << QString(n::Position) << QVariant(QByteArray(17, '\1'));
    QTest::newRow("Position number") << QString(n::Position) << QVariant(5);
    QTest::newRow("Resource Type list") << QString(n::ResourceType) << list;
    QTest::newRow("Resource Type too big")
        << QString(n::ResourceType) << QVariant(QStringLiteral("4294967296"));
    QTest::newRow("ShowToolBar text") << QString(n::ShowToolBar) << text;
    QTest::newRow("ShowResourceBar bytes") << QString(n::ShowResourceBar) << bytes;
    QTest::newRow("ShowStatusBar list") << QString(n::ShowStatusBar) << list;
    QTest::newRow("ShowGridLines real")
        << QString(n::ShowGridLines) << QVariant(QStringLiteral("1.5"));
    QTest::newRow("ShowHotTrack empty") << QString(n::ShowHotTrack) << QVariant(QString());
    QTest::newRow("ShowRowSelect bool") << QString(n::ShowRowSelect) << QVariant(true);
}

void TestSettings::wrongTypeStopsRestoring() {
    QFETCH(QString, name);
    QFETCH(QVariant, bad);
    {
        auto store = reopen();
        storeAllValid(*store);
        store->setValue(name, bad);
    }
    auto store = reopen();
    const RestoredSettings r = Settings(*store).restore();
    QCOMPARE(r.error, QStringLiteral("Invalid data type for '%1'").arg(name));
    QVERIFY_THROWS_EXCEPTION(AppError, r.throwIfFailed());

    // Everything before the bad value in restore order is kept, nothing after.
    const QStringList order{n::WindowState,   n::Position,        n::ResourceType,
                            n::ShowToolBar,   n::ShowResourceBar, n::ShowStatusBar,
                            n::ShowGridLines, n::ShowHotTrack,    n::ShowRowSelect};
    const bool present[] = {
        r.windowState.has_value(),   r.position.has_value(),        r.resourceType.has_value(),
        r.showToolBar.has_value(),   r.showResourceBar.has_value(), r.showStatusBar.has_value(),
        r.showGridLines.has_value(), r.showHotTrack.has_value(),    r.showRowSelect.has_value()};
    const qsizetype bad_at = order.indexOf(name);
    for (qsizetype i = 0; i < order.size(); ++i)
        QVERIFY2(present[i] == (i < bad_at), qPrintable(order[i]));
}

void TestSettings::positionWithoutAreaTakesDesignSize_data() {
    QTest::addColumn<QList<qint32>>("edges");
    QTest::addColumn<std::optional<QRect>>("expected");

    const qint32 max = std::numeric_limits<qint32>::max();
    const qint32 min = std::numeric_limits<qint32>::min();
    QTest::newRow("ordinary") << QList<qint32>{10, 20, 110, 70}
                              << std::optional<QRect>(QRect(10, 20, 100, 50));
    // A position without area takes the design size.
    const int w = DesignBounds.width();
    const int h = DesignBounds.height();
    QTest::newRow("right before left")
        << QList<qint32>{500, 300, 100, 700} << std::optional<QRect>(QRect(500, 300, w, h));
    QTest::newRow("empty") << QList<qint32>{0, 0, 0, 0} << std::optional<QRect>(QRect(0, 0, w, h));
    QTest::newRow("corner at the end of int")
        << QList<qint32>{max, max, max, max} << std::optional<QRect>(QRect(max - w, max - h, w, h));
    QTest::newRow("spanning all of int")
        << QList<qint32>{min, min, max, max} << std::optional<QRect>(QRect(min, min, max, max));
}

void TestSettings::positionWithoutAreaTakesDesignSize() {
    QFETCH(QList<qint32>, edges);
    QFETCH(std::optional<QRect>, expected);
    QByteArray bytes(16, '\0');
    for (int i = 0; i < 4; ++i)
        qToLittleEndian(edges[i], bytes.data() + i * 4);
    QCOMPARE(decodePosition(bytes), expected);
}

void TestSettings::showState() {
    QCOMPARE(WindowShowState(false, false), 1);
    QCOMPARE(WindowShowState(true, false), 2);
    QCOMPARE(WindowShowState(true, true), 2);
    QCOMPARE(WindowShowState(false, true), 3);
}

void TestSettings::placement_data() {
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QList<QRect>>("screens");
    QTest::addColumn<QRect>("expected");

    const QRect left(0, 0, 1920, 1040);
    const QRect right(1920, 0, 1280, 1024);
    const QList<QRect> two{left, right};

    QTest::newRow("design bounds stay") << DesignBounds << two << DesignBounds;
    QTest::newRow("on the second screen stays")
        << QRect(2000, 100, 564, 400) << two << QRect(2000, 100, 564, 400);
    QTest::newRow("partly off but reachable stays")
        << QRect(-400, -10, 564, 400) << two << QRect(-400, -10, 564, 400);
    QTest::newRow("far right goes to the right screen")
        << QRect(5000, 100, 564, 400) << two << QRect(3200 - 564, 100, 564, 400);
    QTest::newRow("far left goes to the left screen")
        << QRect(-3000, 500, 564, 400) << two << QRect(0, 500, 564, 400);
    QTest::newRow("below everything")
        << QRect(2500, 3000, 564, 400) << two << QRect(2500, 1024 - 400, 564, 400);
    QTest::newRow("only a sliver shows")
        << QRect(1910 + 1280, 300, 564, 400) << two << QRect(3200 - 564, 300, 564, 400);
    QTest::newRow("larger than the screen shrinks")
        << QRect(-5000, -5000, 4000, 3000) << QList<QRect>{right} << QRect(1920, 0, 1280, 1024);
    QTest::newRow("screen with a panel on top")
        << QRect(100, -600, 564, 400) << QList<QRect>{QRect(0, 32, 1920, 1048)}
        << QRect(100, 32, 564, 400);
    QTest::newRow("no screens") << QRect(9000, 9000, 10, 10) << QList<QRect>{}
                                << QRect(9000, 9000, 10, 10);
}

void TestSettings::placement() {
    QFETCH(QRect, bounds);
    QFETCH(QList<QRect>, screens);
    QFETCH(QRect, expected);
    QCOMPARE(placeOnScreens(bounds, screens), expected);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
