// The main window over the scripted network: columns, rows, the count text,
// the completion sound, restarting and stopping scans, sorting by a column
// and row activation.

#include "TestWindow.h"
#include "dialogs/TPingDlg.h"
#include "store/ScanStore.h"
#include "widgets/ImageList.h"
#include "widgets/ResourceComboBox.h"
#include "widgets/ResourceListView.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMovie>
#include <QPointer>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <latch>
#include <memory>
#include <set>
#include <thread>

using namespace norvane;
using namespace norvane::test;
using namespace std::chrono_literals;

namespace {

// How long any way of ending a scan may take, whatever the network does.
constexpr qint64 StopBoundMs = 250;

// The shared window fixture with the list helpers these tests use.
struct ListWindow : Window {
    QStringList captions() const {
        QStringList list;
        for (const ResultRow& row : form->model().rows())
            list << row.caption;
        return list;
    }
    QHeaderView* header() const { return parts(*form).listView->horizontalHeader(); }
    void clickHeader(int column) const {
        QTest::mouseClick(
            header()->viewport(), Qt::LeftButton, {},
            QPoint(header()->sectionViewportPosition(column) + 10, header()->height() / 2));
    }
    QPoint rowCentre(int row) const {
        return parts(*form).listView->visualRect(form->model().index(row, 0)).center();
    }
};

ResultRow row(const char* caption, int image, QStringList subItems) {
    return {QString::fromLatin1(caption), image, std::move(subItems)};
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void columnsPerType_data();
    void columnsPerType();
    void rowsInOrder_data();
    void rowsInOrder();
    void countTextAndSound_data();
    void countTextAndSound();
    void stopServesTheErrorBox();
    void goDuringScanRestarts();
    void manyGoPresses();
    void columnClicksIgnoredDuringScan();
    void ipSortAndDirection();
    void sortsSharesByGroupAsText();
    void activation_data();
    void activation();
    void hotTrackSelectsRowUnderPointer();
    void pingOpensTheDialogForTheRow();
    void progressDuringAScan();
    void closedResourceBoxShowsFocusOnlyWithIt();
    void windowClosedDuringScan();
    void finishedScansAreRecorded();
    void stopsAreQuickWhileAHostHangs_data();
    void stopsAreQuickWhileAHostHangs();
    void windowClosedDuringSound();
    void tenThousandRows();
    void firstRunShowsEveryColumn();
    void optionalColumnsChosenFromTheHeader();
};

void TestMainForm::columnsPerType_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QString>("count");
    const QStringList computers = {"Name", "IP Address", "Group", "Comment", "MAC Address"};
    const QStringList shares = {"Name", "Group", "Comment"};
    QTest::newRow("computers") << 0 << computers << "5 Computer(s) found";
    QTest::newRow("shared folders") << 1 << shares << "2 Shared folder(s) found";
    QTest::newRow("shared printers") << 2 << shares << "1 Shared printer(s) found";
    QTest::newRow("no selection scans computers") << -1 << computers << "5 Computer(s) found";
}

void TestMainForm::columnsPerType() {
    QFETCH(int, index);
    QFETCH(QStringList, columns);
    QFETCH(QString, count);
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    QCOMPARE(parts(*w.form).cboResource->count(), 3);
    QCOMPARE(parts(*w.form).cboResource->itemText(2), QStringLiteral("Shared printers"));
    parts(*w.form).cboResource->setCurrentIndex(index);
    parts(*w.form).actGo->trigger();
    QVERIFY(w.waitIdle());
    QCOMPARE(w.form->model().columns(), columns);
    for (int c = 0; c < columns.size(); ++c) {
        QCOMPARE(w.form->model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                 columns[c]);
        QCOMPARE(w.header()->sectionSize(c), ColumnWidth);
    }
    QCOMPARE(w.form->statusText(), count);
}

