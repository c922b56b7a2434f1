// The walk over a scripted network: rows, cells, images, progress, error
// texts, result codes, stop points and the platform calls it makes.

#include "RecordingOutput.h"
#include "fake/FakePlatform.h"
#include "scan/HostIdentity.h"
#include "scan/ScanWorker.h"

#include <QTest>

#include <atomic>
#include <functional>

using namespace norvane;
using norvane::test::FakePlatform;
using norvane::test::RecordingOutput;

using NetworkSetup = std::function<void(FakePlatform&)>;
Q_DECLARE_METATYPE(NetworkSetup)

namespace {

constexpr std::array<std::uint8_t, 6> MacAlpha{0x00, 0x0A, 0x5E, 0x1F, 0xC2, 0x9B};
constexpr std::array<std::uint8_t, 6> MacGamma{0x02, 0x4E, 0x56, 0x00, 0x00, 0x03};

// Two workgroups: ALPHA resolves and answers, BETA does not resolve, GAMMA
// resolves but its adapter does not answer, DELTA has no comment.
void office(FakePlatform& net) {
    net.addDomain("WORKGROUP");
    net.addComputer("WORKGROUP", "\\\\ALPHA", "File server");
    net.addComputer("WORKGROUP", "\\\\BETA", "Laptop");
    net.addDomain("SALES");
    net.addComputer("SALES", "\\\\GAMMA", "Printer host");
    net.addComputer("SALES", "\\\\DELTA");
    net.addHost("ALPHA", "10.0.0.5", MacAlpha);
    net.addHost("GAMMA", "10.0.1.7", MacGamma);
    net.adapters.erase("GAMMA");
    net.addHost("DELTA", "10.0.1.12", {0x10, 0x20, 0x30, 0x40, 0x50, 0x60});
    net.addShare("\\\\ALPHA", "\\\\ALPHA\\docs", RESOURCETYPE_DISK, "Documents");
    net.addShare("\\\\ALPHA", "\\\\ALPHA\\public", RESOURCETYPE_DISK);
    net.addShare("\\\\ALPHA", "\\\\ALPHA\\laser", RESOURCETYPE_PRINT, "Laser printer");
    net.addShare("\\\\GAMMA", "\\\\GAMMA\\ink", RESOURCETYPE_PRINT, "Ink jet");
    net.addShare("\\\\GAMMA", "\\\\GAMMA\\scans", RESOURCETYPE_DISK, "Scanned files");
}

// Names and comments that would break a line, move a column or reverse
// the text after them.
void hostile(FakePlatform& net) {
    net.addDomain("WORK\nGROUP");
    net.addComputer("WORK\nGROUP", "\\\\TAB\tPC", "\u202Egnp.exe");
    net.addHost("TAB\tPC", "10.0.0.9", {1, 2, 3, 4, 5, 6});
    net.addShare("\\\\TAB\tPC", "\\\\TAB\tPC\\doc\x1b[2J", RESOURCETYPE_DISK, "a\u2028b\u0085");
}

QString rowText(const ResultRow& row) {
    return (QStringList{row.caption, QString::number(row.image)} + row.subItems)
        .join(QLatin1Char('|'));
}

QStringList rowTexts(const ResultRows& rows) {
    QStringList texts;
    for (const ResultRow& row : rows)
        texts << rowText(row);
    return texts;
}

struct WalkResult {
    int code;
    RecordingOutput output;
};

WalkResult walk(
    FakePlatform& net, int type, const StopFlag& stop = [] { return false; }) {
    WalkResult result{0, {}};
    ScanInputs inputs{QByteArray::fromStdString(net.providerName), type, 0};
    result.code = ScanNetwork(net, inputs, result.output, stop);
    return result;
}

int countCalls(const std::vector<std::string>& calls, const std::string& prefix) {
    return static_cast<int>(std::count_if(
        calls.begin(), calls.end(), [&](const auto& call) { return call.rfind(prefix, 0) == 0; }));
}

} // namespace

class TestScanWorker : public QObject {
    Q_OBJECT

private slots:
    void walkCases_data();
    void walkCases();
    void computerRowChangesArriveInOrder();
    void unresolvedComputerSendsNoAdapterQuery();
    void progressFollowsDomains();
    void containerLargerThanOneBufferIsListedWhole();
    void stopBeforeFirstDomain();
    void stopDuringMacQueryCompletesThatRowOnly();
    void stopBetweenShares();
    void stopBetweenComputersOfAShareScan();
    void everyOpenedHandleIsClosed();
};

