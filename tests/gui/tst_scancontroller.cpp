// Scan control without a window: the hand-over applied to the model in
// order, stops that lose no row, and stops that arrive while the worker's
// error box is open.

#include "TestNetwork.h"
#include "mainwindow/ScanController.h"
#include "models/ResultListModel.h"
#include "threading/TChildThread.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace norvane;
using namespace norvane::test;

namespace {

constexpr int TimeoutMs = 20000;

struct Harness {
    FakePlatform fake;
    ResultListModel model;
    QList<int> completions;
    QStringList errors;
    QList<int> progress;
    std::function<void()> onError; // runs while the error "box" is open
    std::unique_ptr<ScanController> controller;

    Harness() {
        model.setColumns(columnCaptions(rtComputer));
        controller = std::make_unique<ScanController>(
            fake, model,
            ScanController::Hooks{[this](int maximum) { progress << -maximum; },
                                  [this](int position) { progress << position; },
                                  [this](const QString& text) {
                                      errors << text;
                                      if (onError)
                                          onError();
                                  },
                                  [this](int code) { completions << code; }});
    }
    // Look-ups on the worker's own thread: every name look-up then stands
    // for a row the worker has begun.
    ScanInputs inputs() const { return {"Microsoft Windows Network", rtComputer, 0, 0}; }
    int lookups() const {
        const auto calls = fake.calls();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const auto& call) {
            return call.rfind("getHostByName(", 0) == 0;
        }));
    }
};

} // namespace

class TestScanController : public QObject {
    Q_OBJECT
private slots:
    void stopLosesNoRow_data();
    void stopLosesNoRow();
    void stopWhileErrorBoxIsOpen();
    void restartWhileErrorBoxIsOpen();
    void endedWorkerIsKeptUntilStop();
    void macCellToolTipNamesTheVendor();
    void rowToolTipShowsTheSourcesFacts();
};

void TestScanController::stopLosesNoRow_data() {
    QTest::addColumn<int>("rowsBeforeStop");
    QTest::newRow("at once") << 0;
    QTest::newRow("after one") << 1;
    QTest::newRow("after many") << 700;
}

void TestScanController::stopLosesNoRow() {
    QFETCH(int, rowsBeforeStop);
    Harness h;
    buildLargeNetwork(h.fake, 3000);
    QAbstractItemModelTester tester(&h.model,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    h.controller->start(h.inputs());
    QTRY_VERIFY_WITH_TIMEOUT(h.model.rowCount() >= rowsBeforeStop, TimeoutMs);
    h.controller->stop();
    QVERIFY(!h.controller->isScanning());
    QCOMPARE(h.controller->ChildThread(), nullptr);
    QCOMPARE(h.completions.size(), 1);
    // Every row the worker began is in the list, complete, in order.
    const ResultRows& rows = h.model.rows();
    QCOMPARE(static_cast<int>(rows.size()), h.lookups());
    QCOMPARE(h.model.rowCount(), static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].caption, QStringLiteral("\\\\PC%1").arg(i, 5, 10, QLatin1Char('0')));
        QCOMPARE(rows[i].subItems.size(), 4);
    }
    if (rows.size() < 3000)
        QCOMPARE(h.completions.first(), ScanStoppedOrFailed);
}

// Stop reaches the controller while the error box's own event loop runs:
// the worker is released, the completion runs once, nothing hangs.
void TestScanController::stopWhileErrorBoxIsOpen() {
    Harness h;
    h.fake.provider.openError = win::NoNetwork;
    h.onError = [&] { h.controller->stop(); };
    h.controller->start(h.inputs());
    QTRY_COMPARE_WITH_TIMEOUT(h.completions, QList<int>{ScanStoppedOrFailed}, TimeoutMs);
    QCOMPARE(h.errors.size(), 1);
    QVERIFY(!h.controller->isScanning());
    QCOMPARE(h.controller->ChildThread(), nullptr);
}

