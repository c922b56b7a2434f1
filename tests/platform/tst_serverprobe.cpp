// The SMB port check as a server sees it: the first port that accepts
// answers, the second port is connected only when the first refuses (at
// once) or leaves its connect unanswered (after the delay), and a check
// ends at once when abandoned.

#include "linux/Abandonment.h"
#include "linux/ServerProbe.h"

#include <QTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <thread>

using namespace norvane;
using namespace std::chrono_literals;

namespace {

const std::uint32_t Loopback = htonl(INADDR_LOOPBACK);
constexpr auto Timeout = 5000ms;
// Long enough that a check which waited for it cannot pass for one that
// did not.
constexpr auto LongDelay = 1500ms;

// A listening socket on the loopback address; `backlog` -1 leaves it bound
// and not listening, so that connects to it are refused.
class Port {
public:
    explicit Port(int backlog) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = Loopback;
        socklen_t size = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            (backlog < 0 || ::listen(m_fd, backlog) == 0) &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            number = ntohs(address.sin_port);
    }
    ~Port() {
        for (const int client : m_clients)
            ::close(client);
        ::close(m_fd);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Whether a connection waits to be accepted.
    bool connected() const {
        pollfd wait{m_fd, POLLIN, 0};
        return ::poll(&wait, 1, 0) == 1;
    }
    // Fills the queue of connections waiting to be accepted, so that the
    // kernel drops further connects unanswered.
    void fill() {
        for (int i = 0; i < 4; ++i) {
            const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = Loopback;
            to.sin_port = htons(number);
            ::connect(client, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            m_clients.push_back(client);
        }
        std::this_thread::sleep_for(50ms);
    }

    std::uint16_t number = 0;

private:
    int m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::vector<int> m_clients;
};

} // namespace

class TestServerProbe : public QObject {
    Q_OBJECT
private slots:
    void firstPortThatAcceptsAnswers();
    void secondPortOnlyAfterRefusalOrDelay();
    void abandonedCheckEndsAtOnce();
};

void TestServerProbe::firstPortThatAcceptsAnswers() {
    const Port first(8);
    const Port second(8);
    const std::array ports{first.number, second.number};
    const ProbeAnswer answer = probeSmbServer(Loopback, Timeout, -1, ports, LongDelay);
    QCOMPARE(answer.error, 0);
    QCOMPARE(answer.port, first.number);
    QVERIFY2(!second.connected(), "the second port was connected although the first accepted");

    const Port refusedFirst(-1);
    const Port refusedSecond(-1);
    const std::array refused{refusedFirst.number, refusedSecond.number};
    const auto started = std::chrono::steady_clock::now();
    const ProbeAnswer none = probeSmbServer(Loopback, Timeout, -1, refused, LongDelay);
    QCOMPARE(none.error, ECONNREFUSED);
    QCOMPARE(none.port, std::uint16_t(0));
    QVERIFY(std::chrono::steady_clock::now() - started < LongDelay);
}

void TestServerProbe::secondPortOnlyAfterRefusalOrDelay() {
    const Port second(8);
    {
        const Port refused(-1);
        const auto started = std::chrono::steady_clock::now();
        const ProbeAnswer answer = probeSmbServer(
            Loopback, Timeout, -1, std::array{refused.number, second.number}, LongDelay);
        QCOMPARE(answer.port, second.number);
        QVERIFY2(std::chrono::steady_clock::now() - started < LongDelay,
                 "a refusal waited for the delay");
    }
    Port silent(0);
    silent.fill();
    const auto started = std::chrono::steady_clock::now();
    const ProbeAnswer answer =
        probeSmbServer(Loopback, Timeout, -1, std::array{silent.number, second.number}, 300ms);
    const auto took = std::chrono::steady_clock::now() - started;
    QCOMPARE(answer.port, second.number);
    QVERIFY(took >= 300ms);
    QVERIFY(took < Timeout);
}

void TestServerProbe::abandonedCheckEndsAtOnce() {
    Port silent(0);
    silent.fill();
    Abandonment abandonment;
    std::thread stop([&] {
        std::this_thread::sleep_for(100ms);
        abandonment.set(true);
    });
    const auto started = std::chrono::steady_clock::now();
    const ProbeAnswer answer =
        probeSmbServer(Loopback, Timeout, abandonment.fd(), std::array{silent.number}, LongDelay);
    const auto took = std::chrono::steady_clock::now() - started;
    stop.join();
    QCOMPARE(answer.error, ECANCELED);
    QVERIFY(took < 1000ms);
}

QTEST_GUILESS_MAIN(TestServerProbe)
#include "tst_serverprobe.moc"