void TestScanWorker::walkCases_data() {
    QTest::addColumn<NetworkSetup>("setup");
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<int>("code");

    const QStringList officeComputers{
        "\\\\ALPHA|0|10.0.0.5|WORKGROUP|File server|00-0A-5E-1F-C2-9B",
        "\\\\BETA|3|?.?.?.?|WORKGROUP|Laptop|?-?-?-?-?-?",
        "\\\\GAMMA|0|10.0.1.7|SALES|Printer host|?-?-?-?-?-?",
        "\\\\DELTA|0|10.0.1.12|SALES||10-20-30-40-50-60"};

    QTest::newRow("computers") << NetworkSetup(office) << int(rtComputer) << officeComputers
                               << QStringList() << 0;
    QTest::newRow("shared folders")
        << NetworkSetup(office) << int(rtSharedFolder)
        << QStringList{"\\\\ALPHA\\docs|1|WORKGROUP|Documents", "\\\\ALPHA\\public|1|WORKGROUP|",
                       "\\\\GAMMA\\scans|1|SALES|Scanned files"}
        << QStringList() << 0;
    QTest::newRow("shared printers, computers without printers add nothing")
        << NetworkSetup(office) << int(rtSharedPrinter)
        << QStringList{"\\\\ALPHA\\laser|2|WORKGROUP|Laser printer",
                       "\\\\GAMMA\\ink|2|SALES|Ink jet"}
        << QStringList() << 0;
    QTest::newRow("type outside the three makes no rows but completes")
        << NetworkSetup(office) << 7 << QStringList() << QStringList() << 0;

    QTest::newRow("provider cannot be opened")
        << NetworkSetup([](FakePlatform& net) {
               office(net);
               net.provider.openError = win::NotConnected;
           })
        << int(rtComputer) << QStringList()
        << QStringList{"You are not logged in Microsoft Windows Network."} << 1;
    QTest::newRow("empty provider list reports the end of the list")
        << NetworkSetup([](FakePlatform&) {}) << int(rtComputer) << QStringList()
        << QStringList{"Error: 259."} << 1;
    QTest::newRow("provider list cannot be read") << NetworkSetup([](FakePlatform& net) {
        office(net);
        net.provider.enumError = win::NoBrowserServersFound;
    }) << int(rtSharedFolder) << QStringList() << QStringList{"Error: 6118."}
                                                  << 1;
    QTest::newRow("domains that cannot be opened or read are skipped")
        << NetworkSetup([](FakePlatform& net) {
               net.addDomain("LOCKED").openError = win::AccessDenied;
               net.addDomain("EMPTY");
               net.addDomain("BROKEN").enumError = win::BadNetPath;
               office(net);
           })
        << int(rtComputer) << officeComputers << QStringList() << 0;
    QTest::newRow("computers whose shares cannot be listed are skipped")
        << NetworkSetup([](FakePlatform& net) {
               office(net);
               net.containers["\\\\ALPHA"].openError = win::AccessDenied;
               net.containers["\\\\GAMMA"].enumError = win::BadNetPath;
           })
        << int(rtSharedFolder) << QStringList() << QStringList() << 0;

    // Records as a hostile or odd provider might give them: the row shows
    // what it was given and the lookups use the caption from its third
    // character on, whatever the first two are.
    QTest::newRow("odd records")
        << NetworkSetup([](FakePlatform& net) {
               net.addDomain("ODD");
               NetResource noName;
               noName.comment = "no name";
               net.containers["ODD"].records.push_back(noName);
               net.addComputer("ODD", "\\", "too short");
               net.addComputer("ODD", "xyHOST", "no backslashes");
               net.addComputer("ODD", "\\\\A-NAME-LONGER-THAN-FIFTEEN", "long");
               net.addComputer("ODD", "\\\\BYTES", std::string("\xff\x01 caf\xc3\xa9", 8));
               net.addHost("HOST", "192.168.1.20", {1, 2, 3, 4, 5, 6});
               net.addHost("A-NAME-LONGER-THAN-FIFTEEN", "10.1.1.1", {0xAA, 0, 0, 0, 0, 1});
               net.adapters["A-NAME-LONGER-T"] = {0xAB, 0, 0, 0, 0, 2};
           })
        << int(rtComputer)
        << QStringList{"|3|?.?.?.?|ODD|no name|?-?-?-?-?-?",
                       "\\|3|?.?.?.?|ODD|too short|?-?-?-?-?-?",
                       "xyHOST|0|192.168.1.20|ODD|no backslashes|01-02-03-04-05-06",
                       "\\\\A-NAME-LONGER-THAN-FIFTEEN|0|10.1.1.1|ODD|long|AB-00-00-00-00-02",
                       QString::fromUtf8("\\\\BYTES|3|?.?.?.?|ODD|\xef\xbf\xbd\xe2\x90\x81 "
                                         "caf\xc3\xa9|?-?-?-?-?-?")}
        << QStringList() << 0;
    // The list shows them as visible replacements; the look-ups use the
    // name as received.
    QTest::newRow("hostile characters, computers")
        << NetworkSetup(hostile) << int(rtComputer)
        << QStringList{QString::fromUtf16(
               u"\\\\TAB\u2409PC|0|10.0.0.9|WORK\u240aGROUP|\ufffdgnp.exe|01-02-03-04-05-06")}
        << QStringList() << 0;
    QTest::newRow("hostile characters, shares")
        << NetworkSetup(hostile) << int(rtSharedFolder)
        << QStringList{QString::fromUtf16(
               u"\\\\TAB\u2409PC\\doc\u241b[2J|1|WORK\u240aGROUP|a\ufffdb\ufffd")}
        << QStringList() << 0;
}