void TestMainForm::rowsInOrder_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<ResultRows>("rows");
    const QString noIp = QString::fromLatin1(NoIpAddress);
    const QString noMac = QString::fromLatin1(NoMacAddress);
    QTest::newRow("computers")
        << 0
        << ResultRows{
               row("\\\\ALPHA", imgComputer,
                   {"10.0.0.12", "WG1", "Main server", "00-0A-5E-1F-C2-9B"}),
               row("\\\\beta", imgUnresolvedComputer, {noIp, "WG1", "no name", noMac}),
               row("\\\\GAMMA", imgComputer, {"192.168.1.2", "WG1", "Print host", noMac}),
               row("\\\\DELTA", imgComputer, {"10.0.0.5", "WG2", "", "02-00-00-00-00-01"}),
               row("\\\\alpha", imgUnresolvedComputer, {noIp, "WG2", "", noMac}),
           };
    QTest::newRow("shared folders")
        << 1
        << ResultRows{row("\\\\ALPHA\\Public", imgSharedFolder, {"WG1", "Public files"}),
                      row("\\\\DELTA\\Docs", imgSharedFolder, {"WG2", ""})};
    QTest::newRow("shared printers")
        << 2 << ResultRows{row("\\\\ALPHA\\Laser", imgSharedPrinter, {"WG1", "Second floor"})};
}

void TestMainForm::rowsInOrder() {
    QFETCH(int, type);
    QFETCH(ResultRows, rows);
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.create();
    parts(*w.form).cboResource->setCurrentIndex(type);
    QVERIFY(w.showAndWait());
    QCOMPARE(w.form->model().rows(), rows);
    // The view shows the caption, then the sub-items, column by column;
    // the optional columns follow the list's own.
    const QAbstractItemModel* view = parts(*w.form).listView->model();
    QCOMPARE(view->rowCount(), static_cast<int>(rows.size()));
    for (int r = 0; r < view->rowCount(); ++r) {
        QCOMPARE(view->index(r, 0).data().toString(), rows[r].caption);
        for (int c = 1; c < w.form->model().columns().size(); ++c)
            QCOMPARE(view->index(r, c).data().toString(), rows[r].subItems[c - 1]);
    }
}

void TestMainForm::countTextAndSound_data() {
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("sounds");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("complete") << "complete"
                              << "5 Computer(s) found" << 1 << QStringList();
    QTest::newRow("stopped") << "stopped"
                             << "3 Computer(s) found" << 0 << QStringList();
    QTest::newRow("provider not open")
        << "no logon"
        << "0 Computer(s) found" << 0
        << QStringList{"You are not logged in Microsoft Windows Network."};
    QTest::newRow("domains unreadable")
        << "no domains"
        << "0 Computer(s) found" << 0 << QStringList{"Error: 6118."};
    QTest::newRow("every domain skipped") << "all skipped"
                                          << "0 Computer(s) found" << 1 << QStringList();
}

