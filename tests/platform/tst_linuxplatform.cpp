// The Linux platform without a network: error numbers, the enumeration
// over a scripted SMB directory, the name service over loopback, the
// neighbour table.

#include "NbnsPackets.h"
#include "ScriptedDirectory.h"
#include "common/UdpResponder.h"
#include "linux/Adapters.h"
#include "linux/ErrorMap.h"
#include "linux/LinuxPlatform.h"
#include "linux/discovery/DiscoverySource.h"
#include "platform/EnumBatch.h"

#include <QtTest>

#include <arpa/inet.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>

using namespace norvane;
using namespace norvane::test;
using namespace std::chrono_literals;

namespace {

using Responder = test::UdpResponder;

int requestId(const QByteArray& request) {
    return (std::uint8_t(request[0]) << 8) | std::uint8_t(request[1]);
}

const QByteArray Mac("\x02\x4e\x56\x00\x00\x07", 6);
// A documentation address: only ever written into answers, never sent to.
constexpr const char* LaterAddress = "192.0.2.7";

NbnsExchange loopbackExchange(const Responder& responder) {
    return NbnsExchange{responder.port(), 100ms, 2};
}

std::uint32_t loopback() {
    return htonl(INADDR_LOOPBACK);
}

SmbEntry entry(unsigned type, std::string name, std::string comment = {}) {
    return SmbEntry{type, std::move(name), std::move(comment)};
}

struct Enumerated {
    DWORD result = 0;
    DWORD count = 0;
    std::vector<NetResource> records;
};

Enumerated enumerateOnce(LinuxPlatform& platform, EnumHandle handle) {
    Enumerated out;
    out.count = EnumAllEntries;
    DWORD size = DWORD(EnumBufferSize);
    out.result = platform.enumResource(handle, &out.count, &out.records, &size);
    return out;
}

} // namespace

