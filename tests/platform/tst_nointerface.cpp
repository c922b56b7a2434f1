// With no network interface up at all, the platform reports that no network
// provider is there instead of letting libsmbclient end the process. Run
// inside a fresh network namespace (its loopback is down); elsewhere it
// skips.

#include "linux/LinuxPlatform.h"

#include <QTest>

#include <ifaddrs.h>
#include <net/if.h>

using namespace norvane;

class TestNoInterface : public QObject {
    Q_OBJECT

private slots:
    void providerFailsWithoutInterfaces() {
        ifaddrs* list = nullptr;
        QVERIFY(getifaddrs(&list) == 0);
        bool anyUp = false;
        for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next)
            anyUp = anyUp || (entry->ifa_flags & IFF_UP) != 0;
        freeifaddrs(list);
        if (anyUp)
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
};

QTEST_GUILESS_MAIN(TestNoInterface)
#include "tst_nointerface.moc"
