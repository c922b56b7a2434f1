// SIGTERM, SIGINT and SIGHUP close the program as its close box does. In
// the process: each signal becomes a quit request on the event loop. As the
// user meets it: the program, signalled while it runs, exits normally and
// leaves its settings file and file-manager entry behind. The program runs
// in a network namespace of its own (the test is started in a fresh one as
// root) whose only adapter is a tunnel with no carrier, so it reaches no
// network; elsewhere that part skips.

#include "InterfacesUp.h"
#include "mainwindow/QuitSignals.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace norvane;
using norvane::test::anyInterfaceUp;

namespace {

constexpr int ProgramStartMs = 20000;
constexpr int ProgramEndMs = 20000;

// Whether process `pid` has a handler of its own for `signalNumber`.
bool catches(qint64 pid, int signalNumber) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1U;
    }
    return false;
}

} // namespace

class TestQuitSignals : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void signalsBecomeQuitRequests_data();
    void signalsBecomeQuitRequests();
    void programClosesAsByItsCloseBox_data();
    void programClosesAsByItsCloseBox();

private:
    bool m_programCanRun = false;
};

void TestQuitSignals::initTestCase() {
    // A fresh namespace gets one tunnel, the adapter start-up asks for.
    if (anyInterfaceUp() || QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        return;
    for (const QString& command :
         {QStringLiteral("tuntap add dev nvtun0 mode tun"),
          QStringLiteral("addr add 10.213.99.1 peer 10.213.99.2 dev nvtun0"),
          QStringLiteral("link set nvtun0 up")})
        QCOMPARE(QProcess::execute(QStringLiteral("ip"), command.split(QLatin1Char(' '))), 0);
    m_programCanRun = true;
}

void TestQuitSignals::signalsBecomeQuitRequests_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestQuitSignals::signalsBecomeQuitRequests() {
    QFETCH(int, signalNumber);
    const QuitSignals quitSignals;
    QSignalSpy requests(&quitSignals, &QuitSignals::quitRequested);
    QCOMPARE(std::raise(signalNumber), 0);
    QVERIFY(requests.wait());
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().first().toInt(), signalNumber);
}

void TestQuitSignals::programClosesAsByItsCloseBox_data() {
    signalsBecomeQuitRequests_data();
}

void TestQuitSignals::programClosesAsByItsCloseBox() {
    QFETCH(int, signalNumber);
    if (!m_programCanRun)
        QSKIP("needs a fresh network namespace as root and the ip tool");
#ifdef NORVANE_TSAN
    // Qt is not instrumented: a program that ignores it for ThreadSanitizer
    // gets no signal while it waits in Qt's event loop, and one that does
    // not reports Qt's own synchronisation.
    QSKIP("the program's signal handling is not checked under ThreadSanitizer");
#endif
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(NORVANE_PROGRAM), QStringList());
    QVERIFY(program.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return catches(program.processId(), signalNumber); },
                            ProgramStartMs));

    QCOMPARE(::kill(pid_t(program.processId()), signalNumber), 0);
    QVERIFY(program.waitForFinished(ProgramEndMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(QFile::exists(home.filePath(QStringLiteral(".config/Halvorix/Norvane.conf"))));
    QVERIFY(
        QFile::exists(home.filePath(QStringLiteral("data/kio/servicemenus/norvane-scan.desktop"))));
}

QTEST_GUILESS_MAIN(TestQuitSignals)
#include "tst_quitsignals.moc"
