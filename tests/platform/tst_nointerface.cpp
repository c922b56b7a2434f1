// With no network interface up at all, the platform reports that no network
// provider is there instead of letting libsmbclient end the process; with
// only a point-to-point link (a VPN tunnel) that link is an adapter. Run
// inside a fresh network namespace (its loopback is down); elsewhere it
// skips.

#include "InterfacesUp.h"
#include "linux/Adapters.h"
#include "linux/LinuxPlatform.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace norvane;
using norvane::test::anyInterfaceUp;

class TestNoInterface : public QObject {
    Q_OBJECT

private slots:
    void providerFailsWithoutInterfaces() {
        if (anyInterfaceUp())
            QSKIP("an interface is up; run in a network namespace without interfaces");

        LinuxPlatform platform;
        char name[ProviderNameSize] = {};
        DWORD size = ProviderNameSize;
        const DWORD result = platform.getProviderName(WNNC_NET_LANMAN, name, &size);
        QVERIFY(result != 0);
        QCOMPARE(platform.getLastError(), result);
        Ncb ncb;
        std::uint8_t lanas[LanaEnumSize] = {};
        ncb.command = NCBENUM;
        ncb.buffer = lanas;
        ncb.length = LanaEnumSize;
        platform.netbios(ncb);
        QCOMPARE(int(lanas[0]), 0);
    }

    // Runs after the case above: it brings a tunnel up in the namespace.
    void pointToPointLinkIsAnAdapter() {
        if (anyInterfaceUp() || QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
            QSKIP("needs the empty network namespace of the case above and the ip tool");
        for (const QString& command :
             {QStringLiteral("tuntap add dev nvtun0 mode tun"),
              QStringLiteral("addr add 10.213.99.1 peer 10.213.99.2 dev nvtun0"),
              QStringLiteral("link set nvtun0 up")})
            QCOMPARE(QProcess::execute(QStringLiteral("ip"), command.split(QLatin1Char(' '))), 0);

        const std::vector<Adapter> adapters = listAdapters();
        QCOMPARE(adapters.size(), std::size_t(1));
        QCOMPARE(adapters.front().name, std::string("nvtun0"));
        QVERIFY(!adapters.front().canBroadcast);
        LinuxPlatform platform;
        Ncb ncb;
        std::uint8_t lanas[LanaEnumSize] = {};
        ncb.command = NCBENUM;
        ncb.buffer = lanas;
        ncb.length = LanaEnumSize;
        QCOMPARE(platform.netbios(ncb), NRC_GOODRET);
        QCOMPARE(int(lanas[0]), 1);
        Ncb reset;
        reset.command = NCBRESET;
        reset.lanaNum = lanas[1];
        QCOMPARE(platform.netbios(reset), NRC_GOODRET);
    }
};

QTEST_GUILESS_MAIN(TestNoInterface)
#include "tst_nointerface.moc"