void TestScanController::restartWhileErrorBoxIsOpen() {
    Harness h;
    buildSmallNetwork(h.fake);
    h.fake.provider.openError = win::NoNetwork;
    h.onError = [&] {
        h.onError = nullptr;
        h.fake.provider.openError = 0;
        h.controller->start(h.inputs());
    };
    h.controller->start(h.inputs());
    QTRY_COMPARE_WITH_TIMEOUT(h.completions, (QList<int>{ScanStoppedOrFailed, ScanCompleted}),
                              TimeoutMs);
    QCOMPARE(h.model.rowCount(), 5);
    QCOMPARE(h.errors.size(), 1);
}

void TestScanController::endedWorkerIsKeptUntilStop() {
    Harness h;
    buildSmallNetwork(h.fake);
    h.controller->start(h.inputs());
    QTRY_COMPARE_WITH_TIMEOUT(h.completions, QList<int>{ScanCompleted}, TimeoutMs);
    QCOMPARE(h.progress, (QList<int>{-1, 0, 1}));
    QVERIFY(h.controller->ChildThread() != nullptr);
    QVERIFY(h.controller->ChildThread()->wait(TimeoutMs));
    h.controller->stop();
    QCOMPARE(h.controller->ChildThread(), nullptr);
    QCOMPARE(h.completions.size(), 1);
}

// A directory's computer shows what the directory knows in the tool tip of
// its cells; a computer known by its columns alone shows none.
void TestScanController::rowToolTipShowsTheSourcesFacts() {
    ResultListModel model;
    model.setColumns(columnCaptions(rtComputer));
    auto directory = std::make_shared<ComputerRecord>();
    directory->dnsName = QStringLiteral("krbghost.krb.lab");
    directory->operatingSystem = QStringLiteral("Windows 11 Pro");
    directory->osVersion = QStringLiteral("10.0 (22631)");
    directory->foundBy = FoundBy::Directory;
    directory->directory = DirectoryFacts{.guid = {}, .ouPath = "Branch", .stale = true};
    auto browsed = std::make_shared<ComputerRecord>();
    browsed->foundBy = FoundBy::BrowseList;
    for (const auto& record : {directory, browsed}) {
        model.appendRow();
        model.setLastCaption(QStringLiteral("\\\\HOST"));
        model.setLastRecord(record, nullptr);
    }
    model.publish();
    QCOMPARE(model.data(model.index(0, 0), Qt::ToolTipRole).toString(),
             QStringLiteral("DNS name: krbghost.krb.lab\nOperating system: Windows 11 Pro 10.0 "
                            "(22631)\nOU: Branch\nStale: no recent log-on in the directory\n"
                            "Found by: directory"));
    QCOMPARE(model.data(model.index(0, 3), Qt::ToolTipRole),
             model.data(model.index(0, 0), Qt::ToolTipRole));
    QVERIFY(!model.data(model.index(1, 0), Qt::ToolTipRole).isValid());
}

void TestScanController::macCellToolTipNamesTheVendor() {
    Harness h;
    buildSmallNetwork(h.fake);
    MacVendors vendors;
    vendors.addRegistry("MA-L,000A5E,\"Adapters, Inc.\",Somewhere\n");
    h.model.setMacVendors(&vendors);
    ScanInputs inputs = h.inputs();
    inputs.lanaNum = h.fake.lanas.front();
    h.controller->start(inputs);
    QTRY_COMPARE_WITH_TIMEOUT(h.completions, QList<int>{ScanCompleted}, TimeoutMs);
    QStringList tips;
    for (int row = 0; row < h.model.rowCount(); ++row)
        tips << h.model.data(h.model.index(row, 4), Qt::ToolTipRole).toString();
    // ALPHA's adapter, beta unresolved, GAMMA without an answering adapter,
    // DELTA's locally administered address, alpha unresolved.
    QCOMPARE(tips, (QStringList{"Adapters, Inc.", "", "", "Locally administered", ""}));
    QVERIFY(!h.model.data(h.model.index(0, 3), Qt::ToolTipRole).isValid());
}

QTEST_MAIN(TestScanController)
#include "tst_scancontroller.moc"