class TestLinuxPlatform : public QObject {
    Q_OBJECT

private slots:
    void browseErrors_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("level");
        QTest::addColumn<DWORD>("code");
        const int provider = int(BrowseLevel::Provider);
        const int workgroup = int(BrowseLevel::Workgroup);
        const int server = int(BrowseLevel::Server);
        QTest::newRow("no browse master") << ENOENT << provider << win::NoBrowserServersFound;
        QTest::newRow("workgroup without master")
            << ENOENT << workgroup << win::NoBrowserServersFound;
        QTest::newRow("server not found") << ENOENT << server << win::BadNetPath;
        QTest::newRow("access denied") << EACCES << server << win::AccessDenied;
        QTest::newRow("not permitted") << EPERM << provider << win::AccessDenied;
        QTest::newRow("log-on refused") << EPERM << server << win::LogonFailure;
        QTest::newRow("browse timed out") << ETIMEDOUT << provider << win::Timeout;
        QTest::newRow("server timed out") << ETIMEDOUT << server << win::BadNetPath;
        QTest::newRow("refused by master") << ECONNREFUSED << workgroup << win::ConnectionRefused;
        QTest::newRow("refused by server") << ECONNREFUSED << server << win::BadNetPath;
        QTest::newRow("host unreachable") << EHOSTUNREACH << server << win::HostUnreachable;
        QTest::newRow("net unreachable") << ENETUNREACH << provider << win::NetUnreachable;
        QTest::newRow("out of memory") << ENOMEM << server << win::NotEnoughMemory;
        QTest::newRow("bad argument") << EINVAL << workgroup << win::InvalidParameter;
        QTest::newRow("other failure") << EIO << server << win::UnexpectedNetError;
        QTest::newRow("failure without errno") << 0 << provider << win::UnexpectedNetError;
    }
    void browseErrors() {
        QFETCH(int, error);
        QFETCH(int, level);
        QFETCH(DWORD, code);
        QCOMPARE(windowsErrorFromErrno(error, BrowseLevel(level)), code);
    }

    void echoErrors_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("error");
        QTest::addColumn<DWORD>("status");
        QTest::newRow("net unreachable") << 3 << 0 << 0 << IP_DEST_NET_UNREACHABLE;
        QTest::newRow("host unreachable") << 3 << 1 << 0 << IP_DEST_HOST_UNREACHABLE;
        QTest::newRow("protocol unreachable") << 3 << 2 << 0 << IP_DEST_PROT_UNREACHABLE;
        QTest::newRow("port unreachable") << 3 << 3 << 0 << IP_DEST_PORT_UNREACHABLE;
        QTest::newRow("fragmentation needed") << 3 << 4 << 0 << IP_PACKET_TOO_BIG;
        QTest::newRow("host prohibited") << 3 << 13 << 0 << IP_DEST_HOST_UNREACHABLE;
        QTest::newRow("ttl expired in transit") << 11 << 0 << 0 << IP_TTL_EXPIRED_TRANSIT;
        QTest::newRow("reassembly time exceeded") << 11 << 1 << 0 << IP_TTL_EXPIRED_REASSEM;
        QTest::newRow("parameter problem") << 12 << 0 << 0 << IP_PARAM_PROBLEM;
        QTest::newRow("message too long") << -1 << 0 << EMSGSIZE << IP_PACKET_TOO_BIG;
        QTest::newRow("no route to host") << -1 << 0 << EHOSTUNREACH << IP_DEST_HOST_UNREACHABLE;
        QTest::newRow("network unreachable") << -1 << 0 << ENETUNREACH << IP_DEST_NET_UNREACHABLE;
        QTest::newRow("no buffers") << -1 << 0 << ENOBUFS << IP_NO_RESOURCES;
        QTest::newRow("not permitted") << -1 << 0 << EACCES << IP_GENERAL_FAILURE;
    }
    void echoErrors() {
        QFETCH(int, type);
        QFETCH(int, code);
        QFETCH(int, error);
        QFETCH(DWORD, status);
        QCOMPARE(type < 0 ? echoStatusFromErrno(error)
                          : echoStatusFromIcmp(std::uint8_t(type), std::uint8_t(code)),
                 status);
    }

    // The platform interface parses dotted text itself; the system's parser
    // is the reference for every form it accepts or refuses.
    void addressTextLikeTheSystem_data() {
        QTest::addColumn<QByteArray>("text");
        for (const char* text : {"10.213.77.101",
                                 "0.0.0.0",
                                 "255.255.255.255",
                                 "1.2.3",
                                 "1.2",
                                 "16909060",
                                 "0x7f.1",
                                 "010.0.0.1",
                                 "0xff.0xff.0xff.0xff",
                                 "1.2.3.4 ",
                                 "1.2.3.4\t",
                                 "1.2.3.256",
                                 "256.1.2.3",
                                 "1.2.3.4.5",
                                 "1..2.3",
                                 "1.2.3.",
                                 ".1.2.3",
                                 "",
                                 " 1.2.3.4",
                                 "08.1.1.1",
                                 "0x",
                                 "0xg",
                                 "1.2.3.4x",
                                 "4294967295",
                                 "4294967296",
                                 "1.16777215",
                                 "1.16777216",
                                 "1.2.65535",
                                 "1.2.65536",
                                 "99999999999999999999",
                                 "abc"})
            QTest::newRow(text) << QByteArray(text);
    }
    void addressTextLikeTheSystem() {
        QFETCH(QByteArray, text);
        in_addr expected{};
        const std::uint32_t system =
            inet_aton(text.constData(), &expected) != 0 ? expected.s_addr : 0xFFFFFFFFu;
        QCOMPARE(NetworkPlatform::inetAddr(text.constData()), system);
    }

    void providerName() {
        auto directory = std::make_shared<ScriptedDirectory>();
        LinuxPlatform platform({}, directory, {});
        char name[ProviderNameSize] = {};
        DWORD size = sizeof name;
        QCOMPARE(platform.getProviderName(WNNC_NET_LANMAN, name, &size), win::NoError);
        QCOMPARE(QByteArray(name), QByteArray(LanManProviderName));
        DWORD small = 4;
        QCOMPARE(platform.getProviderName(WNNC_NET_LANMAN, name, &small), win::MoreData);
        QCOMPARE(small, DWORD(sizeof "Microsoft Windows Network"));
        directory->isAvailable = false;
        QVERIFY(platform.getProviderName(WNNC_NET_LANMAN, name, &size) != win::NoError);
    }

    // Each level's records come back as the next level's container.
    void walkOfRecordsAsReturned() {
        auto directory = std::make_shared<ScriptedDirectory>();
        directory->listings["smb://"] = {
            0, {entry(SmbWorkgroup, "LAB GROUP", "MASTER"), entry(SmbWorkgroup, "lab group")}};
        directory->listings["smb://LAB%20GROUP"] = {
            0, {entry(SmbServer, "SRV1", "First"), entry(SmbServer, "SRV2")}};
        directory->listings["smb://SRV1"] = {
            0,
            {entry(SmbFileShare, "docs", "Documents"), entry(SmbFileShare, "hidden$", "x"),
             entry(6, "IPC$", "IPC Service"), entry(SmbPrinterShare, "laser", "Laser"),
             entry(5, "comms"), entry(SmbFileShare, "plain")}};
        LinuxPlatform platform({}, directory, {});

        NetResource provider;
        provider.provider = LanManProviderName;
        EnumHandle handle = 0;
        QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, RESOURCEUSAGE_CONTAINER,
                                   &provider, &handle),
                 win::NoError);
        const Enumerated groups = enumerateOnce(platform, handle);
        QCOMPARE(groups.result, win::NoError);
        QCOMPARE(groups.count, DWORD(1)); // the repeated name is dropped
        QCOMPARE(groups.records[0].remoteName, std::optional<std::string>("LAB GROUP"));
        QVERIFY(!groups.records[0].comment);
        QCOMPARE(groups.records[0].provider, std::optional<std::string>(LanManProviderName));
        QCOMPARE(enumerateOnce(platform, handle).result, win::NoMoreItems);
        QCOMPARE(platform.closeEnum(handle), win::NoError);

        QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, RESOURCEUSAGE_CONTAINER,
                                   &groups.records[0], &handle),
                 win::NoError);
        const Enumerated servers = enumerateOnce(platform, handle);
        platform.closeEnum(handle);
        QCOMPARE(servers.count, DWORD(2));
        QCOMPARE(servers.records[0].remoteName, std::optional<std::string>("\\\\SRV1"));
        QCOMPARE(servers.records[0].comment, std::optional<std::string>("First"));
        QVERIFY(!servers.records[1].comment);

        for (const DWORD type : {RESOURCETYPE_DISK, RESOURCETYPE_PRINT}) {
            QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, type, RESOURCEUSAGE_CONNECTABLE,
                                       &servers.records[0], &handle),
                     win::NoError);
            const Enumerated shares = enumerateOnce(platform, handle);
            platform.closeEnum(handle);
            QStringList names;
            for (const NetResource& share : shares.records) {
                QCOMPARE(share.type, type);
                names << QString::fromStdString(*share.remoteName) + QLatin1Char('=') +
                             QString::fromStdString(share.comment.value_or("-"));
            }
            const QStringList expectedNames =
                type == RESOURCETYPE_DISK
                    ? QStringList{"\\\\SRV1\\docs=Documents", "\\\\SRV1\\plain=-"}
                    : QStringList{"\\\\SRV1\\laser=Laser"};
            QCOMPARE(names, expectedNames);
        }
        const std::vector<std::pair<std::string, BrowseLevel>> expected{
            {"smb://", BrowseLevel::Provider},
            {"smb://LAB%20GROUP", BrowseLevel::Workgroup},
            {"smb://SRV1", BrowseLevel::Server},
            {"smb://SRV1", BrowseLevel::Server}};
        QVERIFY(directory->asked == expected);
    }

    void enumerationFailures() {
        auto directory = std::make_shared<ScriptedDirectory>();
        directory->listings["smb://EMPTY"] = {0, {}};
        directory->listings["smb://DOWN"] = {ECONNREFUSED, {}};
        LinuxPlatform platform({}, directory, {});
        EnumHandle handle = 0;
        NetResource provider;
        QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, 1, 2, &provider, &handle), win::NoError);
        QCOMPARE(enumerateOnce(platform, handle).result, win::NoBrowserServersFound);
        QCOMPARE(platform.getLastError(), win::NoBrowserServersFound);
        platform.closeEnum(handle);

        NetResource empty;
        empty.remoteName = "EMPTY";
        QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, 1, 2, &empty, &handle), win::NoError);
        QCOMPARE(enumerateOnce(platform, handle).result, win::NoMoreItems);
        QCOMPARE(platform.getLastError(), win::NoMoreItems);
        platform.closeEnum(handle);

        NetResource down;
        down.remoteName = "\\\\DOWN";
        QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, 1, 1, &down, &handle), win::NoError);
        QCOMPARE(enumerateOnce(platform, handle).result, win::BadNetPath);
        platform.closeEnum(handle);

        NetResource share;
        share.remoteName = "\\\\SRV1\\docs";
        QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, 1, 1, &share, &handle), win::NotContainer);
        NetResource foreign;
        foreign.provider = "Some Other Network";
        QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, 1, 2, &foreign, &handle), win::BadProvider);
        QCOMPARE(platform.closeEnum(12345), win::InvalidHandle);
        DWORD count = EnumAllEntries;
        DWORD size = 16;
        std::vector<NetResource> batch;
        QCOMPARE(platform.enumResource(12345, &count, &batch, &size), win::InvalidHandle);
    }

    // 128 shares of 63-byte names take exactly 16384 bytes each; one byte
    // more pushes the last into the next call.
    void batchesSplitAtTheBufferBoundary_data() {
        QTest::addColumn<int>("extraCommentBytes");
        QTest::addColumn<DWORD>("firstCount");
        QTest::newRow("exactly full") << 0 << DWORD(128);
        QTest::newRow("one byte over") << 1 << DWORD(127);
    }
    void batchesSplitAtTheBufferBoundary() {
        QFETCH(int, extraCommentBytes);
        QFETCH(DWORD, firstCount);
        auto directory = std::make_shared<ScriptedDirectory>();
        SmbListing shares;
        for (int i = 0; i < 129; ++i) {
            std::string name =
                QString::number(i).rightJustified(63, QLatin1Char('s')).toStdString();
            // A one-character comment costs two bytes; none costs nothing.
            shares.entries.push_back(
                entry(SmbFileShare, name, i == 0 && extraCommentBytes ? "c" : ""));
        }
        directory->listings["smb://SRV"] = shares;
        NetResource server;
        server.remoteName = "\\\\SRV";
        NetResource probe;
        probe.remoteName = "\\\\SRV\\" + shares.entries[1].name;
        probe.provider = LanManProviderName;
        QCOMPARE(batchCost(probe), std::size_t(EnumBufferSize / 128));

        LinuxPlatform platform({}, directory, {});
        EnumHandle handle = 0;
        QCOMPARE(platform.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, RESOURCEUSAGE_CONNECTABLE,
                                   &server, &handle),
                 win::NoError);
        const Enumerated first = enumerateOnce(platform, handle);
        QCOMPARE(first.result, win::NoError);
        QCOMPARE(first.count, firstCount);
        QCOMPARE(first.records.back().remoteName,
                 std::optional<std::string>("\\\\SRV\\" + shares.entries[firstCount - 1].name));
        const Enumerated second = enumerateOnce(platform, handle);
        QCOMPARE(second.result, win::NoError);
        QCOMPARE(second.count, 129 - firstCount);
        QCOMPARE(second.records.back().remoteName,
                 std::optional<std::string>("\\\\SRV\\" + shares.entries[128].name));
        QCOMPARE(enumerateOnce(platform, handle).result, win::NoMoreItems);
        platform.closeEnum(handle);
    }

    void longestRecordFitsOneBuffer() {
        const std::string name(MaxBrowseNameBytes, 'n');
        NetResource worst;
        worst.remoteName = "\\\\" + name + "\\" + name;
        worst.comment = std::string(MaxBrowseCommentBytes, 'c');
        worst.provider = LanManProviderName;
        QVERIFY(batchCost(worst) <= EnumBufferSize);
    }

    void commentsAreCutOnCharacterBoundaries() {
        QCOMPARE(boundedText(nullptr, 8), std::string());
        QCOMPARE(boundedText("short", 8), std::string("short"));
        QCOMPARE(boundedText("exactly8", 8), std::string("exactly8"));
        // "ab" and a three-byte character: cut before the character.
        QCOMPARE(boundedText("ab\xE2\x82\xAC", 4), std::string("ab"));
        QCOMPARE(boundedText("ab\xE2\x82\xAC", 5), std::string("ab\xE2\x82\xAC"));
    }

    void browseTargets_data() {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("url");
        QTest::newRow("workgroup") << "LABGROUP1"
                                   << "smb://LABGROUP1";
        QTest::newRow("server") << "\\\\LABSRV1"
                                << "smb://LABSRV1";
        QTest::newRow("reserved characters") << "A&B#C%"
                                             << "smb://A%26B%23C%25";
        QTest::newRow("share") << "\\\\LABSRV1\\docs"
                               << "";
        QTest::newRow("bare backslashes") << "\\\\"
                                          << "";
        QTest::newRow("slash") << "A/B"
                               << "";
    }
    void browseTargets() {
        QFETCH(QString, remote);
        QFETCH(QString, url);
        NetResource record;
        record.remoteName = remote.toStdString();
        const auto target = browseTargetOf(record);
        QCOMPARE(target.has_value(), !url.isEmpty());
        if (target)
            QCOMPARE(QString::fromStdString(browseUrl(*target)), url);
    }

    void neighbourTable() {
        const std::string table =
            "IP address       HW type     Flags       HW address            Mask     Device\n"
            "10.213.77.101    0x1         0x2         02:4e:56:00:00:01     *        eth0\n"
            "10.213.77.102    0x1         0x0         00:00:00:00:00:00     *        eth0\n"
            "10.213.77.103    0x1         0x2         02:4E:56:00:00:03     *        eth1\n"
            "10.213.77.104    0x1         0x2         02:4e:56:00:00        *        eth0\n";
        auto at = [](const char* dotted) { return NetworkPlatform::inetAddr(dotted); };
        const auto mac = macFromArpTable(table, at("10.213.77.101"), "eth0");
        QVERIFY(mac);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(mac->data()), 6),
                 QByteArray("\x02\x4e\x56\x00\x00\x01", 6));
        QVERIFY(!macFromArpTable(table, at("10.213.77.102"), "eth0")); // incomplete
        QVERIFY(!macFromArpTable(table, at("10.213.77.103"), "eth0")); // other device
        QVERIFY(macFromArpTable(table, at("10.213.77.103"), "eth1"));
        QVERIFY(!macFromArpTable(table, at("10.213.77.104"), "eth0")); // cut address
        QVERIFY(!macFromArpTable(table, at("10.213.77.109"), "eth0"));
        QVERIFY(!macFromArpTable("", at("10.213.77.101"), "eth0"));
    }

    void nodeStatusOverLoopback() {
        Responder responder;
        responder.setScript([](const QByteArray& request, int) -> QList<QByteArray> {
            return {nodeStatusResponse(requestId(request), Mac)};
        });
        responder.start();
        const auto status = queryNodeStatus(loopback(), loopbackExchange(responder)).status;
        QVERIFY(status);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(status->unitId.data()), 6), Mac);
        QCOMPARE(responder.requests(), 1);
    }

    void nodeStatusRetriesOnce() {
        Responder responder;
        responder.setScript([](const QByteArray& request, int count) -> QList<QByteArray> {
            if (count == 1)
                return {};
            return {nodeStatusResponse(requestId(request), Mac)};
        });
        responder.start();
        QVERIFY(queryNodeStatus(loopback(), loopbackExchange(responder)).status);
        QCOMPARE(responder.requests(), 2);
    }

    // A host that is up without a name service refuses the port: one round
    // trip, no second attempt.
    void nodeStatusEndsAtARefusal() {
        int closedPort = 0;
        {
            const Responder gone;
            closedPort = gone.port();
        }
        QElapsedTimer timer;
        timer.start();
        const NodeStatusReply reply =
            queryNodeStatus(loopback(), NbnsExchange{std::uint16_t(closedPort), 2s, 3});
        QVERIFY(!reply.status);
        QVERIFY(reply.refused);
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    }

    // A host limits its port unreachable replies, so a scan soon after
    // another may hear none: the refusal heard first stands for the
    // refusals' lifetime, without a packet, and then the host is asked
    // again.
    void nodeStatusRemembersARefusal() {
        auto now = NameServiceRefusals::Clock::now();
        NameServiceRefusals refusals([&] { return now; });
        std::uint16_t port = 0;
        {
            const Responder gone;
            port = gone.port();
        }
        const NbnsExchange exchange{
            .port = port, .timeout = 300ms, .attempts = 2, .abandonFd = -1, .refusals = &refusals};
        QVERIFY(queryNodeStatus(loopback(), exchange).refused);
        QVERIFY(refusals.refused(loopback(), port));

        // The host now keeps silent, as one whose replies ran out does.
        const int silent = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = loopback();
        local.sin_port = htons(port);
        QCOMPARE(bind(silent, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
        const auto requestsArrived = [silent] {
            char packet[512];
            int count = 0;
            while (recv(silent, packet, sizeof packet, MSG_DONTWAIT) > 0)
                ++count;
            return count;
        };
        QElapsedTimer timer;
        timer.start();
        NodeStatusReply reply = queryNodeStatus(loopback(), exchange);
        QVERIFY(reply.refused);
        QVERIFY2(timer.elapsed() < 300, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(requestsArrived(), 0);

        now += NameServiceRefusalLifetime;
        reply = queryNodeStatus(loopback(), exchange);
        QVERIFY(!reply.refused);
        QVERIFY(!reply.status);
        QCOMPARE(requestsArrived(), 2);
        close(silent);
    }

    void refusalsAreKeptPerPortAndBounded() {
        auto now = NameServiceRefusals::Clock::now();
        NameServiceRefusals refusals([&] { return now; });
        refusals.remember(loopback(), 137);
        QVERIFY(refusals.refused(loopback(), 137));
        QVERIFY(!refusals.refused(loopback(), 138));
        QVERIFY(!refusals.refused(loopback() + htonl(1), 137));
        now += NameServiceRefusalLifetime - 1s;
        QVERIFY(refusals.refused(loopback(), 137));

        // A full memory drops the expired refusals first, everything when
        // none has expired; the newest is always kept.
        now += 1s;
        for (std::uint32_t host = 1; host < RefusingHostsKept; ++host)
            refusals.remember(htonl(0x0A000000 + host), 137);
        refusals.remember(htonl(0x0A100000), 137);
        QVERIFY(refusals.refused(htonl(0x0A000001), 137));
        QVERIFY(refusals.refused(htonl(0x0A100000), 137));
        refusals.remember(htonl(0x0A100001), 137);
        QVERIFY(!refusals.refused(htonl(0x0A000001), 137));
        QVERIFY(refusals.refused(htonl(0x0A100001), 137));
    }

    void nodeStatusIgnoresForeignAnswers_data() {
        QTest::addColumn<bool>("otherAddress");
        QTest::addColumn<int>("idOffset");
        QTest::newRow("wrong transaction id") << false << 1;
        QTest::newRow("answer from another address") << true << 0;
    }
    void nodeStatusIgnoresForeignAnswers() {
        QFETCH(bool, otherAddress);
        QFETCH(int, idOffset);
        Responder responder;
        if (otherAddress)
            responder.replyAddress = htonl(INADDR_LOOPBACK + 1);
        responder.setScript([=](const QByteArray& request, int) -> QList<QByteArray> {
            return {nodeStatusResponse((requestId(request) + idOffset) & 0xFFFF, Mac)};
        });
        responder.start();
        QElapsedTimer timer;
        timer.start();
        const NodeStatusReply reply = queryNodeStatus(loopback(), loopbackExchange(responder));
        QVERIFY(!reply.status);
        QVERIFY(!reply.refused);
        QVERIFY(timer.elapsed() >= 200); // both attempts waited out
        QCOMPARE(responder.requests(), 2);
    }

    void nameQueryOverLoopback_data() {
        QTest::addColumn<QByteArray>("answeredName");
        QTest::addColumn<QByteArray>("network");
        QTest::addColumn<QByteArray>("firstAddress"); // later answers carry LaterAddress
        QTest::addColumn<QByteArray>("expected");     // empty: no answer taken
        QTest::newRow("the asked name") << QByteArray("LABSRV1") << QByteArray("127.0.0.0")
                                        << QByteArray("192.0.2.5") << QByteArray("192.0.2.5");
        QTest::newRow("another name") << QByteArray("LABSRV2") << QByteArray("127.0.0.0")
                                      << QByteArray("192.0.2.5") << QByteArray();
        QTest::newRow("from outside the network") << QByteArray("LABSRV1") << QByteArray("10.0.0.0")
                                                  << QByteArray("192.0.2.5") << QByteArray();
        // An address no host can have is passed over, and the real answer
        // that follows is taken.
        for (const char* address :
             {"0.0.0.0", "255.255.255.255", "127.0.0.1", "224.0.0.251", "240.0.0.1", "192.0.2.255"})
            QTest::addRow("answer with %s", address)
                << QByteArray("LABSRV1") << QByteArray("127.0.0.0") << QByteArray(address)
                << QByteArray(LaterAddress);
    }
    void nameQueryOverLoopback() {
        QFETCH(QByteArray, answeredName);
        QFETCH(QByteArray, network);
        QFETCH(QByteArray, firstAddress);
        QFETCH(QByteArray, expected);
        Responder responder;
        responder.setScript([&](const QByteArray& request, int count) -> QList<QByteArray> {
            return {nameQueryResponse(requestId(request),
                                      *nbns::netbiosName(answeredName.toStdString(), 0),
                                      count == 1 ? firstAddress.constData() : LaterAddress)};
        });
        responder.start();
        // Two networks, both asked over loopback: the answer must come from
        // the first; the second, 192.0.2.0/24, has the broadcast address
        // 192.0.2.255.
        const NameQueryTarget targets[] = {{loopback(),
                                            NetworkPlatform::inetAddr(network.constData()),
                                            NetworkPlatform::inetAddr("255.0.0.0")},
                                           {loopback(), NetworkPlatform::inetAddr("192.0.2.0"),
                                            NetworkPlatform::inetAddr("255.255.255.0")}};
        const auto name = *nbns::netbiosName("labsrv1", nbns::SuffixWorkstation);
        const auto address = queryName(name, targets, loopbackExchange(responder));
        QCOMPARE(address.has_value(), !expected.isEmpty());
        if (address)
            QCOMPARE(NetworkPlatform::inetNtoa(*address), expected.toStdString());
    }

    // Through the platform: the unit ID lands in the first six bytes.
    void adapterStatusThroughNetbios() {
        if (listAdapters().empty())
            QSKIP("this machine has no broadcast-capable IPv4 adapter");
        Responder responder;
        std::atomic<bool> zeroUnitId{false};
        responder.setScript([&](const QByteArray& request, int) -> QList<QByteArray> {
            return {nodeStatusResponse(requestId(request), zeroUnitId ? QByteArray(6, '\0') : Mac)};
        });
        responder.start();
        LinuxPlatformSettings settings;
        settings.nbnsPort = responder.port();
        LinuxPlatform platform(settings, std::make_shared<ScriptedDirectory>(), {});
        std::vector<std::uint8_t> buffer(AdapterStatusBufferSize, 0);
        Ncb ncb;
        ncb.command = NCBASTAT;
        ncb.buffer = buffer.data();
        ncb.length = std::uint16_t(buffer.size());
        std::memcpy(ncb.callname, "127.0.0.1      ", 16);
        QCOMPARE(platform.netbios(ncb), NRC_GOODRET);
        QCOMPARE(ncb.retcode, NRC_GOODRET);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), 6), Mac);

        // An all-zero unit ID from a host off the adapter's link is no
        // address: the query fails, so the list shows the placeholder.
        zeroUnitId = true;
        QCOMPARE_NE(platform.netbios(ncb), NRC_GOODRET);

        ncb.lanaNum = 200;
        QCOMPARE(platform.netbios(ncb), NRC_BRIDGE);
        ncb.lanaNum = 0;
        ncb.length = 5;
        QCOMPARE(platform.netbios(ncb), NRC_BUFLEN);
    }

    void adapterEnumeration() {
        LinuxPlatform platform({}, std::make_shared<ScriptedDirectory>(), {});
        std::array<std::uint8_t, LanaEnumSize> lanas{};
        Ncb ncb;
        ncb.command = NCBENUM;
        ncb.buffer = lanas.data();
        ncb.length = std::uint16_t(lanas.size());
        QCOMPARE(platform.netbios(ncb), NRC_GOODRET);
        QCOMPARE(std::size_t(lanas[0]), listAdapters().size());
        Ncb reset;
        reset.command = NCBRESET;
        reset.lanaNum = lanas[0]; // one past the last adapter
        QCOMPARE(platform.netbios(reset), NRC_BRIDGE);
        Ncb unknown;
        unknown.command = 0x7F;
        QCOMPARE(platform.netbios(unknown), NRC_ILLCMD);
    }

    void echoToLoopback() {
        LinuxPlatform platform({}, std::make_shared<ScriptedDirectory>(), {});
        const IcmpHandle handle = platform.icmpCreateFile();
        if (handle == InvalidIcmpHandle)
            QSKIP("no ICMP socket can be had here (neither ping group nor raw sockets)");
        const std::vector<std::uint8_t> data(32, 0xAA);
        std::vector<std::uint8_t> reply(IcmpEchoReplySize + data.size());
        IpOptionInformation options{32, 0, IP_FLAG_DF, 0};
        QCOMPARE(platform.icmpSendEcho(handle, loopback(), data.data(), 32, &options, reply.data(),
                                       DWORD(reply.size()), 1000),
                 DWORD(1));
        IcmpEchoReply record;
        std::memcpy(&record, reply.data(), sizeof record);
        QCOMPARE(record.address, loopback());
        QCOMPARE(record.dataSize, std::uint16_t(32));
        QCOMPARE(record.dataOffset, std::uint32_t(IcmpEchoReplySize));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(reply.data()) + 28, 32),
                 QByteArray(32, char(0xAA)));
        // A reply buffer without room for the data is refused, not overrun.
        QCOMPARE(platform.icmpSendEcho(handle, loopback(), data.data(), 32, &options, reply.data(),
                                       DWORD(IcmpEchoReplySize), 1000),
                 DWORD(0));
        QCOMPARE(platform.getLastError(), IP_BUF_TOO_SMALL);
        QVERIFY(platform.icmpCloseHandle(handle));
        QVERIFY(!platform.icmpCloseHandle(handle));
        QCOMPARE(platform.icmpSendEcho(handle, loopback(), data.data(), 32, &options, reply.data(),
                                       DWORD(reply.size()), 1000),
                 DWORD(0));
        QCOMPARE(platform.getLastError(), DWORD(win::InvalidHandle));
    }
};

QTEST_GUILESS_MAIN(TestLinuxPlatform)
#include "tst_linuxplatform.moc"
