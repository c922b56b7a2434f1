// The slots that bound the listings run side by side: up to the floor a
// listing starts whatever the processor's load, above it only once a core
// is idle, never above the ceiling; slots go in the order asked, the first
// in line looks at the cores for all, and an abandonment ends every wait at
// once. And the runnable
// task count read from the kernel's load line, which comes from outside the
// program and is read field by field.

#include "linux/ListingSlots.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace norvane;
using namespace std::chrono_literals;

namespace {

// How long an abandoned or granted wait may take to return.
constexpr auto WakeBound = 250ms;
constexpr auto Recheck = 5ms;

// A processor whose idleness the test sets, counting the looks at it.
struct Cores {
    std::atomic<bool> idle{false};
    std::atomic<int> looks{0};
    std::function<bool()> probe() {
        return [this] {
            ++looks;
            return idle.load();
        };
    }
};

const auto Never = [] { return false; };

} // namespace

class TestListingSlots : public QObject {
    Q_OBJECT
private slots:
    void runnableTasks_data();
    void runnableTasks();
    void floorTakenWithoutLookingAtTheCores();
    void aboveTheFloorOnlyOnceACoreIsIdle();
    void ceilingHoldsWhileACoreIsIdle();
    void slotsGoInTheOrderAsked();
    void oneWaiterLooksForAll();
    void abandonmentEndsEveryWait();
};

void TestListingSlots::runnableTasks_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<long>("runnable"); // -1: none
    QTest::newRow("usual") << QByteArray("0.52 0.58 0.59 3/412 12345\n") << 3L;
    QTest::newRow("idle machine") << QByteArray("0.00 0.01 0.05 1/80 7") << 1L;
    QTest::newRow("empty") << QByteArray() << -1L;
    QTest::newRow("too few fields") << QByteArray("0.52 0.58 0.59") << -1L;
    QTest::newRow("no slash") << QByteArray("0.52 0.58 0.59 3 412") << -1L;
    QTest::newRow("not a number") << QByteArray("0.52 0.58 0.59 x/412 1") << -1L;
    QTest::newRow("negative") << QByteArray("0.52 0.58 0.59 -3/412 1") << -1L;
    QTest::newRow("out of range") << QByteArray("0.5 0.5 0.5 99999999999999999999999/4 1") << -1L;
    QTest::newRow("ends at the count") << QByteArray("0.52 0.58 0.59 3") << -1L;
}

void TestListingSlots::runnableTasks() {
    QFETCH(QByteArray, line);
    QFETCH(long, runnable);
    const std::optional<long> read =
        norvane::runnableTasks(std::string_view(line.constData(), std::size_t(line.size())));
    QCOMPARE(read.value_or(-1), runnable);
}

// A machine that is never idle still lists `floor` servers side by side.
void TestListingSlots::floorTakenWithoutLookingAtTheCores() {
    Cores cores;
    ListingSlots gate(2, 8, cores.probe(), Recheck);
    QVERIFY(gate.acquire(Never));
    QVERIFY(gate.acquire(Never));
    QCOMPARE(cores.looks.load(), 0);
    gate.release();
    QVERIFY(gate.acquire(Never));
    QCOMPARE(cores.looks.load(), 0);
}

// With the floor taken, a listing waits while every core is busy and
// starts within a recheck of a core becoming idle, with no listing ending.
void TestListingSlots::aboveTheFloorOnlyOnceACoreIsIdle() {
    Cores cores;
    ListingSlots gate(1, 8, cores.probe(), Recheck);
    QVERIFY(gate.acquire(Never));
    std::atomic<bool> granted{false};
    std::thread waiter([&] { granted = gate.acquire(Never); });
    std::this_thread::sleep_for(50ms);
    QVERIFY(!granted);
    QVERIFY(cores.looks.load() > 1);
    const auto idleAt = std::chrono::steady_clock::now();
    cores.idle = true;
    waiter.join();
    QVERIFY(granted);
    QVERIFY(std::chrono::steady_clock::now() - idleAt < WakeBound);
}