void TestMainForm::countTextAndSound() {
    QFETCH(QString, outcome);
    QFETCH(QString, count);
    QFETCH(int, sounds);
    QFETCH(QStringList, errors);
    ListWindow w;
    buildSmallNetwork(w.fake);
    if (outcome == "no logon")
        w.fake.provider.openError = win::NoNetwork;
    if (outcome == "no domains")
        w.fake.provider.enumError = win::NoBrowserServersFound;
    if (outcome == "all skipped") {
        w.fake.containers["WG1"].openError = win::AccessDenied;
        w.fake.containers["WG2"].enumError = win::AccessDenied;
    }
    std::latch secondRowStarted(1);
    std::latch stopPressed(1);
    if (outcome == "stopped") {
        // Holds the walk in the third computer's lookup until Stop is pressed.
        w.fake.onCall = [&](const std::string& call) {
            if (call == "getHostByName(GAMMA)") {
                secondRowStarted.count_down();
                stopPressed.wait();
            }
        };
    }
    MessageBoxCloser closer;
    w.create();
    w.form->show();
    if (outcome == "stopped") {
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        secondRowStarted.wait();
        // The look-up runs ahead of the walk: the third row is begun once
        // the walk, which a busy machine may hold back, has reached it.
        QTRY_COMPARE(w.form->model().rowCount(), 3);
        // A scan in flight shows the busy cursor, the animation and "Updating...".
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QCOMPARE(parts(*w.form).animate->movie()->state(), QMovie::Running);
        QVERIFY(w.form->statusShowsUpdating());
        std::thread release([&] {
            std::this_thread::sleep_for(20ms);
            stopPressed.count_down();
        });
        QTest::keyClick(w.form.get(), Qt::Key_Escape);
        release.join();
        QVERIFY(!w.form->isScanning());
    }
    QVERIFY(w.waitIdle());
    QCOMPARE(w.form->statusText(), count);
    QVERIFY(!w.form->statusShowsUpdating());
    QCOMPARE(w.sounds, sounds);
    QCOMPARE(closer.texts, errors);
    QCOMPARE(parts(*w.form).progressBar->value(), 0);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(parts(*w.form).animate->movie()->isValid());
    QCOMPARE(parts(*w.form).animate->movie()->frameCount(), 8);
    QCOMPARE(parts(*w.form).animate->movie()->state(), QMovie::NotRunning);
    QCOMPARE(w.completions.size(), 1);
    if (outcome == "stopped") {
        // The row begun before the stop was completed; no other was added.
        QCOMPARE(w.form->model().rows().back().caption, QStringLiteral("\\\\GAMMA"));
        QCOMPARE(w.form->model().rows().back().subItems.size(), 4);
    }
    QCOMPARE(w.fake.openHandles(), std::size_t{0});
}

// The worker asks for its error box while the UI thread already waits in
// Stop: Stop shows the box, and returns after the completion.
void TestMainForm::stopServesTheErrorBox() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.fake.provider.openError = win::NoNetwork;
    std::latch started(1);
    std::latch stopPressed(1);
    w.fake.onCall = [&](const std::string& call) {
        if (call.rfind("openEnum", 0) == 0) {
            started.count_down();
            stopPressed.wait();
        }
    };
    MessageBoxCloser closer;
    w.create();
    w.form->show();
    started.wait();
    std::thread release([&] {
        std::this_thread::sleep_for(50ms);
        stopPressed.count_down();
    });
    parts(*w.form).actStop->trigger();
    release.join();
    QVERIFY(!w.form->isScanning());
    QCOMPARE(closer.texts, QStringList{"You are not logged in Microsoft Windows Network."});
    QCOMPARE(w.completions, QStringList{"0 Computer(s) found"});
    QCOMPARE(w.sounds, 0);
}

void TestMainForm::goDuringScanRestarts() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    // Longer than the polling of QTRY_VERIFY, so that the second workgroup's
    // rows cannot all arrive between two looks.
    w.fake.lookupDelay = 60ms;
    w.create();
    w.form->show();
    QTRY_VERIFY(w.form->model().rowCount() >= 2);
    parts(*w.form).actGo->trigger();
    // The stopped scan's completion reported its partial list first.
    QCOMPARE(w.completions.size(), 1);
    const int partial = w.completions.first().section(QLatin1Char(' '), 0, 0).toInt();
    QVERIFY2(partial >= 2 && partial < 5, qPrintable(w.completions.first()));
    QVERIFY(w.form->isScanning());
    QVERIFY(w.form->statusShowsUpdating());
    QVERIFY(w.waitIdle());
    QCOMPARE(w.completions.size(), 2);
    QCOMPARE(w.completions.last(), QStringLiteral("5 Computer(s) found"));
    QCOMPARE(w.captions(),
             (QStringList{"\\\\ALPHA", "\\\\beta", "\\\\GAMMA", "\\\\DELTA", "\\\\alpha"}));
    QCOMPARE(w.sounds, 1);
}

