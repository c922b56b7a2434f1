// DNS service discovery without a daemon: the one-shot multicast browse
// against a scripted responder on the loopback network, the names hosts
// get, and the source as a whole with node status answers.

#include "DnsPackets.h"
#include "NbnsPackets.h"
#include "common/UdpResponder.h"
#include "dns/DnsCodec.h"
#include "linux/NetbiosIdentity.h"
#include "linux/dnssd/DnsSdSource.h"
#include "linux/dnssd/MdnsQuery.h"

#include <QElapsedTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

using namespace norvane;
using namespace norvane::test;
using namespace norvane::test::dnsmsg;

namespace {

constexpr std::uint32_t Loopback = 0x7F000001; // host byte order
constexpr std::chrono::milliseconds ShortWindow{150};

std::uint32_t address(const char* dotted) {
    in_addr parsed{};
    inet_pton(AF_INET, dotted, &parsed);
    return parsed.s_addr;
}

Adapter loopbackAdapter() {
    return {.name = "lo",
            .address = address("127.0.0.1"),
            .netmask = address("255.0.0.0"),
            .canBroadcast = false,
            .broadcast = 0};
}

// A multicast DNS responder on 127.0.0.1: the shared UDP responder with a
// script over the parsed queries.
class Responder {
public:
    using Script = std::function<QList<QByteArray>(const dns::Message& query)>;

    explicit Responder(Script script, std::uint32_t bindAddress = Loopback)
        : m_udp(
              [this, script = std::move(script)](const QByteArray& request,
                                                 int) -> QList<QByteArray> {
                  const auto parsed = dns::parseMessage(std::span<const std::uint8_t>(
                      reinterpret_cast<const std::uint8_t*>(request.constData()),
                      std::size_t(request.size())));
                  if (!parsed.message)
                      return {};
                  ++m_queries;
                  return script(*parsed.message);
              },
              htonl(bindAddress)) {
        m_udp.start();
    }
    std::uint16_t port() const { return m_udp.port(); }
    int queries() const { return m_queries; }
    // Replies then come from another port than the one asked.
    void replyFromOtherPort() { m_udp.replyFromOtherPort(); }

private:
    std::atomic<int> m_queries{0};
    test::UdpResponder m_udp; // last: its thread uses the count
};

MdnsSettings settingsFor(const Responder& responder) {
    MdnsSettings settings;
    settings.group = Loopback;
    settings.port = responder.port();
    settings.browseWindow = ShortWindow;
    settings.resolveWindow = ShortWindow;
    return settings;
}

bool asks(const dns::Message& query, std::uint16_t type, const char* dotted) {
    return query.questions.size() == 1 && query.questions[0].type == type &&
           dns::sameName(query.questions[0].name, *dns::nameFromText(dotted));
}

// What a well-behaved responder of the given hosts says: pointer, service
// and address records for "<host> share" on <host>.local, all in one answer
// to the browse when `complete`, else one record per question.
struct Announced {
    QByteArray host;
    QByteArray address;
};

QByteArray instanceName(const QByteArray& host) {
    return char(host.size() + 6) + host + " share" + name("_smb._tcp.local");
}

QByteArray pointerRecord(const QByteArray& host) {
    return record(name("_smb._tcp.local"), dns::TypePTR, instanceName(host), -1, 1);
}
QByteArray serviceRecord(const QByteArray& host) {
    return record(instanceName(host), dns::TypeSRV, srvData(445, name(host + ".local")));
}
QByteArray addressRecord(const QByteArray& host, const QByteArray& address) {
    return record(name(host + ".local"), dns::TypeA, address);
}

Responder::Script responderOf(QList<Announced> hosts, bool complete) {
    return [hosts, complete](const dns::Message& query) {
        QList<QByteArray> replies;
        for (const Announced& h : hosts) {
            if (asks(query, dns::TypePTR, "_smb._tcp.local")) {
                if (complete)
                    replies << header(query.id, Response, 0, 1, 0, 2) + pointerRecord(h.host) +
                                   serviceRecord(h.host) + addressRecord(h.host, h.address);
                else
                    replies << header(query.id, Response, 0, 1) + pointerRecord(h.host);
            } else if (asks(query, dns::TypeSRV, (h.host + " share._smb._tcp.local").constData())) {
                replies << header(query.id, Response, 0, 1) + serviceRecord(h.host);
            } else if (asks(query, dns::TypeA, (h.host + ".local").constData())) {
                replies << header(query.id, Response, 0, 1) + addressRecord(h.host, h.address);
            }
        }
        return replies;
    };
}

QStringList describe(const std::vector<ResolvedService>& services) {
    QStringList list;
    for (const ResolvedService& s : services) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &s.address, text, sizeof text);
        list << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(QString::fromStdString(s.instance), QString::fromStdString(s.host),
                         QString::fromStdString(s.domain), QLatin1String(text))
                    .arg(s.port);
    }
    list.sort();
    return list;
}

std::vector<ResolvedService> browse(const Responder& responder,
                                    std::vector<Adapter> adapters = {loopbackAdapter()}) {
    const RoundCancel cancel;
    return browseByMulticast(adapters, settingsFor(responder), cancel);
}

} // namespace