void TestScanWorker::walkCases() {
    QFETCH(NetworkSetup, setup);
    QFETCH(int, type);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, errors);
    QFETCH(int, code);

    FakePlatform net;
    setup(net);
    WalkResult result = walk(net, type);
    QCOMPARE(rowTexts(result.output.rows), rows);
    QCOMPARE(result.output.errors, errors);
    QCOMPARE(result.code, code);
    QCOMPARE(net.openHandles(), std::size_t(0));
}

void TestScanWorker::computerRowChangesArriveInOrder() {
    FakePlatform net;
    office(net);
    WalkResult result = walk(net, rtComputer);
    const QStringList firstRow = result.output.log.mid(0, 10);
    QCOMPARE(firstRow, (QStringList{"max:1", "pos:0", "append", "caption:\\\\ALPHA", "image:0",
                                    "sub:10.0.0.5", "sub:WORKGROUP", "sub:File server",
                                    "sub:00-0A-5E-1F-C2-9B", "append"}));

    const auto calls = net.calls();
    const auto query =
        std::find(calls.begin(), calls.end(),
                  "netbios(NCBASTAT,lana=0,callname=ALPHA          \\0,length=4650)");
    QVERIFY(query != calls.end());
    QVERIFY(std::find(calls.begin(), query, "getHostByName(ALPHA)") != query);
}

void TestScanWorker::unresolvedComputerSendsNoAdapterQuery() {
    FakePlatform net;
    office(net);
    walk(net, rtComputer);
    const auto calls = net.calls();
    QCOMPARE(countCalls(calls, "getHostByName("), 4);
    QCOMPARE(countCalls(calls, "netbios(NCBASTAT"), 3);
    QCOMPARE(countCalls(calls, "netbios(NCBASTAT,lana=0,callname=BETA"), 0);
}

void TestScanWorker::progressFollowsDomains() {
    FakePlatform one;
    one.addDomain("ONLY");
    WalkResult single = walk(one, rtComputer);
    QCOMPARE(single.output.progressMax, 0);
    QCOMPARE(single.output.positions, QList<int>{0});

    FakePlatform three;
    three.addDomain("A").openError = win::AccessDenied;
    three.addDomain("B");
    three.addDomain("C");
    WalkResult several = walk(three, rtComputer);
    QCOMPARE(several.output.progressMax, 2);
    QCOMPARE(several.output.positions, (QList<int>{0, 1, 2}));
}