void TestMainForm::manyGoPresses() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.fake.lookupDelay = 5ms;
    w.create();
    w.form->show();
    constexpr int Presses = 12;
    for (int i = 0; i < Presses; ++i) {
        if (i % 3 == 0)
            QTest::keyClick(parts(*w.form).cboResource, Qt::Key_Return);
        else if (i % 3 == 1)
            QTest::keyClick(w.form.get(), Qt::Key_F5);
        else
            parts(*w.form).actGo->trigger();
        QCoreApplication::processEvents();
    }
    QVERIFY(w.waitIdle());
    QCOMPARE(w.completions.size(), Presses + 1);
    QCOMPARE(w.captions(),
             (QStringList{"\\\\ALPHA", "\\\\beta", "\\\\GAMMA", "\\\\DELTA", "\\\\alpha"}));
    QCOMPARE(w.sounds, 1);
    QCOMPARE(w.fake.openHandles(), std::size_t{0});
}

void TestMainForm::columnClicksIgnoredDuringScan() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    std::latch inScan(1);
    std::latch clicked(1);
    w.fake.onCall = [&](const std::string& call) {
        if (call == "getHostByName(GAMMA)") {
            inScan.count_down();
            clicked.wait();
        }
    };
    w.create();
    w.form->show();
    inScan.wait();
    // GAMMA's row is begun: its caption comes before its look-up's result.
    QTRY_COMPARE(w.captions(), (QStringList{"\\\\ALPHA", "\\\\beta", "\\\\GAMMA"}));
    w.clickHeader(1);
    w.clickHeader(0);
    QCOMPARE(w.form->model().headerImage(0), int(imgNone));
    QCOMPARE(w.form->model().headerImage(1), int(imgNone));
    QCOMPARE(w.captions(), (QStringList{"\\\\ALPHA", "\\\\beta", "\\\\GAMMA"}));
    clicked.count_down();
    QVERIFY(w.waitIdle());
    w.clickHeader(0);
    QCOMPARE(w.form->model().headerImage(0), int(imgSortUp));
    QCOMPARE(w.captions().first(), QStringLiteral("\\\\ALPHA"));
    QCOMPARE(w.captions().last(), QStringLiteral("\\\\GAMMA"));
}

void TestMainForm::ipSortAndDirection() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    QCOMPARE(w.form->sortColumn(), 0);
    QVERIFY(w.form->sortAscending());

    // The list sorts by the type of the scan that filled it, not by the
    // type picked since: column 1 still holds IP addresses.
    parts(*w.form).cboResource->setCurrentIndex(rtSharedFolder);
    w.clickHeader(1);
    QCOMPARE(w.captions(),
             (QStringList{"\\\\beta", "\\\\alpha", "\\\\DELTA", "\\\\ALPHA", "\\\\GAMMA"}));
    QCOMPARE(w.form->model().headerImage(1), int(imgSortUp));
    QVERIFY(!w.form->sortAscending());

    w.clickHeader(1);
    QCOMPARE(w.captions(),
             (QStringList{"\\\\GAMMA", "\\\\ALPHA", "\\\\DELTA", "\\\\beta", "\\\\alpha"}));
    QCOMPARE(w.form->model().headerImage(1), int(imgSortDown));

    // Another column starts ascending and clears the IP column's mark.
    // "\\ALPHA" and "\\alpha" compare equal and keep their order.
    w.clickHeader(0);
    QCOMPARE(w.captions(),
             (QStringList{"\\\\ALPHA", "\\\\alpha", "\\\\beta", "\\\\DELTA", "\\\\GAMMA"}));
    QCOMPARE(w.form->model().headerImage(1), int(imgNone));
    QCOMPARE(w.form->model().headerImage(0), int(imgSortUp));
    w.clickHeader(0);
    QCOMPARE(w.captions(),
             (QStringList{"\\\\GAMMA", "\\\\DELTA", "\\\\beta", "\\\\ALPHA", "\\\\alpha"}));
    QCOMPARE(w.form->model().headerImage(0), int(imgSortDown));

    // A new scan drops the marks and the order; the next click on Name
    // sorts ascending again.
    parts(*w.form).cboResource->setCurrentIndex(rtComputer);
    parts(*w.form).actRefresh->trigger();
    QVERIFY(w.waitIdle());
    QCOMPARE(w.form->model().headerImage(0), int(imgNone));
    QCOMPARE(w.captions().first(), QStringLiteral("\\\\ALPHA"));
    QCOMPARE(w.captions().last(), QStringLiteral("\\\\alpha"));
    w.clickHeader(0);
    QCOMPARE(w.form->model().headerImage(0), int(imgSortUp));
}

