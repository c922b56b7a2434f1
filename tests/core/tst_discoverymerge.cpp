// How the hosts of the discovery sources join each other and the browse
// list's groups and servers: pure logic, no sockets.

#include "common/DiscoveryHosts.h"
#include "discovery/DiscoveryMerge.h"

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
            hostsFrom({"pc1@OTHER@10.0.0.9", "PC3@WG@10.0.0.3"})};
        const auto united = uniteHosts(sources);
        QCOMPARE(united.size(), std::size_t(3));
        QCOMPARE(united[0], sources[0][0]);
        QCOMPARE(united[2], sources[1][1]);
        QCOMPARE(findHost(united, "Pc3"), &united[2]);
        QVERIFY(!findHost(united, "PC"));
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
