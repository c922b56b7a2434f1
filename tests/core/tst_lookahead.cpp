// The walk's look-ahead: the same scripted network walked with every
// look-up on the walk's thread and with look-ups running ahead, under
// random per-host delays, gives the same stream of list changes; a stop at
// any moment, with look-ups outstanding, returns within its bound, loses
// and repeats no row, completes the row it has begun and leaves the
// platform usable.

#include "RecordingOutput.h"
#include "fake/FakePlatform.h"
#include "scan/CredentialSource.h"
#include "scan/LookupPool.h"
#include "scan/ScanWorker.h"
#include "scan/StopRequest.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace norvane;
using namespace std::chrono_literals;
using norvane::test::FakePlatform;
using norvane::test::RecordingOutput;

namespace {

// How long a stop may take to end a walk, whatever the look-ups wait for.
constexpr auto StopBound = 250ms;
// A host that has gone: its look-ups wait far longer than any test runs.
constexpr auto DeadHostDelay = 60s;
// A gone host whose look-ups end within the test.
constexpr auto GoneWait = 1s;

// Three workgroups of computers of every kind: answering, resolving without
// an adapter, not resolving; with disk and print shares, none, a share list
// that cannot be opened or read; and a workgroup that cannot be read.
void mixedNetwork(FakePlatform& net, int computersPerGroup) {
    for (int g = 0; g < 3; ++g) {
        const std::string group = "GROUP" + std::to_string(g);
        net.addDomain(group);
        for (int c = 0; c < computersPerGroup; ++c) {
            const std::string name = "PC" + std::to_string(g) + "X" + std::to_string(c);
            const std::string remote = "\\\\" + name;
            auto& computer = net.addComputer(
                group, remote,
                c % 4 == 0 ? std::nullopt : std::optional<std::string>("Desk " + name));
            switch (c % 5) {
            case 0:
                break; // does not resolve
            case 1:
                net.addHost(name, "10.1." + std::to_string(g) + "." + std::to_string(c + 1), {});
                net.adapters.erase(name);
                break;
            default:
                net.addHost(name, "10.1." + std::to_string(g) + "." + std::to_string(c + 1),
                            {0x02, 0x00, std::uint8_t(g), std::uint8_t(c), 0x00, 0x01});
            }
            if (c % 3 == 0)
                continue; // no share
            if (c % 7 == 0)
                computer.openError = win::AccessDenied;
            if (c % 11 == 0)
                computer.enumError = win::BadNetPath;
            net.addShare(remote, remote + "\\docs", RESOURCETYPE_DISK, "Documents");
            net.addShare(remote, remote + "\\laser", RESOURCETYPE_PRINT);
            if (c % 2 == 0)
                net.addShare(remote, remote + "\\public", RESOURCETYPE_DISK);
        }
    }
    net.addDomain("LOCKED").openError = win::AccessDenied;
    net.addDomain("EMPTY");
}

bool isGroup(const FakePlatform& net, const std::string& name) {
    return std::any_of(net.provider.records.begin(), net.provider.records.end(),
                       [&](const NetResource& group) { return group.remoteName == name; });
}

// Random delays in milliseconds by host or container name, fixed per seed.
std::map<std::string, std::chrono::milliseconds> randomDelays(const FakePlatform& net, quint32 seed,
                                                              int maxMs) {
    QRandomGenerator random(seed);
    std::map<std::string, std::chrono::milliseconds> delays;
    for (const auto& [name, container] : net.containers) {
        delays[name] = std::chrono::milliseconds(random.bounded(maxMs + 1));
        if (name.rfind("\\\\", 0) == 0)
            delays[name.substr(2)] = std::chrono::milliseconds(random.bounded(maxMs + 1));
    }
    return delays;
}

void useDelays(FakePlatform& net, std::map<std::string, std::chrono::milliseconds> delays) {
    net.extraDelay = [delays = std::move(delays)](const std::string& subject) {
        const auto found = delays.find(subject);
        return found == delays.end() ? 0ms : found->second;
    };
}

// Computers that take only one user: anna, whose password the user gives
// at the first prompt, or bob, whom nobody knows the password of.
void lockSome(FakePlatform& net) {
    const Credentials anna{"anna", "GROUP0", SecretText("right")};
    int i = 0;
    for (auto& [name, container] : net.containers) {
        if (!name.starts_with("\\\\"))
            continue;
        if (++i % 4 == 0)
            container.onlyUser = anna;
        else if (i % 9 == 0)
            container.onlyUser = Credentials{"bob", "GROUP1", SecretText("unknown")};
    }
}

// Remembered credentials for one group and the user's one answer.
class ScriptedLogOns : public CredentialSource {
public:
    QStringList asked;
    std::optional<Credentials> remembered(const QString& group) override {
        if (group == QLatin1String("GROUP2"))
            return Credentials{"bob", "GROUP1", SecretText("stale")};
        return std::nullopt;
    }
    std::optional<CredentialAnswer> ask(const CredentialRequest& request) override {
        asked << request.computer;
        return CredentialAnswer{{"anna", "GROUP0", SecretText("right")}, false};
    }
    void remember(const QString&, const Credentials&) override {}
};

ScanInputs inputsFor(int type, std::size_t limit) {
    ScanInputs inputs{"Microsoft Windows Network", type, 0};
    inputs.lookAheadLimit = limit;
    return inputs;
}

RecordingOutput walkWith(FakePlatform& net, int type, std::size_t limit,
                         CredentialSource* logOns = nullptr) {
    RecordingOutput output;
    StopRequest stop;
    const int code = ScanNetwork(net, inputsFor(type, limit), output, stop, logOns);
    output.log << QStringLiteral("result:") + QString::number(code);
    return output;
}

// The row a stop completes while its look-ups are outstanding.
ResultRow abandonedRow(const ResultRow& row) {
    return ResultRow{row.caption,
                     imgUnresolvedComputer,
                     {QString::fromLatin1(NoIpAddress), row.subItems.value(1),
                      row.subItems.value(2), QString::fromLatin1(NoMacAddress)}};
}

} // namespace