void TestMainForm::sortsSharesByGroupAsText() {
    ListWindow w;
    w.fake.addDomain("WG9");
    w.fake.addDomain("WG10");
    w.fake.addComputer("WG9", "\\\\A");
    w.fake.addComputer("WG10", "\\\\B");
    w.fake.addShare("\\\\A", "\\\\A\\x", RESOURCETYPE_DISK);
    w.fake.addShare("\\\\B", "\\\\B\\y", RESOURCETYPE_DISK);
    w.create();
    parts(*w.form).cboResource->setCurrentIndex(rtSharedFolder);
    QVERIFY(w.showAndWait());
    w.clickHeader(1);
    QCOMPARE(w.captions(), (QStringList{"\\\\B\\y", "\\\\A\\x"}));
}

void TestMainForm::activation_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("pings");
    QTest::newRow("resolved computer") << 0 << 0 << true;
    QTest::newRow("unresolved computer") << 0 << 1 << false;
    QTest::newRow("resolved computer without adapter") << 0 << 2 << true;
    QTest::newRow("no row selected") << 0 << -1 << false;
    QTest::newRow("shared folder") << 1 << 0 << false;
    QTest::newRow("shared printer") << 2 << 0 << false;
}

void TestMainForm::activation() {
    QFETCH(int, type);
    QFETCH(int, row);
    QFETCH(bool, pings);
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.create();
    parts(*w.form).cboResource->setCurrentIndex(type);
    QVERIFY(w.showAndWait());
    ResourceListView* view = parts(*w.form).listView;
    const QStringList expected =
        pings ? QStringList{w.form->model().row(std::max(row, 0)).caption} : QStringList{};
    const auto select = [&] {
        view->clearSelection();
        if (row >= 0)
            view->selectRow(row);
    };
    // Design state: a single click selects only, a double click and Enter activate.
    select();
    idle();
    QCOMPARE(parts(*w.form).actPing->isEnabled(), pings);
    if (row >= 0) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, w.rowCentre(row));
        QCOMPARE(w.pinged, QStringList());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, w.rowCentre(row));
        QCOMPARE(w.pinged, expected);
    }
    w.pinged.clear();
    select();
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(w.pinged, expected);

    // Hot tracking: a single click activates.
    w.pinged.clear();
    QTest::keyClick(w.form.get(), Qt::Key_H, Qt::ControlModifier);
    QVERIFY(view->hotTrack());
    QVERIFY(parts(*w.form).actHotTrack->isChecked());
    if (row >= 0) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, w.rowCentre(row));
        QCOMPARE(w.pinged, expected);
    }
    // Off again: back to the double click.
    w.pinged.clear();
    parts(*w.form).actHotTrack->trigger();
    QVERIFY(!view->hotTrack());
    if (row >= 0) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, w.rowCentre(row));
        QCOMPARE(w.pinged, QStringList());
    }
}

void TestMainForm::hotTrackSelectsRowUnderPointer() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    ResourceListView* view = parts(*w.form).listView;
    QTest::mouseMove(view->viewport(), w.rowCentre(2));
    QCOMPARE(view->hotRow(), -1);
    QCOMPARE(view->selectedRow(), -1);

    parts(*w.form).actHotTrack->trigger();
    QCOMPARE(view->viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(view->viewport(), w.rowCentre(3));
    QCOMPARE(view->hotRow(), 3);
    QTRY_COMPARE(view->selectedRow(), 3);
    idle();
    QVERIFY(parts(*w.form).actPing->isEnabled());

    parts(*w.form).actHotTrack->trigger();
    QCOMPARE(view->hotRow(), -1);
    QCOMPARE(view->viewport()->cursor().shape(), Qt::ArrowCursor);
}

