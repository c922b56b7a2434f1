// Start-up checks over the scripted platform: every check runs, failures
// are reported in order, and the outcome carries provider and adapter.

#include "fake/FakePlatform.h"
#include "session/StartupChecks.h"

#include <QtTest>

using namespace norvane;
using norvane::test::FakePlatform;

class TestStartupChecks : public QObject {
    Q_OBJECT

private slots:
    void healthyStackPasses();
    void failuresInOrder_data();
    void failuresInOrder();
    void consumerFamilySkipsReset();
    void providerNameIsBoundedByItsBuffer();
};

namespace {

struct Run {
    StartupResult result;
    QStringList errors;
};

Run runChecks(FakePlatform& platform) {
    Run run;
    run.result = StartupChecks(platform, [&](const QString& text) { run.errors << text; }).run();
    return run;
}

std::vector<std::string> expectedCalls(std::uint8_t lana, bool reset) {
    std::vector<std::string> calls{"getProviderName(131072,256)", "wsaStartup(0x0101)",
                                   "netbios(NCBENUM,length=256)"};
    if (reset)
        calls.push_back("netbios(NCBRESET,lana=" + std::to_string(lana) + ")");
    return calls;
}

} // namespace

void TestStartupChecks::healthyStackPasses() {
    FakePlatform platform;
    platform.providerName = "Windows Network";
    platform.lanas = {3, 1};
    const Run run = runChecks(platform);
    QVERIFY(run.errors.isEmpty());
    QVERIFY(!run.result.doomed);
    QCOMPARE(run.result.providerName, QByteArray("Windows Network"));
    QCOMPARE(run.result.lanaNum, std::uint8_t{3});
    QCOMPARE(platform.calls(), expectedCalls(3, true));
}

void TestStartupChecks::failuresInOrder_data() {
    QTest::addColumn<bool>("providerFails");
    QTest::addColumn<bool>("socketsFail");
    QTest::addColumn<int>("adapters"); // -1: enumeration fails
    QTest::addColumn<bool>("resetFails");
    QTest::addColumn<QStringList>("errors");

    const QString provider = startupmessages::NoProvider;
    const QString sockets = startupmessages::NoSockets;
    const QString adapter = startupmessages::NoAdapter;
    const QString reset = startupmessages::ResetFailed;

    QTest::newRow("provider") << true << false << 1 << false << QStringList{provider};
    QTest::newRow("sockets") << false << true << 1 << false << QStringList{sockets};
    QTest::newRow("enumeration fails") << false << false << -1 << false << QStringList{adapter};
    QTest::newRow("no adapter") << false << false << 0 << false << QStringList{adapter};
    QTest::newRow("reset") << false << false << 1 << true << QStringList{reset};
    QTest::newRow("all four") << true << true << -1 << true
                              << QStringList{provider, sockets, adapter, reset};
    QTest::newRow("provider and reset")
        << true << false << 1 << true << QStringList{provider, reset};
}

void TestStartupChecks::failuresInOrder() {
    QFETCH(bool, providerFails);
    QFETCH(bool, socketsFail);
    QFETCH(int, adapters);
    QFETCH(bool, resetFails);
    QFETCH(QStringList, errors);

    FakePlatform platform;
    if (providerFails)
        platform.providerNameResult = win::NoNetwork;
    if (socketsFail)
        platform.wsaStartupResult = 10091;
    if (adapters < 0)
        platform.enumRetcode = NRC_SYSTEM;
    platform.lanas.assign(static_cast<std::size_t>(std::max(adapters, 0)), std::uint8_t{0});
    if (resetFails)
        platform.resetRetcode = NRC_ENVNOTDEF;

    const Run run = runChecks(platform);
    QCOMPARE(run.errors, errors);
    QVERIFY(run.result.doomed);
    // Every check ran, also after a failure.
    QCOMPARE(platform.calls(), expectedCalls(0, true));
    if (providerFails)
        QVERIFY(run.result.providerName.isEmpty());
}

void TestStartupChecks::consumerFamilySkipsReset() {
    FakePlatform platform;
    platform.platformFamily = 1;
    platform.resetRetcode = NRC_ENVNOTDEF; // would fail if it were made
    const Run run = runChecks(platform);
    QVERIFY(run.errors.isEmpty());
    QVERIFY(!run.result.doomed);
    QCOMPARE(platform.calls(), expectedCalls(0, false));
}

void TestStartupChecks::providerNameIsBoundedByItsBuffer() {
    // A name that fills the buffer exactly has no room for its terminator:
    // the platform refuses it and nothing beyond the buffer is read.
    FakePlatform platform;
    platform.providerName = std::string(ProviderNameSize, 'N');
    const Run run = runChecks(platform);
    QCOMPARE(run.errors, QStringList{startupmessages::NoProvider});
    QVERIFY(run.result.providerName.isEmpty());

    platform.providerName = std::string(ProviderNameSize - 1, 'N');
    QCOMPARE(runChecks(platform).result.providerName, QByteArray(ProviderNameSize - 1, 'N'));
}

QTEST_GUILESS_MAIN(TestStartupChecks)
#include "tst_session.moc"