void TestScanWorker::containerLargerThanOneBufferIsListedWhole() {
    // 700 computers with long comments need several 16384-byte buffers.
    FakePlatform net;
    net.addDomain("BIG");
    for (int i = 0; i < 700; ++i)
        net.addComputer("BIG", "\\\\PC" + std::to_string(i), std::string(40, 'c'));
    WalkResult result = walk(net, rtComputer);
    QCOMPARE(result.code, 0);
    QCOMPARE(result.output.rows.size(), std::size_t(700));
    QCOMPARE(result.output.rows.front().caption, QStringLiteral("\\\\PC0"));
    QCOMPARE(result.output.rows.back().caption, QStringLiteral("\\\\PC699"));
    const auto calls = net.calls();
    QVERIFY(countCalls(calls, "enumResource(") > 3);
    QCOMPARE(countCalls(calls, "closeEnum("), 2);
}

void TestScanWorker::stopBeforeFirstDomain() {
    FakePlatform net;
    office(net);
    WalkResult result = walk(net, rtComputer, [] { return true; });
    QCOMPARE(result.code, 1);
    QVERIFY(result.output.rows.empty());
    QVERIFY(result.output.positions.isEmpty());
    QCOMPARE(result.output.progressMax, 1);
    QCOMPARE(net.openHandles(), std::size_t(0));
}

void TestScanWorker::stopDuringMacQueryCompletesThatRowOnly() {
    FakePlatform net;
    office(net);
    bool stop = false;
    WalkResult result{0, {}};
    result.output.afterAppend = [&] { stop = true; }; // before the row's look-ups end
    ScanInputs inputs{"Microsoft Windows Network", rtComputer, 0};
    result.code = ScanNetwork(net, inputs, result.output, [&] { return stop; });
    QCOMPARE(result.code, 1);
    QCOMPARE(rowTexts(result.output.rows),
             QStringList{"\\\\ALPHA|0|10.0.0.5|WORKGROUP|File server|00-0A-5E-1F-C2-9B"});
    QCOMPARE(net.openHandles(), std::size_t(0));
}

void TestScanWorker::stopBetweenShares() {
    FakePlatform net;
    office(net);
    bool stop = false;
    WalkResult result{0, {}};
    result.output.afterAppend = [&] { stop = true; };
    ScanInputs inputs{"Microsoft Windows Network", rtSharedFolder, 0};
    result.code = ScanNetwork(net, inputs, result.output, [&] { return stop; });
    QCOMPARE(result.code, 1);
    QCOMPARE(rowTexts(result.output.rows), QStringList{"\\\\ALPHA\\docs|1|WORKGROUP|Documents"});
    QCOMPARE(net.openHandles(), std::size_t(0));
}

void TestScanWorker::stopBetweenComputersOfAShareScan() {
    FakePlatform net;
    net.addDomain("W");
    net.addComputer("W", "\\\\P1");
    net.addComputer("W", "\\\\P2");
    net.addShare("\\\\P2", "\\\\P2\\laser", RESOURCETYPE_PRINT);
    std::atomic<bool> stop = false;
    net.onCall = [&](const std::string& call) {
        if (call == "openEnum(2,2,1,\\\\P1)") // P1, without printers, is being listed
            stop = true;
    };
    WalkResult result = walk(net, rtSharedPrinter, [&] { return stop.load(); });
    QCOMPARE(result.code, 1);
    QVERIFY(result.output.rows.empty());
    QCOMPARE(net.openHandles(), std::size_t(0));
}

void TestScanWorker::everyOpenedHandleIsClosed() {
    FakePlatform net;
    office(net);
    net.containers["SALES"].enumError = win::BadNetPath;
    walk(net, rtSharedFolder);
    const auto calls = net.calls();
    int opened = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].rfind("openEnum(", 0) == 0)
            ++opened;
    }
    QCOMPARE(countCalls(calls, "closeEnum("), opened);
    QCOMPARE(net.openHandles(), std::size_t(0));
    // Every open asks for the global network; containers are opened as
    // disk containers, shares as connectable resources of the scan's type.
    QVERIFY(std::find(calls.begin(), calls.end(),
                      "openEnum(2,1,2,<provider:Microsoft Windows Network>)") != calls.end());
    QVERIFY(std::find(calls.begin(), calls.end(), "openEnum(2,1,2,WORKGROUP)") != calls.end());
    QVERIFY(std::find(calls.begin(), calls.end(), "openEnum(2,1,1,\\\\ALPHA)") != calls.end());
    QVERIFY(std::find(calls.begin(), calls.end(), "enumResource(#1,4294967295,16384)") !=
            calls.end());
}

QTEST_GUILESS_MAIN(TestScanWorker)
#include "tst_scanworker.moc"