void TestMainForm::pingOpensTheDialogForTheRow() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.create(false);
    QVERIFY(w.showAndWait());
    TMainForm& form = *w.form;
    parts(form).listView->selectRow(3);
    QString title;
    QTimer::singleShot(0, &form, [&] {
        if (auto* dialog = qobject_cast<TPingDlg*>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            dialog->reject();
        }
    });
    QTest::keyClick(parts(form).listView, Qt::Key_Return);
    QCOMPARE(title, QStringLiteral("Ping DELTA"));
}

void TestMainForm::progressDuringAScan() {
    // Four workgroups: the bar's range is 0..3 and its position moves to
    // each workgroup as the walk reaches it; the end clears it.
    ListWindow w;
    for (const char* group : {"WG1", "WG2", "WG3", "WG4"}) {
        w.fake.addDomain(group);
        w.fake.addComputer(group, std::string("\\\\PC-") + group);
    }
    w.fake.enumDelay = 20ms;
    w.create();
    QProgressBar* bar = parts(*w.form).progressBar;
    QList<QPair<int, int>> seen; // maximum, value
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        seen.append({bar->maximum(), value});
    });
    QVERIFY(w.showAndWait());
    QCOMPARE(seen, (QList<QPair<int, int>>{{3, 1}, {3, 2}, {3, 3}, {3, 0}}));
}

void TestMainForm::closedResourceBoxShowsFocusOnlyWithIt() {
    // The closed box draws its item selected and focused while it has the
    // focus, and plain when the focus is elsewhere.
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.create();
    QVERIFY(w.showAndWait());
    QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
    ResourceComboBox* box = parts(*w.form).cboResource;
    const QColor selection = box->palette().color(QPalette::Highlight);
    const auto showsSelection = [&] {
        const QImage image = box->grab().toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == selection)
                    return true;
        return false;
    };
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    QVERIFY(showsSelection());
    parts(*w.form).listView->setFocus();
    QTRY_VERIFY(!box->hasFocus());
    QVERIFY(!showsSelection());
}

void TestMainForm::windowClosedDuringScan() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.fake.lookupDelay = 30ms;
    w.create();
    w.form->show();
    QTRY_VERIFY(w.form->model().rowCount() >= 1);
    w.form->close();
    w.form.reset();
    QCOMPARE(w.sounds, 0);
    QCOMPARE(w.fake.openHandles(), std::size_t{0});
}

void TestMainForm::stopsAreQuickWhileAHostHangs_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("action");
    for (const int type : {int(rtComputer), int(rtSharedFolder)}) {
        for (const char* action : {"Stop", "Esc", "Go", "F5", "close"})
            QTest::addRow("%s, %s", type == rtComputer ? "computers" : "folders", action)
                << type << QString::fromLatin1(action);
    }
}