class TestDnsSd : public QObject {
    Q_OBJECT

private slots:
    void resolvesFromAdditionalRecords() {
        Responder responder(
            responderOf({{"nas", ipv4(127, 0, 0, 21)}, {"mac", ipv4(127, 0, 0, 22)}}, true));
        QCOMPARE(describe(browse(responder)), QStringList({"mac share|mac|local|127.0.0.22|445",
                                                           "nas share|nas|local|127.0.0.21|445"}));
        QCOMPARE(responder.queries(), 1); // nothing left to ask
    }

    void asksAgainForWhatIsMissing() {
        Responder responder(responderOf({{"nas", ipv4(127, 0, 0, 21)}}, false));
        QCOMPARE(describe(browse(responder)), QStringList({"nas share|nas|local|127.0.0.21|445"}));
        QCOMPARE(responder.queries(), 3); // browse, service, address
    }

    // The browse answer for "nas" carries records that were not asked for,
    // each able to add a host or change an address if taken.
    void takesOnlyWhatWasAsked_data() {
        QTest::addColumn<QList<QByteArray>>("extra");
        QTest::newRow("pointer of another service") << QList<QByteArray>{
            record(name("_ftp._tcp.local"), dns::TypePTR, instanceName("evil")),
            serviceRecord("evil"), addressRecord("evil", ipv4(127, 0, 0, 66))};
        QTest::newRow("service of an instance never announced")
            << QList<QByteArray>{serviceRecord("evil"), addressRecord("evil", ipv4(127, 0, 0, 66))};
        QTest::newRow("address before any service names the host")
            << QList<QByteArray>{addressRecord("nas", ipv4(127, 0, 0, 66))};
        QTest::newRow("address off the adapters' networks")
            << QList<QByteArray>{addressRecord("nas", ipv4(192, 0, 2, 1))};
    }
    void takesOnlyWhatWasAsked() {
        QFETCH(QList<QByteArray>, extra);
        const auto good = responderOf({{"nas", ipv4(127, 0, 0, 21)}}, false);
        Responder responder([&](const dns::Message& query) {
            QList<QByteArray> replies;
            if (asks(query, dns::TypePTR, "_smb._tcp.local"))
                replies << header(query.id, Response, 0, 1, 0, int(extra.size())) +
                               pointerRecord("nas") + extra.join();
            return replies + good(query);
        });
        QCOMPARE(describe(browse(responder)), QStringList({"nas share|nas|local|127.0.0.21|445"}));
    }

    void ignoresWrongIdsPortsAndNetworks() {
        const auto good = responderOf({{"nas", ipv4(127, 0, 0, 21)}}, true);
        Responder wrongId([&](const dns::Message& query) {
            dns::Message other = query;
            other.id = static_cast<std::uint16_t>(query.id + 1);
            return good(other);
        });
        QVERIFY(browse(wrongId).empty());

        Responder query([&](const dns::Message& q) {
            // The query itself, echoed back: no response flag.
            QList<QByteArray> replies = good(q);
            for (QByteArray& reply : replies)
                reply[2] = char(reply[2] & 0x7F);
            return replies;
        });
        QVERIFY(browse(query).empty());

        Responder otherPort(good);
        otherPort.replyFromOtherPort();
        QVERIFY(browse(otherPort).empty());

        Responder offNetwork(good);
        const Adapter elsewhere{"eth0", address("10.213.77.10"), address("255.255.255.0"), 0};
        QVERIFY(browse(offNetwork, {elsewhere}).empty());
    }

    void malformedRepliesLoseNothingElse() {
        const auto good = responderOf({{"nas", ipv4(127, 0, 0, 21)}}, true);
        Responder responder([&](const dns::Message& query) {
            QList<QByteArray> replies;
            replies << header(query.id, Response, 0, 1) + pointer(12) + QByteArray(10, '\0');
            replies << header(query.id, Response, 0, 0xFFFF);
            replies << QByteArray(3, 'x');
            return replies + good(query);
        });
        QCOMPARE(describe(browse(responder)), QStringList({"nas share|nas|local|127.0.0.21|445"}));
    }

    void boundsTheInstancesFollowed() {
        Responder responder([](const dns::Message& query) {
            QList<QByteArray> replies;
            if (asks(query, dns::TypePTR, "_smb._tcp.local"))
                for (int i = 0; i < int(MaxServiceInstances) + 10; ++i) {
                    const QByteArray host = "h" + QByteArray::number(i);
                    replies << header(query.id, Response, 0, 1, 0, 2) + pointerRecord(host) +
                                   serviceRecord(host) + addressRecord(host, ipv4(127, 0, 1, i));
                }
            return replies;
        });
        QCOMPARE(browse(responder).size(), MaxServiceInstances);
    }

