// The Linux platform against real Samba servers in the lab's namespaces.
// Runs inside the lab's client namespace (lab-ctest.sh run).

#include "LabClient.h"
#include "core/RecordingOutput.h"
#include "linux/LinuxPlatform.h"
#include "linux/dnssd/DnsSdSource.h"
#include "scan/HostIdentity.h"
#include "scan/ScanWorker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using namespace norvane;

namespace {

constexpr const char* LabSubnet = "10.213.77.";
constexpr const char* QuietHost = "10.213.77.99";  // answers ARP, ignores echo
constexpr const char* AbsentHost = "10.213.77.98"; // nothing there
constexpr int LabTtl = 64;                         // Linux hosts answer with 64
constexpr std::uint16_t BeyondMtu = 2000;          // the lab's links carry 1500
constexpr const char* PingGroupRange = "/proc/sys/net/ipv4/ping_group_range";
// One unanswered name query or node status: every attempt waited out.
constexpr qint64 NameServiceBudgetMs = NameQueryAttempts * NameQueryAttemptTimeout.count();
constexpr qint64 StopBoundMs = 250;
// How much two scans of the same lab differ in time by themselves.
constexpr qint64 LabScanJitterMs = 1000;

struct LabComputer {
    const char* name;
    const char* group;
    const char* comment;
    int host;
};

const LabComputer Computers[] = {
    {"LABSRV1", "LABGROUP1", "Lab server one", 1},
    {"LABSRV2", "LABGROUP1", "Lab server two", 2},
    {"LABSRV3", "LABGROUP2", "Lab server three", 3},
    {"LABSRV4", "LABGROUP2", "Lab server four", 4},
};
constexpr int DownHost = 4;

// Hosts only multicast DNS announces: one that speaks NetBIOS, in a group no
// browse master lists, and one without NetBIOS, named after its DNS-SD host
// name. The first browse-list server announces itself too.
const LabComputer AnnouncedComputers[] = {
    {"LABMDNS1", "MDNSGROUP", "", 21},
    {"LABNAS-NO-NETBI", "LOCAL", "", 22},
};
constexpr int AnnouncingBrowseHost = 0; // index into Computers

// Hosts only WS-Discovery announces, SMB2 and later with NetBIOS switched
// off: one in a workgroup the browse list has, one in a workgroup only
// WS-Discovery knows, one domain member. WS-Discovery carries no comment.
const LabComputer ModernComputers[] = {
    {"MODERN1", "LABGROUP1", "", 5},
    {"MODERN2", "WSDGROUP", "", 6},
    {"MODERN3", "LAB.EXAMPLE", "", 7},
};

// What the DNS-SD source says about how it browsed.
QStringList dnsSdDiagnostics;
void keepDnsSdDiagnostics(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtDebugMsg && context.category && QByteArray(context.category) == "norvane.dnssd")
        dnsSdDiagnostics << text;
}

QString labDir() {
    return test::labDirOr(QStringLiteral("/tmp/norvane-lab"));
}

ResultRow computerRow(const LabComputer& computer, bool up) {
    ResultRow row;
    row.caption = QStringLiteral("\\\\") + QLatin1String(computer.name);
    row.image = up ? imgComputer : imgUnresolvedComputer;
    row.subItems << (up ? QLatin1String(LabSubnet) + QString::number(100 + computer.host)
                        : QString::fromLatin1(NoIpAddress))
                 << QLatin1String(computer.group) << QLatin1String(computer.comment)
                 << (up ? QStringLiteral("02-4E-56-00-00-%1")
                              .arg(computer.host, 2, 16, QLatin1Char('0'))
                              .toUpper()
                        : QString::fromLatin1(NoMacAddress));
    return row;
}

ResultRow shareRow(const char* path, const char* group, const char* comment, int image) {
    ResultRow row;
    row.caption = QString::fromLatin1(path);
    row.image = image;
    row.subItems << QLatin1String(group) << QLatin1String(comment);
    return row;
}