class TestLookAhead : public QObject {
    Q_OBJECT
private slots:
    void sameChangesAsSequential_data();
    void sameChangesAsSequential();
    void firstRowWaitsOnlyForItsOwnLookUps();
    void goneComputersCostOneWaitTogether_data();
    void goneComputersCostOneWaitTogether();
    void stopAtRandomMoments_data();
    void stopAtRandomMoments();
    void stopRequestedBeforeTheWalkEndsItAtItsFirstStopPoint();
    void poolKeepsToItsLimit();
    void groupIsListedAheadWhileTheNextIsRead();
};

void TestLookAhead::sameChangesAsSequential_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("locked");
    for (quint32 seed : {1u, 2u, 3u}) {
        const QByteArray round = QByteArray::number(seed);
        QTest::newRow("computers " + round) << int(rtComputer) << seed << false;
        QTest::newRow("folders " + round) << int(rtSharedFolder) << seed << false;
        QTest::newRow("printers " + round) << int(rtSharedPrinter) << seed << false;
        QTest::newRow("folders with log-ons " + round) << int(rtSharedFolder) << seed << true;
    }
}

// Share scans list ahead side by side; with locked computers, the prompt,
// the log-ons tried and the failed ones are the sequential walk's too.
void TestLookAhead::sameChangesAsSequential() {
    QFETCH(int, type);
    QFETCH(quint32, seed);
    QFETCH(bool, locked);
    const auto failedLogOns = [](const FakePlatform& net) {
        int failed = 0;
        for (const auto& [name, container] : net.containers)
            failed += net.failedLogOns(name);
        return failed;
    };
    FakePlatform sequential;
    mixedNetwork(sequential, 30);
    if (locked)
        lockSome(sequential);
    sequential.recordCalls = false;
    ScriptedLogOns sequentialLogOns;
    const RecordingOutput expected = walkWith(sequential, type, 0, &sequentialLogOns);

    for (const std::size_t limit : {std::size_t(1), std::size_t(3), LookAheadLimit}) {
        FakePlatform ahead;
        mixedNetwork(ahead, 30);
        if (locked)
            lockSome(ahead);
        ahead.recordCalls = false;
        useDelays(ahead, randomDelays(ahead, seed, 8));
        ScriptedLogOns logOns;
        const RecordingOutput got = walkWith(ahead, type, limit, &logOns);
        QCOMPARE(got.log, expected.log);
        QCOMPARE(logOns.asked, sequentialLogOns.asked);
        QCOMPARE(failedLogOns(ahead), failedLogOns(sequential));
        QCOMPARE(ahead.openHandles(), std::size_t(0));
    }
    QVERIFY(expected.rows.size() > 20);
    if (locked)
        QCOMPARE(sequentialLogOns.asked.size(), 1);
}