// GAMMA has gone: its look-ups, or the check before its share listing,
// would wait far longer than the test runs. Every way of ending the scan
// returns within the bound all the same.
void TestMainForm::stopsAreQuickWhileAHostHangs() {
    QFETCH(int, type);
    QFETCH(QString, action);
    ListWindow w;
    buildSmallNetwork(w.fake);
    w.fake.extraDelay = [](const std::string& subject) {
        return subject == "GAMMA" || subject == "\\\\GAMMA" ? std::chrono::milliseconds(60s) : 0ms;
    };
    w.create();
    parts(*w.form).cboResource->setCurrentIndex(type);
    w.form->show();
    // The rows before GAMMA's; a computer scan has begun GAMMA's row too.
    QTRY_COMPARE(w.form->model().rowCount(), type == rtComputer ? 3 : 1);
    QTest::qWait(100);
    QElapsedTimer timer;
    timer.start();
    if (action == "Stop")
        parts(*w.form).actStop->trigger();
    else if (action == "Esc")
        QTest::keyClick(w.form.get(), Qt::Key_Escape);
    else if (action == "Go")
        parts(*w.form).actGo->trigger();
    else if (action == "F5")
        QTest::keyClick(w.form.get(), Qt::Key_F5);
    else
        w.close(); // as the program ends once its window closes
    QVERIFY2(timer.elapsed() < StopBoundMs, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(w.fake.openHandles(), std::size_t{0});
    QCOMPARE(w.sounds, 0);
    if (action == "close")
        return;
    if (action == "Go" || action == "F5") {
        // The new scan meets the same host; Stop ends it as quickly.
        QVERIFY(w.form->isScanning());
        QTRY_VERIFY(w.form->model().rowCount() >= 1);
        timer.restart();
        parts(*w.form).actStop->trigger();
        QVERIFY2(timer.elapsed() < StopBoundMs, qPrintable(QString::number(timer.elapsed())));
    }
    QVERIFY(!w.form->isScanning());
    QCOMPARE(w.fake.openHandles(), std::size_t{0});
}

// A close request that arrives while the sound plays is handled after it.
void TestMainForm::windowClosedDuringSound() {
    FakePlatform fake;
    buildSmallNetwork(fake);
    const QTemporaryDir home;
    QPointer<TMainForm> form = new TMainForm(
        fake, MainFormStorage{
                  std::make_unique<QSettings>(home.filePath("Norvane.conf"), QSettings::IniFormat),
                  home.filePath("data")});
    form->setAttribute(Qt::WA_DeleteOnClose);
    int sounds = 0;
    form->setCompletionSound([&] {
        ++sounds;
        QMetaObject::invokeMethod(form, &QWidget::close, Qt::QueuedConnection);
    });
    form->show();
    QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), ScanTimeoutMs);
    QCOMPARE(sounds, 1);
}

void TestMainForm::tenThousandRows() {
    constexpr int Computers = 10000;
    ListWindow w;
    buildLargeNetwork(w.fake, Computers);
    w.create();
    QVERIFY(w.showAndWait());
    QCOMPARE(w.form->statusText(), QStringLiteral("10000 Computer(s) found"));
    const ResultRows& rows = w.form->model().rows();
    QCOMPARE(rows.size(), std::size_t{Computers});
    for (int i = 0; i < Computers; ++i) {
        QCOMPARE(rows[i].caption, QStringLiteral("\\\\PC%1").arg(i, 5, 10, QLatin1Char('0')));
        QCOMPARE(rows[i].subItems.size(), 4);
    }
    QCOMPARE(parts(*w.form).listView->model()->rowCount(), Computers);
    QCOMPARE(w.sounds, 1);
}

// Each finished scan goes into the scan store with every computer's record;
// closing the window waits for the recording.
void TestMainForm::finishedScansAreRecorded() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    const QString storeFile = w.home.filePath(QStringLiteral("scans.sqlite"));
    w.settings()->setValue(QStringLiteral("ScanStore/Location"), storeFile);
    w.create();
    QVERIFY(w.showAndWait());
    const QStringList captions = w.captions();
    w.close();
    const auto store = ScanStore::open(*StoreLocation::parse(storeFile, nullptr));
    const std::vector<StoredScan> scans = store->scans();
    QCOMPARE(scans.size(), std::size_t(1));
    QVERIFY(scans[0].header.complete);
    const ScanContents recorded = store->load(scans[0].id);
    QStringList names;
    for (const ComputerRecord& computer : recorded.computers)
        names << QStringLiteral("\\\\") + computer.name;
    QCOMPARE(names, captions);
}

// The window as a first run shows it, with a list long enough for its
// scroll bar: the five columns of a computer scan fit side by side, so that
// the MAC address is not cut off.
void TestMainForm::firstRunShowsEveryColumn() {
    ListWindow w;
    buildLargeNetwork(w.fake, 60);
    w.create();
    QVERIFY(w.showAndWait());
    QCOMPARE(w.form->model().rowCount(), 60);
    ResourceListView* list = parts(*w.form).listView;
    QTRY_VERIFY(list->verticalScrollBar()->isVisible());
    const int last = static_cast<int>(ComputerColumn::Mac);
    QVERIFY2(w.header()->sectionViewportPosition(last) + w.header()->sectionSize(last) <=
                 list->viewport()->width(),
             qPrintable(QStringLiteral("viewport %1 wide").arg(list->viewport()->width())));
    QVERIFY(!list->horizontalScrollBar()->isVisible());
}

