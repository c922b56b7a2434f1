// How the hosts of the discovery sources join each other and the browse
// list's groups and servers: pure logic, no sockets.

#include "common/DiscoveryHosts.h"
#include "discovery/DiscoveryMerge.h"
#include "platform/NetworkPlatform.h"

#include <QtTest>

using namespace norvane;
using namespace norvane::test;

class TestDiscoveryMerge : public QObject {
    Q_OBJECT

private slots:
    void mergeWorkgroups_data() {
        QTest::addColumn<QStringList>("browsed");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing discovered")
            << QStringList{"LABGROUP1"} << QStringList{} << QStringList{"LABGROUP1"};
        QTest::newRow("a group only discovery knows")
            << QStringList{"LABGROUP1"} << QStringList{"PC1@LABGROUP1", "PC2@HOMENET"}
            << QStringList{"LABGROUP1", "HOMENET"};
        QTest::newRow("case differs: the browse list's spelling")
            << QStringList{"LabGroup1"} << QStringList{"PC1@LABGROUP1", "PC2@labgroup1"}
            << QStringList{"LabGroup1"};
        QTest::newRow("no browse list: each group once")
            << QStringList{} << QStringList{"A@HOME", "B@home", "DC@corp.example"}
            << QStringList{"HOME", "corp.example"};
    }
    void mergeWorkgroups() {
        QFETCH(QStringList, browsed);
        QFETCH(QStringList, found);
        QFETCH(QStringList, expected);
        QCOMPARE(
            namesOf(norvane::mergeWorkgroups(entriesFrom(SmbWorkgroup, browsed), hostsFrom(found))),
            expected);
    }

    void mergeServers_data() {
        QTest::addColumn<QStringList>("browsed");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("union, a name once without case")
            << QStringList{"SRV1"} << QStringList{"srv1@GROUP", "NEW@group", "ELSE@OTHER"}
            << QStringList{"SRV1", "NEW"};
        QTest::newRow("only discovery")
            << QStringList{} << QStringList{"PC@GROUP", "PC2@GROUP"} << QStringList{"PC", "PC2"};
        QTest::newRow("other groups only")
            << QStringList{"SRV1"} << QStringList{"PC@GROUPS"} << QStringList{"SRV1"};
    }
    void mergeServers() {
        QFETCH(QStringList, browsed);
        QFETCH(QStringList, found);
        QFETCH(QStringList, expected);
        QCOMPARE(namesOf(norvane::mergeServers(entriesFrom(SmbServer, browsed), "GROUP",
                                               hostsFrom(found))),
                 expected);
    }

    void unitedSourcesNameAHostOnce() {
        const std::vector<std::vector<DiscoveredHost>> sources{
            hostsFrom({"PC1@WG@10.0.0.1", "PC2@WG@10.0.0.2"}),
            hostsFrom({"pc1@OTHER@10.0.0.1", "PC3@WG@10.0.0.3"})};
        const auto united = uniteHosts(sources);
        QCOMPARE(united.size(), std::size_t(3));
        QCOMPARE(united[0], sources[0][0]);
        QCOMPARE(united[2], sources[1][1]);
        QCOMPARE(findHost(united, "Pc3"), &united[2]);
        QVERIFY(!findHost(united, "PC"));
    }

    // Unauthenticated answers that put one name at two addresses make it
    // contested, whichever came first, in one source or across two: it is
    // trusted at neither address. A directory's name is never contested,
    // and a contested claim frees no address for another name.
    void contestedNames_data() {
        QTest::addColumn<QStringList>("first");  // WS-Discovery; no address: a directory's
        QTest::addColumn<QStringList>("second"); // an address sweep
        QTest::addColumn<QStringList>("united"); // NAME@ADDRESS, @contested or @named
        QTest::newRow("one host, two sources")
            << QStringList{"PC1@WG@10.0.0.1"} << QStringList{"pc1@WG@10.0.0.1"}
            << QStringList{"PC1@10.0.0.1"};
        QTest::newRow("impostor answers last")
            << QStringList{"SRV@WG@10.0.0.1"} << QStringList{"SRV@WG@10.0.0.66"}
            << QStringList{"SRV@contested"};
        QTest::newRow("impostor answers first")
            << QStringList{"SRV@WG@10.0.0.66"} << QStringList{"SRV@WG@10.0.0.1"}
            << QStringList{"SRV@contested"};
        QTest::newRow("within one sweep")
            << QStringList{} << QStringList{"SRV@WG@10.0.0.1", "srv@WG@10.0.0.2", "PC@WG@10.0.0.3"}
            << QStringList{"SRV@contested", "PC@10.0.0.3"};
        QTest::newRow("three claims")
            << QStringList{"SRV@WG@10.0.0.1", "SRV@WG@10.0.0.2"} << QStringList{"SRV@WG@10.0.0.3"}
            << QStringList{"SRV@contested"};
        QTest::newRow("directory's name")
            << QStringList{"SRV@DOM"} << QStringList{"SRV@WG@10.0.0.1", "SRV@WG@10.0.0.2"}
            << QStringList{"SRV@named"};
        QTest::newRow("contested address stays taken")
            << QStringList{"A@WG@10.0.0.1", "A@WG@10.0.0.2"} << QStringList{"B@WG@10.0.0.1"}
            << QStringList{"A@contested"};
    }
    void contestedNames() {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(QStringList, united);
        std::vector<std::vector<DiscoveredHost>> sources{hostsFrom(first), hostsFrom(second)};
        for (DiscoveredHost& host : sources[0]) {
            host.dnsName = "claimed.example";
            if (host.address == 0) {
                host.reach = HostReach::Named;
                host.foundBy = FoundBy::Directory;
            }
        }
        for (DiscoveredHost& host : sources[1])
            host.foundBy = FoundBy::AddressRange;
        QStringList got;
        for (const DiscoveredHost& host : uniteHosts(sources)) {
            QString where = QString::fromStdString(NetworkPlatform::inetNtoa(host.address));
            if (host.reach == HostReach::Contested) {
                where = QStringLiteral("contested");
                QCOMPARE(host.address, 0u);
                // What one claimant said of itself is not kept.
                QVERIFY(host.dnsName.empty());
            } else if (host.reach == HostReach::Named) {
                where = QStringLiteral("named");
            }
            got << QString::fromStdString(host.name) + QLatin1Char('@') + where;
        }
        QCOMPARE(got, united);
    }

    // A name a directory gave cannot be taken by an answer, whichever
    // source came first; answers still own one address each.
    void namedHostsWinTheirName() {
        std::vector<std::vector<DiscoveredHost>> sources{
            hostsFrom({"SRV@WG@10.0.0.1", "PC2@WG@10.0.0.2"}), hostsFrom({"srv@DOM@0.0.0.0"})};
        sources[1][0].reach = HostReach::Named;
        const auto united = uniteHosts(sources);
        QCOMPARE(united.size(), std::size_t(2));
        QCOMPARE(united[0], sources[1][0]);
        QCOMPARE(united[1], sources[0][1]);
    }
};

QTEST_GUILESS_MAIN(TestDiscoveryMerge)
#include "tst_discoverymerge.moc"