void TestLookAhead::firstRowWaitsOnlyForItsOwnLookUps() {
    // The second computer has gone; the first row is complete long before
    // the second one's look-ups end.
    FakePlatform net;
    net.addDomain("W");
    net.addComputer("W", "\\\\FIRST");
    net.addComputer("W", "\\\\GONE");
    net.addHost("FIRST", "10.0.0.1", {1, 2, 3, 4, 5, 6});
    net.addHost("GONE", "10.0.0.2", {1, 2, 3, 4, 5, 7});
    net.extraDelay = [](const std::string& subject) { return subject == "GONE" ? 2s : 0ms; };
    RecordingOutput output;
    StopRequest stop;
    std::chrono::steady_clock::duration firstRowAt{};
    const auto start = std::chrono::steady_clock::now();
    output.afterAppend = [&] {
        if (output.rows.size() == 2) {
            firstRowAt = std::chrono::steady_clock::now() - start;
            stop.request();
        }
    };
    ScanNetwork(net, inputsFor(rtComputer, LookAheadLimit), output, stop);
    QVERIFY(firstRowAt < 1s);
    QCOMPARE(output.rows.front().subItems.value(3), QStringLiteral("01-02-03-04-05-06"));
}

void TestLookAhead::goneComputersCostOneWaitTogether_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("computers") << int(rtComputer);
    QTest::newRow("folders") << int(rtSharedFolder);
    QTest::newRow("printers") << int(rtSharedPrinter);
}

void TestLookAhead::goneComputersCostOneWaitTogether() {
    // Ten gone computers between two answering ones: their look-ups, or the
    // checks before their share listings, wait side by side.
    QFETCH(int, type);
    FakePlatform net;
    net.recordCalls = false;
    net.addDomain("W");
    std::set<std::string> gone;
    for (int c = 0; c < 12; ++c) {
        const std::string name = "PC" + std::to_string(c);
        const std::string remote = "\\\\" + name;
        net.addComputer("W", remote);
        net.addHost(name, "10.0.0." + std::to_string(c + 1), {2, 0, 0, 0, 0, std::uint8_t(c)});
        net.addShare(remote, remote + "\\docs", RESOURCETYPE_DISK);
        net.addShare(remote, remote + "\\laser", RESOURCETYPE_PRINT);
        if (c != 0 && c != 11)
            gone.insert({name, remote});
    }
    net.extraDelay = [gone](const std::string& subject) {
        return gone.count(subject) != 0 ? std::chrono::milliseconds(GoneWait) : 0ms;
    };
    const auto start = std::chrono::steady_clock::now();
    const RecordingOutput output = walkWith(net, type, LookAheadLimit);
    QVERIFY(std::chrono::steady_clock::now() - start < 3 * GoneWait);
    QCOMPARE(output.rows.size(), std::size_t(12));
}

void TestLookAhead::stopAtRandomMoments_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("computers") << int(rtComputer);
    QTest::newRow("folders") << int(rtSharedFolder);
}