// The optional columns are hidden until chosen from the header's menu; the
// choice holds through new scans and the next run, sorting works on them,
// the report keeps its five columns, and share lists offer none.
void TestMainForm::optionalColumnsChosenFromTheHeader() {
    ListWindow w;
    buildSmallNetwork(w.fake);
    ComputerRecord alpha;
    alpha.dnsName = QStringLiteral("alpha.corp.example");
    alpha.operatingSystem = QStringLiteral("Windows Server 2022");
    alpha.osVersion = QStringLiteral("10.0");
    alpha.foundBy = FoundBy::Directory;
    w.fake.facts["ALPHA"] = alpha;
    ComputerRecord delta;
    delta.dnsName = QStringLiteral("delta.corp.example");
    w.fake.facts["DELTA"] = delta;
    w.create();
    QVERIFY(w.showAndWait());
    const auto openMenu = [&w]() -> QMenu* {
        emit w.header()->customContextMenuRequested(QPoint(10, 5));
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    const int dnsName = listColumnOf(OptionalColumn::DnsName);
    const ResultListModel& model = w.form->model();
    QCOMPARE(model.columns().size(), ComputerColumnCount);
    QCOMPARE(model.columnCount(), ComputerColumnCount + OptionalColumnCount);
    for (int c = ComputerColumnCount; c < model.columnCount(); ++c)
        QVERIFY(w.header()->isSectionHidden(c));

    QMenu* menu = openMenu();
    QVERIFY(menu);
    QStringList offered;
    for (const QAction* action : menu->actions()) {
        offered << action->text();
        QVERIFY(action->isCheckable() && !action->isChecked());
    }
    QCOMPARE(offered, (QStringList{"Vendor", "DNS Name", "Operating System", "Found By"}));
    menu->actions().at(1)->trigger();
    menu->close();
    QVERIFY(!w.header()->isSectionHidden(dnsName));
    QCOMPARE(model.headerData(dnsName, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("DNS Name"));
    QCOMPARE(w.settings()->value("Columns/Shown").toStringList(), QStringList{"DnsName"});
    QCOMPARE(
        model.data(model.index(0, listColumnOf(OptionalColumn::OperatingSystem)), Qt::DisplayRole),
        QVariant(QStringLiteral("Windows Server 2022 10.0")));
    QCOMPARE(model.data(model.index(0, listColumnOf(OptionalColumn::FoundBy)), Qt::DisplayRole),
             QVariant(QStringLiteral("directory")));

    // Descending by DNS name: the two known names first, the rest keep
    // their order.
    w.clickHeader(dnsName);
    w.clickHeader(dnsName);
    QCOMPARE(w.captions(),
             (QStringList{"\\\\DELTA", "\\\\ALPHA", "\\\\beta", "\\\\GAMMA", "\\\\alpha"}));

    parts(*w.form).actRefresh->trigger();
    QVERIFY(w.waitIdle());
    QVERIFY(!w.header()->isSectionHidden(dnsName));
    QVERIFY(w.header()->isSectionHidden(listColumnOf(OptionalColumn::Vendor)));

    parts(*w.form).cboResource->setCurrentIndex(rtSharedFolder);
    parts(*w.form).actGo->trigger();
    QVERIFY(w.waitIdle());
    QCOMPARE(model.columnCount(), ShareColumnCount);
    QVERIFY(!openMenu());

    w.close();
    w.create();
    parts(*w.form).cboResource->setCurrentIndex(rtComputer);
    QVERIFY(w.showAndWait());
    QVERIFY(!w.header()->isSectionHidden(dnsName));
    menu = openMenu();
    QVERIFY(menu && menu->actions().at(1)->isChecked());
    menu->close();
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
