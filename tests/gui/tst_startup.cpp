// The main window's life cycle: the start-up checks and their boxes, the
// settings restored at creation and written at destruction, the window
// states, and the file-manager entry written once at shutdown.

#include "TestWindow.h"
#include "session/StartupChecks.h"
#include "settings/FileManagerEntry.h"
#include "settings/Settings.h"
#include "settings/WindowPlacement.h"
#include "widgets/CoolBar.h"
#include "widgets/ResourceComboBox.h"
#include "widgets/ResourceListView.h"
#include "widgets/StatusPanels.h"

#include <QFile>
#include <QScreen>
#include <QToolBar>

using namespace norvane;
using namespace norvane::test;

namespace {

const QStringList AllNames = {"Position",      "WindowState",     "Resource Type",
                              "ShowToolBar",   "ShowResourceBar", "ShowStatusBar",
                              "ShowGridLines", "ShowHotTrack",    "ShowRowSelect"};

// What the window shows of the nine settings.
struct ViewState {
    int resourceIndex = 0;
    bool toolBar = true;
    bool resourceBar = true;
    bool statusBar = true;
    bool gridLines = false;
    bool hotTrack = false;
    bool rowSelect = false;
};

ViewState viewState(const TMainForm& form) {
    return {parts(form).cboResource->currentIndex(), !parts(form).psToolBar->isHidden(),
            !parts(form).resourceBar->isHidden(),    !parts(form).statusBar->isHidden(),
            parts(form).listView->gridLines(),       parts(form).listView->hotTrack(),
            parts(form).listView->rowSelect()};
}

void compareViewState(const ViewState& actual, const ViewState& expected) {
    QCOMPARE(actual.resourceIndex, expected.resourceIndex);
    QCOMPARE(actual.toolBar, expected.toolBar);
    QCOMPARE(actual.resourceBar, expected.resourceBar);
    QCOMPARE(actual.statusBar, expected.statusBar);
    QCOMPARE(actual.gridLines, expected.gridLines);
    QCOMPARE(actual.hotTrack, expected.hotTrack);
    QCOMPARE(actual.rowSelect, expected.rowSelect);
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void failedChecks_data();
    void failedChecks();
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void wrongTypesStopRestoring_data();
    void wrongTypesStopRestoring();
    void storedResourceType_data();
    void storedResourceType();
    void windowStates_data();
    void windowStates();
    void boundsOffEveryScreen();
    void fileManagerEntryWrittenOnceAtShutdown();
    void saveStateWritesWhileRunning();
};

void TestStartup::failedChecks_data() {
    QTest::addColumn<bool>("noProvider");
    QTest::addColumn<bool>("noSockets");
    QTest::addColumn<bool>("noAdapter");
    QTest::addColumn<bool>("resetFails");
    QTest::addColumn<bool>("ntFamily");
    QTest::addColumn<QStringList>("messages");
    const QString provider = QString::fromLatin1(startupmessages::NoProvider);
    const QString sockets = QString::fromLatin1(startupmessages::NoSockets);
    const QString adapter = QString::fromLatin1(startupmessages::NoAdapter);
    const QString reset = QString::fromLatin1(startupmessages::ResetFailed);
    QTest::newRow("all pass") << false << false << false << false << true << QStringList();
    QTest::newRow("no provider") << true << false << false << false << true
                                 << QStringList{provider};
    QTest::newRow("no sockets") << false << true << false << false << true << QStringList{sockets};
    QTest::newRow("reset fails") << false << false << false << true << true << QStringList{reset};
    QTest::newRow("reset only on the NT family")
        << false << false << false << true << false << QStringList();
    QTest::newRow("every check fails, in order")
        << true << true << true << true << true << QStringList{provider, sockets, adapter, reset};
}

// Each failure shows its box in order; a doomed window still writes its
// settings, and is never shown, so it never scans.
void TestStartup::failedChecks() {
    QFETCH(bool, noProvider);
    QFETCH(bool, noSockets);
    QFETCH(bool, noAdapter);
    QFETCH(bool, resetFails);
    QFETCH(bool, ntFamily);
    QFETCH(QStringList, messages);
    Window w;
    buildSmallNetwork(w.fake);
    if (noProvider)
        w.fake.providerNameResult = win::NoNetwork;
    if (noSockets)
        w.fake.wsaStartupResult = 1;
    if (noAdapter)
        w.fake.lanas.clear();
    if (resetFails)
        w.fake.resetRetcode = NRC_SYSTEM;
    if (!ntFamily)
        w.fake.platformFamily = PlatformIdNT - 1;
    {
        MessageBoxCloser closer;
        w.create();
        QCOMPARE(closer.texts, messages);
    }
    const bool doomed = !messages.isEmpty();
    QCOMPARE(w.form->isDoomed(), doomed);
    w.form->show();
    QCOMPARE(w.form->isVisible(), !doomed);
    if (doomed) {
        idle();
        QVERIFY(!w.form->isScanning());
        QCOMPARE(w.form->model().rowCount(), 0);
    } else {
        QVERIFY(w.waitIdle());
    }
    w.close();
    const auto stored = w.settings();
    for (const QString& name : AllNames)
        QVERIFY2(stored->contains(name), qPrintable(name));
    QCOMPARE(stored->value("WindowState").toInt(), WindowStateNormal);
    QCOMPARE(stored->value("Resource Type").toInt(), 0);
    QCOMPARE(decodePosition(stored->value("Position").toByteArray()), DesignBounds);
    QVERIFY(QFile::exists(FileManagerEntry(w.dataHome()).kf6ServiceMenuPath()));
}

void TestStartup::settingsRoundTrip_data() {
    QTest::addColumn<bool>("change");
    QTest::newRow("design state, nothing stored") << false;
    QTest::newRow("everything changed") << true;
}

// What the window shows at exit is what the next run shows.
void TestStartup::settingsRoundTrip() {
    QFETCH(bool, change);
    const QRect bounds = change ? QRect(120, 90, 600, 420) : DesignBounds;
    const ViewState expected =
        change ? ViewState{2, false, false, false, true, true, true} : ViewState{};
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QCOMPARE(w.form->geometry(), DesignBounds);
    compareViewState(viewState(*w.form), ViewState{});
    QVERIFY(w.showAndWait());
    if (change) {
        w.form->setGeometry(bounds);
        parts(*w.form).cboResource->setCurrentIndex(2);
        parts(*w.form).actGo->trigger();
        QVERIFY(w.waitIdle());
        for (QAction* action :
             {parts(*w.form).actToolBar, parts(*w.form).actResourceBar, parts(*w.form).actStatusBar,
              parts(*w.form).actGridLines, parts(*w.form).actHotTrack, parts(*w.form).actRowSelect})
            action->trigger();
        // Another type picked without Go is not what is stored.
        parts(*w.form).cboResource->setCurrentIndex(1);
    }
    w.close();
    {
        const auto stored = w.settings();
        for (const QString& name : AllNames)
            QVERIFY2(stored->contains(name), qPrintable(name));
        QCOMPARE(stored->value("Resource Type").toInt(), expected.resourceIndex);
        QCOMPARE(stored->value("ShowToolBar").toInt(), int(expected.toolBar));
        QCOMPARE(stored->value("ShowHotTrack").toInt(), int(expected.hotTrack));
    }

    w.create();
    QCOMPARE(w.form->geometry(), bounds);
    QVERIFY(!w.form->isMaximized());
    compareViewState(viewState(*w.form), expected);
    // The resource bar's band is gone with it; the cool bar keeps its other rows.
    QCOMPARE(parts(*w.form).coolBar->rowCount(), change ? 1 : 3);
    QVERIFY(w.showAndWait());
    QCOMPARE(w.form->resourceType(), TResourceType(expected.resourceIndex));
    idle();
    QCOMPARE(parts(*w.form).actToolBar->isChecked(), expected.toolBar);
    QCOMPARE(parts(*w.form).actResourceBar->isChecked(), expected.resourceBar);
    QCOMPARE(parts(*w.form).actStatusBar->isChecked(), expected.statusBar);
    QCOMPARE(parts(*w.form).actHotTrack->isChecked(), expected.hotTrack);
    if (change) {
        // Hot tracking came on with its single-click activation.
        parts(*w.form).listView->clearSelection();
        parts(*w.form).cboResource->setCurrentIndex(0);
        parts(*w.form).actGo->trigger();
        QVERIFY(w.waitIdle());
        QTest::mouseClick(
            parts(*w.form).listView->viewport(), Qt::LeftButton, {},
            parts(*w.form).listView->visualRect(w.form->model().index(0, 0)).center());
        QCOMPARE(w.pinged, QStringList{"\\\\ALPHA"});
    }
}

void TestStartup::wrongTypesStopRestoring_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("gridLinesRestored");
    QTest::newRow("Position too long")
        << "Position" << QVariant(QByteArray(PositionSize + 4, '\1')) << false;
    QTest::newRow("Position not binary") << "Position" << QVariant(QString("100,100")) << false;
    QTest::newRow("Resource Type not a number") << "Resource Type" << QVariant("two") << false;
    QTest::newRow("WindowState binary") << "WindowState" << QVariant(QByteArray("\1")) << false;
    QTest::newRow("ShowRowSelect not a number") << "ShowRowSelect" << QVariant("yes") << true;
}

