// What a discovery round may add to the list: names that are addresses,
// the local host or lookalikes are refused, and so are addresses no host
// can have; one address stands for one computer.

#include "discovery/DiscoveryAdmission.h"

#include <QtTest>

#include <arpa/inet.h>

using namespace norvane;

namespace {

std::uint32_t address(const char* text) {
    return inet_addr(text);
}

DiscoveredHost host(std::string name, const char* at) {
    return {.name = std::move(name),
            .group = "LABGROUP1",
            .address = address(at),
            .foundBy = FoundBy::WsDiscovery};
}

const Subnet Lab{.network = address("10.213.77.0"), .netmask = address("255.255.255.0")};

} // namespace

class TestDiscoveryAdmission : public QObject {
    Q_OBJECT

private slots:
    void names_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("a NetBIOS name") << QByteArray("LABSRV2") << false;
        QTest::newRow("a name with a space") << QByteArray("MY PC") << false;
        QTest::newRow("a formula is a name; CSV defends it") << QByteArray("=1+2") << false;
        QTest::newRow("non-ASCII letters") << QByteArray("BÜRO-PC") << false;
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("dotted loopback") << QByteArray("127.0.0.1") << true;
        QTest::newRow("with the root's dot") << QByteArray("127.0.0.1.") << true;
        QTest::newRow("one number") << QByteArray("2130706433") << true;
        QTest::newRow("short form") << QByteArray("127.1") << true;
        QTest::newRow("hexadecimal") << QByteArray("0x7f000001") << true;
        QTest::newRow("octal") << QByteArray("0177.0.0.1") << true;
        QTest::newRow("another host's address") << QByteArray("10.213.77.102") << true;
        QTest::newRow("IPv6") << QByteArray("::1") << true;
        QTest::newRow("localhost") << QByteArray("localhost") << true;
        QTest::newRow("LOCALHOST.") << QByteArray("LOCALHOST.") << true;
        QTest::newRow("under localhost") << QByteArray("box.localhost") << true;
        QTest::newRow("zero-width space") << QByteArray("LABSRV2\xE2\x80\x8B") << true;
        QTest::newRow("right-to-left override") << QByteArray("\xE2\x80\xAE"
                                                              "2VRSBAL")
                                                << true;
        QTest::newRow("soft hyphen") << QByteArray("LAB\xC2\xADSRV2") << true;
        QTest::newRow("no-break space") << QByteArray("LABSRV2\xC2\xA0") << true;
        QTest::newRow("Hangul filler") << QByteArray("LABSRV2\xE3\x85\xA4") << true;
        QTest::newRow("control character") << QByteArray("LAB\tSRV2") << true;
        QTest::newRow("not UTF-8") << QByteArray("LAB\xFFSRV") << true;
        QTest::newRow("too long") << QByteArray(64, 'A') << true;
    }
    void names() {
        QFETCH(QByteArray, name);
        QFETCH(bool, refused);
        const auto reason = discoveredNameRefusal(name.toStdString());
        QVERIFY2(reason.has_value() == refused, qPrintable(reason.value_or("admitted")));
    }

    void addresses_data() {
        QTest::addColumn<QByteArray>("at");
        QTest::addColumn<bool>("admitted");
        QTest::newRow("a lab host") << QByteArray("10.213.77.102") << true;
        QTest::newRow("beyond a router") << QByteArray("10.213.78.5") << true;
        QTest::newRow("loopback") << QByteArray("127.0.0.1") << false;
        QTest::newRow("this network") << QByteArray("0.0.0.0") << false;
        QTest::newRow("multicast") << QByteArray("239.255.255.250") << false;
        QTest::newRow("limited broadcast") << QByteArray("255.255.255.255") << false;
        QTest::newRow("the subnet's network") << QByteArray("10.213.77.0") << false;
        QTest::newRow("the subnet's broadcast") << QByteArray("10.213.77.255") << false;
    }
    void addresses() {
        QFETCH(QByteArray, at);
        QFETCH(bool, admitted);
        const std::vector<DiscoveredHost> found{host("PC1", at.constData())};
        QCOMPARE(admitHosts(found, std::span(&Lab, 1)).admitted.size(), admitted ? 1u : 0u);
    }

    // A device answering for many endpoints stands for one computer; a
    // flood of distinct addresses stops at the round's bound.
    void oneComputerPerAddressAndABoundedRound() {
        std::vector<DiscoveredHost> found{host("PC1", "10.213.77.50"),
                                          host("LABSRV3", "10.213.77.50"),
                                          host("PC2", "10.213.77.51")};
        Admission admission = admitHosts(found, std::span(&Lab, 1));
        QCOMPARE(admission.admitted, (std::vector<DiscoveredHost>{found[0], found[2]}));
        QCOMPARE(admission.refused.size(), 1u);
        QCOMPARE(admission.refused[0].host, found[1]);

        found.clear();
        for (std::uint32_t i = 0; i < MaxHostsPerSourceRound + 10; ++i)
            found.push_back({.name = "PC" + std::to_string(i),
                             .group = "G",
                             .address = htonl(0x0A000000u + 1 + i),
                             .foundBy = FoundBy::DnsSd});
        QCOMPARE(admitHosts(found, {}).admitted.size(), MaxHostsPerSourceRound);
        QCOMPARE(admitHosts(found, {}, 5).admitted.size(), 5u);
    }

    // A directory's computers have no answering address yet: several at 0
    // are admitted, and their names are still checked.
    void namedHostsNeedNoAddress() {
        std::vector<DiscoveredHost> found{host("PC1", "0.0.0.0"), host("PC2", "0.0.0.0"),
                                          host("127.0.0.1", "0.0.0.0")};
        for (DiscoveredHost& named : found)
            named.reach = HostReach::Named;
        const Admission admission = admitHosts(found, std::span(&Lab, 1));
        QCOMPARE(admission.admitted, (std::vector<DiscoveredHost>{found[0], found[1]}));
        QCOMPARE(admission.refused.size(), 1u);
    }
};

QTEST_GUILESS_MAIN(TestDiscoveryAdmission)
#include "tst_discoveryadmission.moc"