// Rows as "caption|image|cells..." in caption order, so that a failed
// comparison shows them.
QStringList sorted(const ResultRows& rows) {
    QStringList texts;
    for (const ResultRow& row : rows)
        texts << (QStringList{row.caption, QString::number(row.image)} + row.subItems).join('|');
    texts.sort();
    return texts;
}

ResultRows withoutHost(const ResultRows& rows, const QString& prefix) {
    ResultRows kept;
    for (const ResultRow& row : rows)
        if (!row.caption.startsWith(prefix))
            kept.push_back(row);
    return kept;
}

} // namespace

class TestLab : public QObject {
    Q_OBJECT

private:
    static LinuxPlatformSettings settings() { return test::labClientSettings(labDir()); }

    test::RecordingOutput scan(TResourceType type) {
        LinuxPlatform platform(settings());
        return scanWith(platform, type);
    }

    test::RecordingOutput scanWith(LinuxPlatform& platform, TResourceType type,
                                   int expectedResult = ScanCompleted) {
        ScanInputs inputs;
        inputs.providerName = LanManProviderName;
        inputs.resourceType = type;
        [&] { QVERIFY(EnumLana(platform, inputs.lanaNum)); }();
        test::RecordingOutput output;
        const int result = ScanNetwork(platform, inputs, output, [] { return false; });
        [&] { QCOMPARE(result, expectedResult); }();
        return output;
    }

    // Starts a scan, asks it to stop while the look-ups of the stale last
    // host are outstanding, and returns how long the stop took.
    qint64 stopWhileLastHostIsLookedUp(TResourceType type) const {
        LinuxPlatform platform(settings());
        ScanInputs inputs;
        inputs.providerName = LanManProviderName;
        inputs.resourceType = type;
        StopRequest stop;
        std::thread stopper;
        std::atomic<qint64> requestedAt{0};
        QElapsedTimer clock;
        clock.start();
        test::RecordingOutput output;
        // The rows before the stale host's: three computers, or the shares
        // of the three servers that answer.
        const std::size_t rowsBefore = type == rtComputer ? 3 : 4;
        output.afterAppend = [&] {
            if (output.rows.size() == rowsBefore && !stopper.joinable())
                stopper = std::thread([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    requestedAt = clock.elapsed();
                    stop.request();
                });
        };
        ScanNetwork(platform, inputs, output, stop);
        const qint64 endedAt = clock.elapsed();
        if (stopper.joinable())
            stopper.join();
        return requestedAt > 0 ? endedAt - requestedAt : StopBoundMs;
    }

    static void labCommand(const QString& command, int host) {
        labCommand(command, QString::number(host));
    }
    static void labCommand(const QString& command, const QString& argument) {
        const int code = QProcess::execute(QStringLiteral(NORVANE_LAB_SCRIPT), {command, argument});
        QCOMPARE(code, 0);
    }

    static void setPingGroupRange(const char* range) {
        QFile file(QString::fromLatin1(PingGroupRange));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(range) > 0);
    }

    static ResultRows expectedComputers(int downHost = 0) {
        ResultRows expected;
        for (const LabComputer& computer : Computers)
            expected.push_back(computerRow(computer, computer.host != downHost));
        for (const LabComputer& computer : AnnouncedComputers)
            expected.push_back(computerRow(computer, true));
        for (const LabComputer& computer : ModernComputers)
            expected.push_back(computerRow(computer, true));
        return expected;
    }

    ResultRows expectedFolders() const {
        return {shareRow("\\\\LABSRV1\\docs", "LABGROUP1", "Team documents", imgSharedFolder),
                shareRow("\\\\LABMDNS1\\media", "MDNSGROUP", "Studio media", imgSharedFolder),
                shareRow("\\\\LABNAS-NO-NETBI\\backup", "LOCAL", "Backups", imgSharedFolder),
                shareRow("\\\\LABSRV1\\public", "LABGROUP1", "", imgSharedFolder),
                shareRow("\\\\LABSRV2\\data", "LABGROUP1", "Data store", imgSharedFolder),
                shareRow("\\\\LABSRV3\\media", "LABGROUP2", "", imgSharedFolder),
                shareRow("\\\\LABSRV4\\archive", "LABGROUP2", "Old files", imgSharedFolder),
                shareRow("\\\\MODERN1\\pub", "LABGROUP1", "Public files", imgSharedFolder),
                shareRow("\\\\MODERN2\\tools", "WSDGROUP", "Tool box", imgSharedFolder)};
    }