// An idle machine never gets more than the ceiling; a listing that ends
// lets the next one in.
void TestListingSlots::ceilingHoldsWhileACoreIsIdle() {
    Cores cores;
    cores.idle = true;
    ListingSlots gate(1, 2, cores.probe(), Recheck);
    QVERIFY(gate.acquire(Never));
    QVERIFY(gate.acquire(Never));
    std::atomic<bool> granted{false};
    std::thread waiter([&] { granted = gate.acquire(Never); });
    std::this_thread::sleep_for(50ms);
    QVERIFY(!granted);
    gate.release();
    QTRY_VERIFY_WITH_TIMEOUT(granted, int(WakeBound.count()));
    waiter.join();
}

// Listings that wait at the ceiling take the slots freed in the order they
// asked for them: the walk takes the listings in that order.
void TestListingSlots::slotsGoInTheOrderAsked() {
    constexpr int Waiters = 4;
    Cores cores;
    ListingSlots gate(1, 1, cores.probe(), Recheck);
    QVERIFY(gate.acquire(Never));
    std::mutex orderMutex;
    std::vector<int> order;
    std::vector<std::thread> waiters;
    for (int i = 0; i < Waiters; ++i) {
        waiters.emplace_back([&, i] {
            if (!gate.acquire(Never))
                return;
            const std::lock_guard lock(orderMutex);
            order.push_back(i);
        });
        // In line before the next one comes.
        std::this_thread::sleep_for(20ms);
    }
    for (int i = 0; i < Waiters; ++i) {
        gate.release();
        QTRY_COMPARE_WITH_TIMEOUT(
            [&] {
                const std::lock_guard lock(orderMutex);
                return order.size();
            }(),
            std::size_t(i + 1), int(WakeBound.count()));
    }
    for (std::thread& waiter : waiters)
        waiter.join();
    QCOMPARE(order, (std::vector<int>{0, 1, 2, 3}));
}

// Many listings waiting on a busy machine: the cores are looked at about
// once a recheck, not once a recheck by each of them.
void TestListingSlots::oneWaiterLooksForAll() {
    constexpr int Waiters = 8;
    constexpr auto Busy = 200ms;
    Cores cores;
    ListingSlots gate(0, 16, cores.probe(), 10ms);
    std::vector<std::thread> waiters;
    std::atomic<int> granted{0};
    for (int i = 0; i < Waiters; ++i)
        waiters.emplace_back([&] { granted += gate.acquire(Never); });
    std::this_thread::sleep_for(Busy);
    const int looks = cores.looks.load();
    cores.idle = true;
    for (std::thread& waiter : waiters)
        waiter.join();
    QCOMPARE(granted.load(), Waiters);
    // Each waiter looks once as it comes; one looks 20 times more.
    QVERIFY2(looks < Waiters + 2 * int(Busy / 10ms), qPrintable(QString::number(looks)));
}

// Stop with listings waiting at the floor and above it: each wait ends at
// once without a slot, and the slots taken before are still the only ones.
void TestListingSlots::abandonmentEndsEveryWait() {
    Cores cores;
    ListingSlots gate(1, 1, cores.probe(), 1s);
    QVERIFY(gate.acquire(Never));
    std::atomic<bool> abandoned{false};
    std::atomic<int> returned{0}, granted{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            granted += gate.acquire([&] { return abandoned.load(); });
            ++returned;
        });
    std::this_thread::sleep_for(50ms);
    const auto stopAt = std::chrono::steady_clock::now();
    abandoned = true;
    gate.wakeAll();
    for (std::thread& waiter : waiters)
        waiter.join();
    QVERIFY(std::chrono::steady_clock::now() - stopAt < WakeBound);
    QCOMPARE(returned.load(), 4);
    QCOMPARE(granted.load(), 0);
    gate.release();
    QVERIFY(gate.acquire(Never));
}

QTEST_GUILESS_MAIN(TestListingSlots)
#include "tst_listingslots.moc"