// A value of the wrong type shows the general error box, restoring stops
// there, and the window still opens and scans.
void TestStartup::wrongTypesStopRestoring() {
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(bool, gridLinesRestored);
    Window w;
    buildSmallNetwork(w.fake);
    {
        const auto stored = w.settings();
        stored->setValue("WindowState", WindowStateNormal);
        stored->setValue("Position", encodePosition(QRect(100, 100, 500, 350)));
        stored->setValue("ShowToolBar", 0);
        stored->setValue("ShowGridLines", 1);
        stored->setValue("ShowRowSelect", 1);
        stored->setValue(name, value);
    }
    MessageBoxCloser closer;
    w.create();
    QCOMPARE(closer.texts, QStringList{QStringLiteral("Invalid data type for '%1'").arg(name)});
    QVERIFY(!w.form->isDoomed());
    QCOMPARE(parts(*w.form).listView->gridLines(), gridLinesRestored);
    QVERIFY(!parts(*w.form).listView->rowSelect());
    QCOMPARE(parts(*w.form).psToolBar->isHidden(), gridLinesRestored);
    QVERIFY(w.showAndWait());
    QVERIFY(w.form->isVisible());
    QCOMPARE(w.completions, QStringList{"5 Computer(s) found"});
}

void TestStartup::storedResourceType_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("count");
    QTest::newRow("shared printers") << 2 << 2 << "1 Shared printer(s) found";
    QTest::newRow("beyond the types") << 3 << 0 << "5 Computer(s) found";
    QTest::newRow("negative") << -1 << 0 << "5 Computer(s) found";
}

