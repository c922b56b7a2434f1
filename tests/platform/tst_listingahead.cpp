// A share listing made ahead as a server sees it: no check before it, one
// connection to the first SMB port that takes it, the next port at once
// after a refusal, a check only once the listing goes unanswered; and the
// listing in walk order takes what it found out without waiting again.

#include "LoopbackPort.h"
#include "linux/LinuxPlatform.h"
#include "linux/discovery/DiscoverySource.h"

#include <QTest>

#include <chrono>
#include <memory>
#include <optional>

using namespace norvane;
using namespace std::chrono_literals;

namespace {

enum class PortKind { Takes, Holds, Refuses, Silent };

std::unique_ptr<Port> portOf(PortKind kind) {
    auto port = std::make_unique<Port>(kind == PortKind::Refuses ? -1 : 0);
    if (kind == PortKind::Takes || kind == PortKind::Holds)
        port->accept(kind == PortKind::Holds);
    if (kind == PortKind::Silent)
        port->fill();
    return port;
}

} // namespace

Q_DECLARE_METATYPE(PortKind)

class TestListingAhead : public QObject {
    Q_OBJECT
private slots:
    void connectsAsAServerWouldWish_data();
    void connectsAsAServerWouldWish();
};

void TestListingAhead::connectsAsAServerWouldWish_data() {
    QTest::addColumn<PortKind>("first");
    QTest::addColumn<PortKind>("second");
    QTest::addColumn<int>("firstConnections");
    QTest::addColumn<int>("secondConnections");
    QTest::addColumn<bool>("pastDelay"); // runs past the late check's delay
    QTest::newRow("first port takes it: one connection, no check")
        << PortKind::Takes << PortKind::Takes << 1 << 0 << false;
    QTest::newRow("first port takes it and answers slowly: no check")
        << PortKind::Holds << PortKind::Takes << 1 << 0 << true;
    QTest::newRow("first port refuses: the next at once")
        << PortKind::Refuses << PortKind::Takes << 0 << 1 << false;
    QTest::newRow("first port silent: checked late, listed at the next")
        << PortKind::Silent << PortKind::Takes << 0 << 2 << true;
    QTest::newRow("every port refuses")
        << PortKind::Refuses << PortKind::Refuses << 0 << 0 << false;
    QTest::newRow("every port silent: bounded by the check")
        << PortKind::Silent << PortKind::Silent << 0 << 0 << true;
}

void TestListingAhead::connectsAsAServerWouldWish() {
    QFETCH(PortKind, first);
    QFETCH(PortKind, second);
    QFETCH(int, firstConnections);
    QFETCH(int, secondConnections);
    QFETCH(bool, pastDelay);
    const auto firstPort = portOf(first);
    const auto secondPort = portOf(second);
    QVERIFY(firstPort->number != 0 && secondPort->number != 0);
    LinuxPlatformSettings settings;
    // A listing that a port holds unanswered ends well within the bound of
    // the walk's own listing below.
    settings.smbTimeoutMs = 1000;
    settings.smbPorts = {firstPort->number, secondPort->number};
    LinuxPlatform platform(settings, nullptr, DiscoverySources{});
    NetResource computer;
    computer.remoteName = "\\\\localhost";

    const auto started = std::chrono::steady_clock::now();
    platform.listAhead(computer, [] { return std::optional(std::optional<Credentials>()); });
    const auto took = std::chrono::steady_clock::now() - started;
    QTRY_COMPARE(firstPort->accepted.load(), firstConnections);
    QTRY_COMPARE(secondPort->accepted.load(), secondConnections);
    if (pastDelay) {
        QVERIFY(took >= LateServerCheckDelay);
        QVERIFY(took < LateServerCheckDelay + SmbPortConnectTimeout + 1s);
    } else {
        QVERIFY2(took < LateServerCheckDelay, "the listing waited for a check");
    }

    // The listing in walk order: none of these servers lists, and none
    // makes it wait again for what the listing ahead found out (a server
    // that held the listing unanswered is listed anew, and holds it again).
    if (first == PortKind::Holds)
        return;
    EnumHandle handle = 0;
    QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, RESOURCEUSAGE_CONNECTABLE,
                               &computer, &handle),
             win::NoError);
    DWORD count = 0xFFFFFFFF;
    DWORD bufferSize = 16384;
    std::vector<NetResource> batch;
    const auto walkStarted = std::chrono::steady_clock::now();
    QVERIFY(platform.enumResource(handle, &count, &batch, &bufferSize) != win::NoError);
    QVERIFY2(std::chrono::steady_clock::now() - walkStarted < SmbPortConnectTimeout,
             "the listing in walk order waited for a silent port again");
    platform.closeEnum(handle);
}

QTEST_GUILESS_MAIN(TestListingAhead)
#include "tst_listingahead.moc"
