// The worker thread and its hand-over to the UI thread, without a window:
// changes arrive in the walk's order with the walk's end last, an error box
// holds the worker until it is answered, and an interruption ends the walk.

#include "fake/FakePlatform.h"
#include "threading/ScanHandOver.h"
#include "threading/TChildThread.h"

#include <QtTest>

#include <atomic>

using namespace norvane;
using namespace norvane::test;

namespace {

constexpr int WaitMs = 10000;

// A workgroup of three computers, the second of them unresolved.
void buildNetwork(FakePlatform& fake) {
    fake.addDomain("WG");
    fake.addComputer("WG", "\\\\ONE", "first");
    fake.addComputer("WG", "\\\\TWO");
    fake.addComputer("WG", "\\\\THREE", "third");
    fake.addHost("ONE", "10.0.0.1", {0, 1, 2, 3, 4, 5});
    fake.addHost("THREE", "10.0.0.3", {0, 1, 2, 3, 4, 6});
}

// Takes changes until the walk's end, answering every error box.
ScanChanges drainToEnd(ScanHandOver& handOver) {
    ScanChanges all;
    while (all.empty() || all.back().kind != ScanChange::Finished) {
        const std::size_t before = all.size();
        handOver.waitAndTakeAll(all);
        for (std::size_t i = before; i < all.size(); ++i)
            if (all[i].kind == ScanChange::ShowError)
                handOver.answerError();
    }
    return all;
}

} // namespace

class TestThreading : public QObject {
    Q_OBJECT
private slots:
    void changesArriveInOrderWithTheEndLast() {
        FakePlatform fake;
        buildNetwork(fake);
        std::atomic<int> wakeUps = 0;
        ScanHandOver handOver([&] { ++wakeUps; });
        TChildThread thread(fake, ScanInputs{"Microsoft Windows Network", rtComputer, 0}, handOver);
        thread.start();
        const ScanChanges changes = drainToEnd(handOver);
        QVERIFY(thread.wait(WaitMs));

        QStringList captions;
        int rows = 0;
        for (const ScanChange& change : changes) {
            rows += change.kind == ScanChange::AppendRow;
            if (change.kind == ScanChange::SetCaption)
                captions << change.text;
        }
        QCOMPARE(rows, 3);
        QCOMPARE(captions, QStringList({"\\\\ONE", "\\\\TWO", "\\\\THREE"}));
        QCOMPARE(changes.back().number, int(ScanCompleted));
        QVERIFY(wakeUps >= 1);
    }

    void errorBoxHoldsTheWorkerUntilAnswered() {
        FakePlatform fake;
        fake.provider.openError = win::NoBrowserServersFound;
        ScanHandOver handOver([] {});
        TChildThread thread(fake, ScanInputs{"Microsoft Windows Network", rtComputer, 0}, handOver);
        thread.start();
        ScanChanges changes;
        handOver.waitAndTakeAll(changes);
        QCOMPARE(changes.back().kind, ScanChange::ShowError);
        // Unanswered, the worker neither ends nor hands over anything more.
        QVERIFY(!thread.wait(100));
        handOver.takeAll(changes);
        QCOMPARE(changes.back().kind, ScanChange::ShowError);
        handOver.answerError();
        changes = drainToEnd(handOver);
        QVERIFY(thread.wait(WaitMs));
        QCOMPARE(changes.back().kind, ScanChange::Finished);
        QVERIFY(changes.back().number != int(ScanCompleted));
    }

    void interruptionEndsTheWalk() {
        FakePlatform fake;
        buildNetwork(fake);
        fake.lookupDelay = std::chrono::milliseconds(200);
        ScanHandOver handOver([] {});
        TChildThread thread(fake, ScanInputs{"Microsoft Windows Network", rtComputer, 0}, handOver);
        thread.start();
        ScanChanges first;
        handOver.waitAndTakeAll(first);
        thread.requestInterruption();
        const ScanChanges rest = drainToEnd(handOver);
        QVERIFY(thread.wait(WaitMs));
        QCOMPARE(rest.back().number, int(ScanStoppedOrFailed));
    }
};

QTEST_GUILESS_MAIN(TestThreading)
#include "tst_threading.moc"