void TestStartup::storedResourceType() {
    QFETCH(int, stored);
    QFETCH(int, index);
    QFETCH(QString, count);
    Window w;
    buildSmallNetwork(w.fake);
    w.settings()->setValue("Resource Type", stored);
    w.create();
    QCOMPARE(parts(*w.form).cboResource->currentIndex(), index);
    QVERIFY(w.showAndWait());
    QCOMPARE(w.completions, QStringList{count});
}

void TestStartup::windowStates_data() {
    QTest::addColumn<QString>("exit");
    QTest::addColumn<int>("storedState");
    QTest::addColumn<bool>("positionWritten");
    QTest::addColumn<bool>("nextMaximized");
    QTest::newRow("normal") << "normal" << WindowStateNormal << true << false;
    QTest::newRow("maximized") << "maximized" << WindowStateMaximized << false << true;
    QTest::newRow("minimized from normal") << "minimized" << WindowStateMinimized << true << false;
    QTest::newRow("minimized from maximized")
        << "minimized maximized" << WindowStateMinimized << false << false;
}

void TestStartup::windowStates() {
    QFETCH(QString, exit);
    QFETCH(int, storedState);
    QFETCH(bool, positionWritten);
    QFETCH(bool, nextMaximized);
    const QRect older(150, 120, 500, 380);
    const QRect current(120, 90, 600, 420);
    Window w;
    buildSmallNetwork(w.fake);
    {
        const auto stored = w.settings();
        stored->setValue("WindowState", WindowStateNormal);
        stored->setValue("Position", encodePosition(older));
    }
    w.create();
    QCOMPARE(w.form->geometry(), older);
    QVERIFY(w.showAndWait());
    w.form->setGeometry(current);
    if (exit == "maximized")
        w.form->setWindowState(Qt::WindowMaximized);
    else if (exit == "minimized")
        w.form->setWindowState(Qt::WindowMinimized);
    else if (exit == "minimized maximized")
        w.form->setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
    w.close();
    const QRect expectedBounds = positionWritten ? current : older;
    {
        const auto stored = w.settings();
        QCOMPARE(stored->value("WindowState").toInt(), storedState);
        QCOMPARE(decodePosition(stored->value("Position").toByteArray()), expectedBounds);
    }
    w.create();
    QCOMPARE(w.form->isMaximized(), nextMaximized);
    QVERIFY(!w.form->isMinimized());
    if (!nextMaximized)
        QCOMPARE(w.form->geometry(), expectedBounds);
}

void TestStartup::boundsOffEveryScreen() {
    Window w;
    buildSmallNetwork(w.fake);
    const QRect away(20000, 15000, 564, 400);
    {
        const auto stored = w.settings();
        stored->setValue("WindowState", WindowStateNormal);
        stored->setValue("Position", encodePosition(away));
    }
    w.create();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(w.form->geometry()),
             qPrintable(QStringLiteral("%1,%2").arg(w.form->x()).arg(w.form->y())));
    QCOMPARE(w.form->size(), away.size().boundedTo(screen.size()));
}

// The entry is written at shutdown when missing and never rewritten.
void TestStartup::fileManagerEntryWrittenOnceAtShutdown() {
    Window w;
    buildSmallNetwork(w.fake);
    const FileManagerEntry entry(w.dataHome());
    w.create();
    QVERIFY(w.showAndWait());
    QVERIFY(!QFile::exists(entry.kf6ServiceMenuPath()));
    w.close();
    for (const QString& path :
         {entry.kf5ServiceMenuPath(), entry.kf6ServiceMenuPath(), entry.nautilusScriptPath()})
        QVERIFY2(QFile::exists(path), qPrintable(path));
    QFile file(entry.kf6ServiceMenuPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(QCoreApplication::applicationFilePath().toUtf8()));
    file.close();

    // A copy elsewhere left its entry: the next run keeps it.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("left by another copy\n");
    file.close();
    w.create();
    w.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("left by another copy\n"));
}

// The session manager's request at log-out: the settings and the entry are
// written while the window still runs.
void TestStartup::saveStateWritesWhileRunning() {
    Window w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    QVERIFY(!w.settings()->contains("ShowToolBar"));
    w.form->saveState();
    QVERIFY(w.form->isVisible());
    QVERIFY(w.settings()->contains("ShowToolBar"));
    QVERIFY(QFile::exists(FileManagerEntry(w.dataHome()).kf6ServiceMenuPath()));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
