// The WS-Discovery client against a scripted device on loopback: the
// whole exchange over real sockets, and what it does with answers that
// point elsewhere, drip, overflow or relate to nothing.

#include "linux/wsd/WsdSource.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace norvane;
using namespace std::chrono_literals;

namespace {

constexpr auto CollectTime = 200ms;
constexpr auto FetchTimeout = 600ms;

enum class Behaviour {
    Answers,          // ProbeMatches with a transport address, sent twice
    NeedsResolve,     // ProbeMatch without one, then a ResolveMatch
    PointsElsewhere,  // transport address of another host
    RelatesToNothing, // RelatesTo of another message
    Drips,            // HTTP answer one byte at a time, never ending
    Overflows,        // HTTP answer beyond the bound
    Redirects,        // HTTP 302
};

int boundSocket(int type, in_addr_t address, std::uint16_t& port) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t size = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
    port = ntohs(local.sin_port);
    return fd;
}

QByteArray soap(const QByteArray& action, const QByteArray& relatesTo, const QByteArray& body) {
    return "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:wsx=\"http://schemas.xmlsoap.org/ws/2004/09/mex\" "
           "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\" "
           "xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\"><soap:Header>"
           "<wsa:Action>" +
           action + "</wsa:Action><wsa:RelatesTo>" + relatesTo +
           "</wsa:RelatesTo></soap:Header><soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

QByteArray messageId(const QByteArray& message) {
    static const QRegularExpression id("<wsa:MessageID>([^<]*)</wsa:MessageID>");
    return id.match(QString::fromUtf8(message)).captured(1).toUtf8();
}

// A device on loopback: WS-Discovery on a UDP port, metadata over HTTP.
class ScriptedDevice {
public:
    explicit ScriptedDevice(Behaviour behaviour) : m_behaviour(behaviour) {
        m_udp = boundSocket(SOCK_DGRAM, htonl(INADDR_LOOPBACK), m_udpPort);
        // On every loopback address, so that a fetch from another one shows.
        m_http = boundSocket(SOCK_STREAM, htonl(INADDR_ANY), m_httpPort);
        listen(m_http, 4);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedDevice() {
        m_stop = true;
        m_thread.join();
        close(m_udp);
        close(m_http);
    }
    std::uint16_t port() const { return m_udpPort; }
    int fetches() const { return m_fetches; }

private:
    void serve() {
        while (!m_stop) {
            pollfd fds[] = {{m_udp, POLLIN, 0}, {m_http, POLLIN, 0}};
            if (poll(fds, 2, 20) <= 0)
                continue;
            if (fds[0].revents != 0)
                answerDatagram();
            if (fds[1].revents != 0)
                answerHttp();
        }
    }

    void answerDatagram() {
        char buffer[65536];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t got =
            recvfrom(m_udp, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (got <= 0)
            return;
        const QByteArray request(buffer, int(got));
        const QByteArray id = m_behaviour == Behaviour::RelatesToNothing
                                  ? QByteArray("urn:uuid:someone-else")
                                  : messageId(request);
        const QByteArray host =
            m_behaviour == Behaviour::PointsElsewhere ? "127.0.0.2" : "127.0.0.1";
        const QByteArray xaddrs = "<wsd:XAddrs>http://" + host + ':' +
                                  QByteArray::number(m_httpPort) + "/device</wsd:XAddrs>";
        const QByteArray endpoint = "<wsa:EndpointReference><wsa:Address>urn:uuid:device"
                                    "</wsa:Address></wsa:EndpointReference>";
        QByteArray reply;
        if (request.contains("discovery/Resolve<"))
            reply = soap("http://schemas.xmlsoap.org/ws/2005/04/discovery/ResolveMatches", id,
                         "<wsd:ResolveMatches><wsd:ResolveMatch>" + endpoint + xaddrs +
                             "</wsd:ResolveMatch></wsd:ResolveMatches>");
        else
            reply = soap("http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches", id,
                         "<wsd:ProbeMatches><wsd:ProbeMatch>" + endpoint +
                             (m_behaviour == Behaviour::NeedsResolve ? QByteArray() : xaddrs) +
                             "</wsd:ProbeMatch></wsd:ProbeMatches>");
        for (int copy = 0; copy < 2; ++copy)
            sendto(m_udp, reply.constData(), size_t(reply.size()), 0,
                   reinterpret_cast<sockaddr*>(&from), size);
    }

    void answerHttp() {
        const int client = accept(m_http, nullptr, nullptr);
        ++m_fetches;
        char buffer[65536];
        QByteArray request;
        while (!request.contains("</soap:Envelope>")) {
            const ssize_t got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, int(got));
        }
        const QByteArray body = soap(
            "http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse", messageId(request),
            "<wsx:Metadata><wsx:MetadataSection><wsdp:Relationship><wsdp:Host>"
            "<pub:Computer>PC1/Workgroup:HOMENET</pub:Computer></wsdp:Host></wsdp:Relationship>"
            "</wsx:MetadataSection></wsx:Metadata>");
        QByteArray response;
        switch (m_behaviour) {
        case Behaviour::Redirects:
            response = "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1/\r\n\r\n";
            break;
        case Behaviour::Overflows:
            response = "HTTP/1.1 200 OK\r\n\r\n" + body + QByteArray(100000, ' ');
            break;
        default:
            response = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                       "\r\n\r\n" + body;
        }
        if (m_behaviour == Behaviour::Drips) {
            for (int i = 0; i < response.size() && !m_stop; ++i) {
                send(client, response.constData() + i, 1, MSG_NOSIGNAL);
                std::this_thread::sleep_for(50ms);
            }
        } else {
            send(client, response.constData(), size_t(response.size()), MSG_NOSIGNAL);
        }
        close(client);
    }

    Behaviour m_behaviour;
    int m_udp = -1;
    int m_http = -1;
    std::uint16_t m_udpPort = 0;
    std::uint16_t m_httpPort = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_fetches{0};
    std::thread m_thread;
};

WsdSettings loopbackSettings(const ScriptedDevice& device) {
    WsdSettings settings;
    settings.port = device.port();
    settings.destination = "127.0.0.1";
    settings.collectTime = CollectTime;
    settings.resolveTimeout = CollectTime;
    settings.fetchTimeout = FetchTimeout;
    return settings;
}

const std::vector<Adapter> Loopback{
    {.name = "lo",
     .address = htonl(INADDR_LOOPBACK),
     .netmask = htonl(0xFF000000),
     .canBroadcast = true,
     .broadcast = htonl(0x7FFFFFFF)}};

} // namespace

class TestWsdSource : public QObject {
    Q_OBJECT

private slots:
    void round_data() {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("fetches");
        QTest::newRow("answers twice: one host") << int(Behaviour::Answers) << true << 1;
        QTest::newRow("resolved first") << int(Behaviour::NeedsResolve) << true << 1;
        QTest::newRow("transport address of another host")
            << int(Behaviour::PointsElsewhere) << false << 0;
        QTest::newRow("relates to another message")
            << int(Behaviour::RelatesToNothing) << false << 0;
        QTest::newRow("answer drips") << int(Behaviour::Drips) << false << 1;
        QTest::newRow("answer overflows") << int(Behaviour::Overflows) << false << 1;
        QTest::newRow("redirect") << int(Behaviour::Redirects) << false << 1;
    }
    void round() {
        QFETCH(int, behaviour);
        QFETCH(bool, found);
        QFETCH(int, fetches);
        ScriptedDevice device{Behaviour(behaviour)};
        WsdSource source(loopbackSettings(device));
        QElapsedTimer timer;
        timer.start();
        source.start(Loopback);
        const std::vector<DiscoveredHost> hosts = source.results();
        const auto elapsed = std::chrono::milliseconds(timer.elapsed());
        if (found) {
            QCOMPARE(hosts.size(), std::size_t(1));
            QCOMPARE(hosts[0], (DiscoveredHost{.name = "PC1",
                                               .group = "HOMENET",
                                               .address = htonl(INADDR_LOOPBACK),
                                               .foundBy = FoundBy::WsDiscovery}));
        } else {
            QVERIFY(hosts.empty());
        }
        QCOMPARE(device.fetches(), fetches);
        // However the device answers, the round ends within its bounds.
        QVERIFY(elapsed >= CollectTime);
        QVERIFY2(elapsed < CollectTime * 2 + FetchTimeout + 300ms,
                 qPrintable(QString::number(elapsed.count())));
        QCOMPARE(source.results(), hosts);
    }

    void cancelEndsTheRoundAtOnce() {
        ScriptedDevice device{Behaviour::Drips};
        WsdSettings settings = loopbackSettings(device);
        settings.collectTime = 5s;
        WsdSource source(settings);
        source.start(Loopback);
        std::this_thread::sleep_for(100ms);
        QElapsedTimer timer;
        timer.start();
        source.cancel();
        QVERIFY(source.results().empty());
        QVERIFY(timer.elapsed() < 200);
    }
};

QTEST_GUILESS_MAIN(TestWsdSource)
#include "tst_wsdsource.moc"