void TestLookAhead::stopAtRandomMoments() {
    QFETCH(int, type);
    FakePlatform reference;
    mixedNetwork(reference, 20);
    reference.recordCalls = false;
    const ResultRows complete = walkWith(reference, type, 0).rows;

    QRandomGenerator random(0x5eed);
    for (int round = 0; round < 25; ++round) {
        FakePlatform net;
        mixedNetwork(net, 20);
        net.recordCalls = false;
        auto delays = randomDelays(net, random.generate(), 20);
        // Some hosts have gone: their look-ups never end by themselves.
        // Workgroups stay: reading one is bounded by its own time-out.
        for (auto& [name, wait] : delays) {
            if (!isGroup(net, name) && random.bounded(6) == 0)
                wait = DeadHostDelay;
        }
        useDelays(net, delays);
        RecordingOutput output;
        StopRequest stop;
        std::atomic<std::int64_t> requestedAt{0};
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(random.bounded(120)));
            requestedAt = std::chrono::steady_clock::now().time_since_epoch().count();
            stop.request();
        });
        const int code = ScanNetwork(net, inputsFor(type, LookAheadLimit), output, stop);
        const auto endedAt = std::chrono::steady_clock::now();
        stopper.join();
        const std::chrono::steady_clock::time_point requested{
            std::chrono::steady_clock::duration(requestedAt.load())};
        QVERIFY2(endedAt - requested < StopBound, qPrintable(QString::number(round)));
        QCOMPARE(code, ScanStoppedOrFailed);
        QCOMPARE(net.openHandles(), std::size_t(0));

        // The rows are the start of the complete list; only the last one
        // may have been completed with placeholders by the stop.
        QVERIFY(output.rows.size() <= complete.size());
        for (std::size_t i = 0; i < output.rows.size(); ++i) {
            const bool last = i + 1 == output.rows.size();
            if (last && type == rtComputer && output.rows[i] != complete[i])
                QCOMPARE(output.rows[i], abandonedRow(complete[i]));
            else
                QCOMPARE(output.rows[i], complete[i]);
        }

        // The platform answers again: the next walk lists everything.
        net.extraDelay = nullptr;
        QCOMPARE(walkWith(net, type, LookAheadLimit).rows, complete);
    }
}

void TestLookAhead::stopRequestedBeforeTheWalkEndsItAtItsFirstStopPoint() {
    FakePlatform net;
    mixedNetwork(net, 5);
    RecordingOutput output;
    StopRequest stop;
    stop.request();
    QCOMPARE(ScanNetwork(net, inputsFor(rtComputer, LookAheadLimit), output, stop),
             ScanStoppedOrFailed);
    QVERIFY(output.rows.empty());
    QCOMPARE(net.openHandles(), std::size_t(0));
}

void TestLookAhead::poolKeepsToItsLimit() {
    constexpr std::size_t Limit = 4;
    std::atomic<int> finished{0};
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    {
        LookupPool pool(Limit);
        for (int i = 0; i < 40; ++i) {
            pool.post([&] {
                const int now = ++running;
                int seen = mostRunning.load();
                while (now > seen && !mostRunning.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(2ms);
                --running;
                ++finished;
            });
        }
        QTRY_COMPARE(finished.load(), 40);
        QVERIFY(pool.threadCount() <= Limit);
    }
    QVERIFY(mostRunning.load() <= int(Limit));
    QVERIFY(mostRunning.load() > 1);
}

// A share scan lists a group's computers ahead as soon as it has read the
// group, not once it has read every group: the second group's read waits
// until the first group's computers are listed ahead, and gives up after
// GroupReadPatience when that never happens.
void TestLookAhead::groupIsListedAheadWhileTheNextIsRead() {
    constexpr auto GroupReadPatience = 5s;
    FakePlatform net;
    for (const std::string group : {"FIRST", "SECOND"}) {
        net.addDomain(group);
        for (const char* computer : {"A", "B"}) {
            const std::string remote = "\\\\" + group + computer;
            net.addComputer(group, remote);
            net.addShare(remote, remote + "\\docs", RESOURCETYPE_DISK);
        }
    }
    std::mutex mutex;
    std::condition_variable listedAhead;
    std::set<std::string> aheadOfSecond;
    bool secondRead = false;
    net.onCall = [&](const std::string& call) {
        std::unique_lock lock(mutex);
        if (call.starts_with("listAhead(") && !secondRead) {
            aheadOfSecond.insert(call);
            listedAhead.notify_all();
        } else if (call == "openEnum(2,1,2,SECOND)") {
            listedAhead.wait_for(lock, GroupReadPatience,
                                 [&] { return aheadOfSecond.size() == 2; });
            secondRead = true;
        }
    };
    const RecordingOutput got = walkWith(net, rtSharedFolder, LookAheadLimit);
    const std::set<std::string> firstGroup{"listAhead(\\\\FIRSTA,<none>)",
                                           "listAhead(\\\\FIRSTB,<none>)"};
    QCOMPARE(aheadOfSecond, firstGroup);
    net.onCall = nullptr;
    QCOMPARE(got.log, walkWith(net, rtSharedFolder, 0).log);
}

QTEST_GUILESS_MAIN(TestLookAhead)
#include "tst_lookahead.moc"
