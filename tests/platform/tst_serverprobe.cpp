// The SMB port check as a server sees it: the first port that accepts
// answers, the second port is connected only when the first refuses (at
// once) or leaves its connect unanswered (after the delay), and a check
// ends at once when abandoned.

#include "LoopbackPort.h"
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