    void cancelEndsTheRoundAtOnce() {
        Responder silent([](const dns::Message&) { return QList<QByteArray>(); });
        MdnsSettings settings = settingsFor(silent);
        settings.browseWindow = std::chrono::seconds(20);
        RoundCancel cancel;
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            cancel.cancel();
        });
        QElapsedTimer timer;
        timer.start();
        QVERIFY(browseByMulticast({loopbackAdapter()}, settings, cancel).empty());
        canceller.join();
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }

    void identityFromNodeStatus_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("expected"); // name|group, or empty for none
        const auto entry = [](const char* name, int suffix, int flags) {
            QByteArray e = QByteArray(name).leftJustified(15, ' ');
            e.append(char(suffix));
            dnsmsg::putU16(e, flags);
            return e;
        };
        QTest::newRow("workstation and group")
            << entry("LABMDNS1", 0x20, 0x0400) + entry("LABMDNS1", 0x00, 0x0400) +
                   entry("MDNSGROUP", 0x00, 0x8400)
            << "LABMDNS1|MDNSGROUP";
        QTest::newRow("no group name") << entry("LABMDNS1", 0x00, 0x0400) << "";
        QTest::newRow("only a group") << entry("MDNSGROUP", 0x00, 0x8400) << "";
        QTest::newRow("control bytes in the name")
            << entry("BAD\x07NAME", 0x00, 0x0400) + entry("MDNSGROUP", 0x00, 0x8400) << "";
    }
    void identityFromNodeStatus() {
        QFETCH(QByteArray, data);
        QFETCH(QString, expected);
        nbns::NodeStatus status;
        for (qsizetype at = 0; at + 18 <= data.size(); at += 18) {
            nbns::NodeName entry;
            std::memcpy(entry.name.data(), data.constData() + at, 16);
            entry.flags = static_cast<std::uint16_t>(std::uint8_t(data[at + 16]) << 8 |
                                                     std::uint8_t(data[at + 17]));
            status.names.push_back(entry);
        }
        const auto identity = norvane::identityFromNodeStatus(status);
        QCOMPARE(identity ? QString::fromStdString(identity->name + '|' + identity->group)
                          : QString(),
                 expected);
    }

    void identityFromHostName_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("expected");
        QTest::newRow("upper-cased") << "labnas"
                                     << "local"
                                     << "LABNAS|LOCAL";
        QTest::newRow("cut to 15") << "labmdns-nas-sixteen"
                                   << "local"
                                   << "LABMDNS-NAS-SIX|LOCAL";
        QTest::newRow("space") << "lab nas"
                               << "local"
                               << "";
        QTest::newRow("escaped dot") << "lab\\.nas"
                                     << "local"
                                     << "";
        QTest::newRow("UTF-8") << "k\xc3\xa4se"
                               << "local"
                               << "";
        QTest::newRow("empty") << ""
                               << "local"
                               << "";
    }
    void identityFromHostName() {
        QFETCH(QString, host);
        QFETCH(QString, domain);
        QFETCH(QString, expected);
        const auto identity =
            norvane::identityFromHostName(host.toStdString(), domain.toStdString());
        QCOMPARE(identity ? QString::fromStdString(identity->name + '|' + identity->group)
                          : QString(),
                 expected);
    }

    // Two hosts, one answering node status on 127.0.0.21, one silent; the
    // first announces two instances and is listed once.
    void sourceNamesHostsOnce() {
        Responder mdns(responderOf({{"nas", ipv4(127, 0, 0, 21)},
                                    {"nas-again", ipv4(127, 0, 0, 21)},
                                    {"macmini", ipv4(127, 0, 0, 22)}},
                                   true));
        const auto statusEntry = [](const char* name, int flags) {
            QByteArray e = QByteArray(name).leftJustified(15, ' ');
            e.append('\0');
            dnsmsg::putU16(e, flags);
            return e;
        };
        test::UdpResponder nbns(
            [&](const QByteArray& request, int) -> QList<QByteArray> {
                if (request.size() < 2)
                    return {};
                const int id = std::uint8_t(request[0]) << 8 | std::uint8_t(request[1]);
                QByteArray data;
                data.append(char(2));
                data += statusEntry("STUDIO", 0x0400) + statusEntry("MEDIA", 0x8400);
                data += QByteArray(6, '\0') + QByteArray(40, '\0');
                return {responseHeader(id, 0x8400, 0, 1) +
                        answerRecord(encodedLabel(nbns::wildcardName()), nbns::TypeNBSTAT, data)};
            },
            address("127.0.0.21"));
        nbns.start();

        DnsSdSettings settings;
        settings.useAvahi = false;
        settings.multicast = settingsFor(mdns);
        settings.nodeStatus.port = nbns.port();
        DnsSdSource source(settings);
        source.start({loopbackAdapter()});
        const auto hosts = source.results();

        QStringList found;
        for (const DiscoveredHost& host : hosts) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &host.address, text, sizeof text);
            found << QString::fromStdString(host.name + '|' + host.group + '|' + text);
        }
        found.sort();
        QCOMPARE(found, QStringList({"MACMINI|LOCAL|127.0.0.22", "STUDIO|MEDIA|127.0.0.21"}));
        QCOMPARE(source.results(), hosts); // asked again, the same answer
    }
};

QTEST_GUILESS_MAIN(TestDnsSd)
#include "tst_dnssd.moc"