private slots:
    void initTestCase() {
        // The lab client's own system bus, where its Avahi daemon runs when
        // a test switches it on.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS",
                ("unix:path=" + labDir() + QStringLiteral("/client/dbus/socket")).toLocal8Bit());
    }

    void providerAndAdapter() {
        LinuxPlatform platform(settings());
        char name[ProviderNameSize] = {};
        DWORD size = sizeof name;
        QCOMPARE(platform.getProviderName(WNNC_NET_LANMAN, name, &size), win::NoError);
        QCOMPARE(QString::fromLatin1(name), QString::fromLatin1(LanManProviderName));
        std::uint8_t lana = 0xFF;
        QVERIFY(EnumLana(platform, lana));
        QCOMPARE(lana, std::uint8_t{0});
        QVERIFY(ResetLana(platform, lana));
    }

    void computerScanListsEveryLabComputer() {
        QElapsedTimer timer;
        timer.start();
        const test::RecordingOutput output = scan(rtComputer);
        QCOMPARE(sorted(output.rows), sorted(expectedComputers()));
        QVERIFY(output.errors.isEmpty());
        // Two browsed workgroups; two found by DNS-SD; by WS-Discovery a
        // workgroup and a domain.
        QCOMPARE(output.progressMax, 5);
        qInfo("computer scan: %lld ms for %zu computers", static_cast<long long>(timer.elapsed()),
              output.rows.size());
    }

    void shareScanListsVisibleShares_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<ResultRows>("expected");
        QTest::newRow("folders") << int(rtSharedFolder) << expectedFolders();
        QTest::newRow("printers") << int(rtSharedPrinter)
                                  << ResultRows{shareRow("\\\\LABSRV1\\laser", "LABGROUP1",
                                                         "Laser printer", imgSharedPrinter),
                                                shareRow("\\\\LABSRV3\\inkjet", "LABGROUP2",
                                                         "Colour inkjet", imgSharedPrinter)};
    }
    void shareScanListsVisibleShares() {
        QFETCH(int, type);
        QFETCH(ResultRows, expected);
        const test::RecordingOutput output = scan(static_cast<TResourceType>(type));
        QCOMPARE(sorted(output.rows), sorted(expected));
        QVERIFY(output.errors.isEmpty());
    }

    // As in the program: one platform for its whole run, each scan on a new
    // worker thread, the next one started after the last has ended.
    void successiveScansOnNewThreads() {
        LinuxPlatform platform(settings());
        QStringList first;
        for (const TResourceType type : {rtComputer, rtSharedFolder, rtComputer}) {
            test::RecordingOutput output;
            std::thread worker([&] { output = scanWith(platform, type); });
            worker.join();
            QVERIFY(output.errors.isEmpty());
            if (type == rtComputer && first.isEmpty())
                first = sorted(output.rows);
            else if (type == rtComputer)
                QCOMPARE(sorted(output.rows), first);
            else
                QCOMPARE(sorted(output.rows), sorted(expectedFolders()));
        }
        QCOMPARE(first.size(), qsizetype(std::size(Computers) + std::size(AnnouncedComputers) +
                                         std::size(ModernComputers)));
    }

    // Each unanswered look-up costs its full budget, and no more.
    void unknownNameAndSilentHostCostOneBudgetEach() {
        LinuxPlatform platform(settings());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!resolveHostName(platform, "NOSUCHHOST"));
        const qint64 nameQuery = timer.restart();
        const auto callName = makeCallName(AbsentHost);
        QCOMPARE(GetMacAddress(platform, 0, callName.data()), QString::fromLatin1(NoMacAddress));
        const qint64 nodeStatus = timer.elapsed();
        qInfo("unanswered name query %lld ms, unanswered node status %lld ms",
              static_cast<long long>(nameQuery), static_cast<long long>(nodeStatus));
        for (const qint64 spent : {nameQuery, nodeStatus}) {
            QVERIFY(spent >= NameServiceBudgetMs - 50);
            QVERIFY(spent < NameServiceBudgetMs + 500);
        }
    }

    void dnsSdSourceFindsAnnouncedHosts_data() {
        QTest::addColumn<bool>("clientAvahi");
        QTest::newRow("own multicast query") << false;
        QTest::newRow("client's Avahi daemon") << true;
    }
    void dnsSdSourceFindsAnnouncedHosts() {
        QFETCH(bool, clientAvahi);
        labCommand(QStringLiteral("client-avahi"), QLatin1String(clientAvahi ? "on" : "off"));
        dnsSdDiagnostics.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("norvane.dnssd.debug=true"));
        const QtMessageHandler previous = qInstallMessageHandler(keepDnsSdDiagnostics);
        DnsSdSource source;
        QElapsedTimer timer;
        timer.start();
        source.start(listAdapters());
        const std::vector<DiscoveredHost> hosts = source.results();
        const qint64 elapsed = timer.elapsed();
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        if (clientAvahi)
            labCommand(QStringLiteral("client-avahi"), QStringLiteral("off"));

        QStringList found;
        for (const DiscoveredHost& host : hosts)
            found << QString::fromStdString(host.name + '|' + host.group + '|' +
                                            NetworkPlatform::inetNtoa(host.address));
        found.sort();
        QStringList expected;
        std::vector<LabComputer> announced(std::begin(AnnouncedComputers),
                                           std::end(AnnouncedComputers));
        announced.push_back(Computers[AnnouncingBrowseHost]);
        for (const LabComputer& computer : announced)
            expected << QStringLiteral("%1|%2|%3%4")
                            .arg(QLatin1String(computer.name), QLatin1String(computer.group),
                                 QLatin1String(LabSubnet))
                            .arg(100 + computer.host);
        expected.sort();
        QCOMPARE(found, expected);
        const QString path =
            clientAvahi ? QStringLiteral("through Avahi") : QStringLiteral("by multicast DNS");
        QVERIFY2(dnsSdDiagnostics.filter(path).size() == 1,
                 qPrintable(dnsSdDiagnostics.join('\n')));
        qInfo("DNS-SD round %s: %lld ms", clientAvahi ? "through Avahi" : "by own query",
              static_cast<long long>(elapsed));
        QVERIFY(elapsed < 1000);
    }

    // A desktop's Avahi daemon browses for the scan; every host once, with
    // its address and MAC, and the shares of the announced hosts.
    void scansThroughClientAvahi() {
        labCommand(QStringLiteral("client-avahi"), QStringLiteral("on"));
        QElapsedTimer timer;
        timer.start();
        const test::RecordingOutput computers = scan(rtComputer);
        qInfo("computer scan through Avahi: %lld ms", static_cast<long long>(timer.elapsed()));
        const test::RecordingOutput folders = scan(rtSharedFolder);
        labCommand(QStringLiteral("client-avahi"), QStringLiteral("off"));
        QCOMPARE(sorted(computers.rows), sorted(expectedComputers()));
        QVERIFY(computers.errors.isEmpty());
        QCOMPARE(sorted(folders.rows), sorted(expectedFolders()));
        QVERIFY(folders.errors.isEmpty());
    }

    // Discovery runs alongside the browse-list fetch; the hosts it adds
    // without NetBIOS cost their unanswered name service waits side by side,
    // one budget in all.
    void discoveryAddsAtMostOneNameServiceBudget() {
        QElapsedTimer timer;
        LinuxPlatform browseOnly(settings(), nullptr, {});
        timer.start();
        const test::RecordingOutput without = scanWith(browseOnly, rtComputer);
        const qint64 browseListTime = timer.restart();
        LinuxPlatform withDiscovery(settings());
        const test::RecordingOutput with = scanWith(withDiscovery, rtComputer);
        const qint64 discoveryTime = timer.elapsed();
        qInfo("computer scan: %lld ms from the browse list alone, %lld ms with discovery",
              static_cast<long long>(browseListTime), static_cast<long long>(discoveryTime));
        QCOMPARE(without.rows.size(), std::size(Computers));
        QCOMPARE(with.rows.size(),
                 std::size(Computers) + std::size(AnnouncedComputers) + std::size(ModernComputers));
        QVERIFY(discoveryTime - browseListTime < NameServiceBudgetMs + LabScanJitterMs);
    }

    void echo_data() {
        QTest::addColumn<QByteArray>("pingGroups");
        QTest::addColumn<int>("kind");
        QTest::newRow("datagram socket")
            << QByteArray("0 2147483647") << int(IcmpSocketKind::Datagram);
        QTest::newRow("raw socket") << QByteArray("1 0") << int(IcmpSocketKind::Raw);
    }
    void echo() {
        QFETCH(QByteArray, pingGroups);
        QFETCH(int, kind);
        setPingGroupRange(pingGroups.constData());
        LinuxPlatform platform(settings());
        const IcmpHandle handle = platform.icmpCreateFile();
        QVERIFY(handle != InvalidIcmpHandle);
        QCOMPARE(int(*platform.icmpSocketKind(handle)), kind);
        const std::uint32_t server = NetworkPlatform::inetAddr("10.213.77.101");

        auto send = [&](std::uint16_t size, bool dontFragment, const char* to, DWORD timeout,
                        std::vector<std::uint8_t>& reply) {
            const std::vector<std::uint8_t> data(size, 0xAA);
            IpOptionInformation options{32, 0, std::uint8_t(dontFragment ? IP_FLAG_DF : 0), 0};
            reply.assign(IcmpEchoReplySize + size, 0);
            return platform.icmpSendEcho(handle, NetworkPlatform::inetAddr(to), data.data(), size,
                                         &options, reply.data(), static_cast<DWORD>(reply.size()),
                                         timeout);
        };
        std::vector<std::uint8_t> reply;
        for (const std::uint16_t size : {std::uint16_t(32), BeyondMtu}) {
            QCOMPARE(send(size, size <= 32, "10.213.77.101", 1000, reply), DWORD{1});
            IcmpEchoReply record;
            std::memcpy(&record, reply.data(), sizeof record);
            QCOMPARE(record.address, server);
            QCOMPARE(record.dataSize, size);
            QCOMPARE(int(record.options.ttl), LabTtl);
            QVERIFY(std::all_of(reply.begin() + IcmpEchoReplySize, reply.end(),
                                [](std::uint8_t b) { return b == 0xAA; }));
        }
        QCOMPARE(send(BeyondMtu, true, "10.213.77.101", 1000, reply), DWORD{0});
        QCOMPARE(platform.getLastError(), IP_PACKET_TOO_BIG);

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(send(32, true, QuietHost, 400, reply), DWORD{0});
        QCOMPARE(platform.getLastError(), IP_REQ_TIMED_OUT);
        QVERIFY(timer.elapsed() >= 400 && timer.elapsed() < 1400);
        QVERIFY(platform.icmpCloseHandle(handle));
        setPingGroupRange("1 0");
    }

    // A server gone while the browse lists still name it: its rows are what
    // they were for a server that does not answer, the scan costs at most
    // one name service budget more, and a stop while its look-ups are
    // outstanding returns within the bound.
    void staleHost_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no neighbour answer") << QStringLiteral("gone");
        QTest::newRow("answers ARP, drops the rest") << QStringLiteral("muted");
    }
    void staleHost() {
        QFETCH(QString, kind);
        QElapsedTimer timer;
        timer.start();
        scan(rtComputer);
        const qint64 computersBefore = timer.restart();
        scan(rtSharedFolder);
        const qint64 foldersBefore = timer.elapsed();

        QCOMPARE(QProcess::execute(QStringLiteral(NORVANE_LAB_SCRIPT),
                                   {QStringLiteral("stale-host"), QString::number(DownHost), kind}),
                 0);
        timer.restart();
        const test::RecordingOutput computers = scan(rtComputer);
        const qint64 computersStale = timer.restart();
        const test::RecordingOutput folders = scan(rtSharedFolder);
        const qint64 foldersStale = timer.elapsed();
        const qint64 computerStop = stopWhileLastHostIsLookedUp(rtComputer);
        const qint64 folderStop = stopWhileLastHostIsLookedUp(rtSharedFolder);
        labCommand(QStringLiteral("start-host"), DownHost);
        qInfo("%s: computers %lld ms (%lld before), folders %lld ms (%lld before), stops %lld "
              "and %lld ms",
              qPrintable(kind), static_cast<long long>(computersStale),
              static_cast<long long>(computersBefore), static_cast<long long>(foldersStale),
              static_cast<long long>(foldersBefore), static_cast<long long>(computerStop),
              static_cast<long long>(folderStop));

        QCOMPARE(sorted(computers.rows), sorted(expectedComputers(DownHost)));
        QCOMPARE(sorted(folders.rows), sorted(withoutHost(expectedFolders(), "\\\\LABSRV4\\")));
        QVERIFY(computersStale <= computersBefore + NameServiceBudgetMs + LabScanJitterMs);
        QVERIFY(foldersStale <= foldersBefore + NameServiceBudgetMs + LabScanJitterMs);
        QVERIFY(computerStop < StopBoundMs);
        QVERIFY(folderStop < StopBoundMs);
    }

    // Last: the lab's fourth server is cut off, as if its power failed.
    void serverDownAfterBrowseList() {
        labCommand(QStringLiteral("stop-host"), DownHost);
        const test::RecordingOutput computers = scan(rtComputer);
        const test::RecordingOutput folders = scan(rtSharedFolder);
        labCommand(QStringLiteral("start-host"), DownHost);

        QCOMPARE(sorted(computers.rows), sorted(expectedComputers(DownHost)));
        QVERIFY(computers.errors.isEmpty());
        QCOMPARE(sorted(folders.rows), sorted(withoutHost(expectedFolders(), "\\\\LABSRV4\\")));
        QVERIFY(folders.errors.isEmpty());
    }

    // After the last: every host that speaks NetBIOS goes, so that no
    // browse master is left; then the modern hosts go too.
    void modernHostsWithoutBrowseMaster() {
        for (const LabComputer& computer : Computers)
            labCommand(QStringLiteral("stop-host"), computer.host);
        for (const LabComputer& computer : AnnouncedComputers)
            labCommand(QStringLiteral("stop-host"), computer.host);
        ResultRows expected;
        for (const LabComputer& computer : ModernComputers)
            expected.push_back(computerRow(computer, true));
        const test::RecordingOutput computers = scan(rtComputer);
        QCOMPARE(sorted(computers.rows), sorted(expected));
        QVERIFY(computers.errors.isEmpty());
    }

    void nothingAtAll() {
        for (const LabComputer& computer : ModernComputers)
            labCommand(QStringLiteral("stop-host"), computer.host);
        LinuxPlatform platform(settings());
        const test::RecordingOutput output = scanWith(platform, rtComputer, ScanStoppedOrFailed);
        QVERIFY(output.rows.empty());
        QCOMPARE(output.errors, QStringList{QStringLiteral("Error: 6118.")});
    }
};

QTEST_GUILESS_MAIN(TestLab)
#include "tst_lab.moc"
