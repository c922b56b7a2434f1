// The worker thread and its hand-over to the UI thread, without a window:
// changes arrive in the walk's order with the walk's end last, exactly as
// made however a row's changes are split between takes, an error box holds
// the worker until it is answered, and an interruption ends the walk.

#include "fake/FakePlatform.h"
#include "threading/ScanHandOver.h"
#include "threading/TChildThread.h"

#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

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

// One call of the walk's on a hand-over, and the change it stands for.
struct Step {
    std::function<void(ScanHandOver&)> make;
    ScanChange change;
};

// A computer row, a progress change, then a share row whose image comes
// before its caption, whose caption is set twice and which has more
// sub-items than one queued item holds, and the walk's end.
std::vector<Step> walkSteps(const std::shared_ptr<const ComputerRecord>& computer,
                            const std::shared_ptr<const ShareRecord>& share) {
    std::vector<Step> steps;
    const auto row = [&] { steps.push_back({[](ScanHandOver& h) { h.appendRow(); }, {}}); };
    const auto caption = [&](const QString& text) {
        steps.push_back(
            {[text](ScanHandOver& h) { h.setCaption(text); }, {ScanChange::SetCaption, 0, text}});
    };
    const auto image = [&](int value) {
        steps.push_back(
            {[value](ScanHandOver& h) { h.setImage(value); }, {ScanChange::SetImage, value}});
    };
    const auto subItem = [&](const QString& text) {
        steps.push_back(
            {[text](ScanHandOver& h) { h.addSubItem(text); }, {ScanChange::AddSubItem, 0, text}});
    };
    row();
    caption("\\\\ONE");
    image(imgComputer);
    for (const char* text : {"10.0.0.1", "WG", "first", "00-01-02-03-04-05"})
        subItem(text);
    ScanChange computerRecord(ScanChange::SetRecord);
    computerRecord.computer = computer;
    steps.push_back({[computer](ScanHandOver& h) { h.setComputerRecord(computer); },
                     std::move(computerRecord)});
    steps.push_back(
        {[](ScanHandOver& h) { h.setProgressPosition(1); }, {ScanChange::SetProgressPosition, 1}});
    row();
    image(imgSharedFolder);
    caption("\\\\TWO\\old");
    caption("\\\\TWO\\docs");
    for (int i = 0; i < 20; ++i)
        subItem(QString::number(i));
    ScanChange shareRecord(ScanChange::SetRecord);
    shareRecord.share = share;
    steps.push_back(
        {[share](ScanHandOver& h) { h.setShareRecord(share); }, std::move(shareRecord)});
    steps.push_back(
        {[](ScanHandOver& h) { h.finish(ScanCompleted); }, {ScanChange::Finished, ScanCompleted}});
    return steps;
}

} // namespace

class TestThreading : public QObject {
    Q_OBJECT
private slots:
    // The hand-over gives back exactly the changes made, in order, however
    // the UI thread's takes split a row's changes.
    void changesComeBackAsMade_data() {
        QTest::addColumn<QList<int>>("takesAfter"); // step indices
        QTest::newRow("one take at the end") << QList<int>{};
        QTest::newRow("mid-row takes") << QList<int>{1, 2, 12, 20};
        QList<int> every;
        for (int i = 0; i < 40; ++i)
            every << i;
        QTest::newRow("a take after every change") << every;
    }
    void changesComeBackAsMade() {
        QFETCH(QList<int>, takesAfter);
        const auto computer = std::make_shared<const ComputerRecord>();
        const auto share = std::make_shared<const ShareRecord>();
        const std::vector<Step> steps = walkSteps(computer, share);
        ScanHandOver handOver([] {});
        ScanChanges taken;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            steps[i].make(handOver);
            if (takesAfter.contains(static_cast<int>(i)))
                handOver.takeAll(taken);
        }
        handOver.takeAll(taken);
        QCOMPARE(taken.size(), steps.size());
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const ScanChange& made = steps[i].change;
            QCOMPARE(taken[i].kind, made.kind);
            QCOMPARE(taken[i].number, made.number);
            QCOMPARE(taken[i].text, made.text);
            QCOMPARE(taken[i].computer, made.computer);
            QCOMPARE(taken[i].share, made.share);
        }
    }

    // A UI thread that comes back by itself is woken only for what the
    // worker waits for or the walk's end; one that found nothing, or did
    // not say it comes back, is woken by the next row.
    void wakeUpsWhileTheTakerComesBack() {
        int wakeUps = 0;
        ScanHandOver handOver([&] { ++wakeUps; });
        ScanItems items;
        handOver.appendRow();
        QCOMPARE(wakeUps, 1);
        QVERIFY(handOver.takeAllAndReturn(items));
        handOver.appendRow();
        handOver.setCaption("\\\\ONE");
        handOver.setProgressPosition(1);
        QCOMPARE(wakeUps, 1);
        handOver.finish(ScanCompleted);
        QCOMPARE(wakeUps, 2);

        QVERIFY(handOver.takeAllAndReturn(items));
        QVERIFY(!handOver.takeAllAndReturn(items));
        handOver.appendRow();
        QCOMPARE(wakeUps, 3);
        QVERIFY(handOver.takeAllAndReturn(items));
        handOver.takeAll(items);
        handOver.appendRow();
        QCOMPARE(wakeUps, 4);
    }

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
