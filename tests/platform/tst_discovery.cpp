// Discovery beside the browse list: how the platform's enumerations list
// the union of the browse list and the sources.

#include "ScriptedDirectory.h"
#include "common/DiscoveryHosts.h"
#include "discovery/DiscoveryMerge.h"
#include "linux/LinuxPlatform.h"
#include "linux/discovery/IdentityPrefetch.h"

#include <QtTest>

#include <arpa/inet.h>

#include <atomic>
#include <thread>

using namespace norvane;
using namespace norvane::test;

namespace {

// Reports a fixed list of hosts and counts its rounds.
class ScriptedSource : public DiscoverySource {
public:
    explicit ScriptedSource(std::vector<DiscoveredHost> hosts) : m_hosts(std::move(hosts)) {}
    const char* name() const override { return "scripted"; }
    void start(const std::vector<Adapter>&) override { ++rounds; }
    std::vector<DiscoveredHost> results() override { return m_hosts; }
    void cancel() override {}

    std::atomic<int> rounds{0};

private:
    std::vector<DiscoveredHost> m_hosts;
};

struct Listed {
    DWORD result = 0;
    QStringList names;
};

Listed listContainer(LinuxPlatform& platform, const NetResource& container, DWORD type) {
    Listed listed;
    EnumHandle handle = 0;
    listed.result = platform.openEnum(RESOURCE_GLOBALNET, type, 0, &container, &handle);
    if (listed.result != win::NoError)
        return listed;
    std::vector<NetResource> batch;
    DWORD count = EnumAllEntries;
    DWORD size = DWORD(EnumBufferSize);
    listed.result = platform.enumResource(handle, &count, &batch, &size);
    for (const NetResource& resource : batch)
        listed.names << QString::fromStdString(resource.remoteName.value_or("-"));
    platform.closeEnum(handle);
    return listed;
}

NetResource container(std::optional<std::string> remoteName) {
    NetResource resource;
    resource.provider = LanManProviderName;
    resource.remoteName = std::move(remoteName);
    return resource;
}

} // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

private slots:
    // A contested name is reached by the name service alone: the answers'
    // addresses get neither its listing nor its log-on.
    void contestedNameIsReachedByName() {
        auto directory = std::make_shared<ScriptedDirectory>();
        directory->listings["smb://10.0.0.66"] = {0, {{SmbFileShare, "trap", {}}}};
        directory->listings["smb://10.0.0.65"] = {0, {{SmbFileShare, "trap", {}}}};
        std::vector<DiscoveredHost> answers = hostsFrom({"SRV@WG@10.0.0.65", "SRV@WG@10.0.0.66"});
        answers[1].foundBy = FoundBy::AddressRange;
        DiscoverySources sources;
        sources.push_back(std::make_unique<ScriptedSource>(answers));
        LinuxPlatformSettings settings;
        settings.nameQueryTimeout = std::chrono::milliseconds(50);
        settings.nameQueryAttempts = 1;
        LinuxPlatform platform(settings, directory, std::move(sources));
        listContainer(platform, container(std::nullopt), 0);
        QCOMPARE(listContainer(platform, container("WG"), 0).names, QStringList{"\\\\SRV"});
        QCOMPARE(platform.getHostByName("SRV"), std::nullopt);
        listContainer(platform, container("\\\\SRV"), RESOURCETYPE_DISK);
        QCOMPARE(directory->asked.back().first, std::string("smb://SRV"));
        const ComputerRecord facts = platform.knownFacts("SRV");
        QVERIFY(facts.foundBy.contains(FoundBy::WsDiscovery));
        QVERIFY(facts.foundBy.contains(FoundBy::AddressRange));
    }

    // The walk's view: groups, servers and shares over a scripted browse
    // list and a scripted source.
    void enumerationsListTheUnion_data() {
        QTest::addColumn<bool>("browseMaster");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QStringList>("labgroupServers");
        QTest::addColumn<QStringList>("homenetServers");
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("mixed") << true
                               << QStringList{"labsrv1@labgroup1@10.0.0.1",
                                              "PC1@LABGROUP1@10.0.0.2", "PC2@HOMENET@10.0.0.3"}
                               << QStringList{"LABGROUP1", "HOMENET"}
                               << QStringList{"\\\\LABSRV1", "\\\\PC1"} << QStringList{"\\\\PC2"}
                               << QStringList{"smb://", "smb://LABGROUP1"};
        QTest::newRow("no browse master")
            << false << QStringList{"PC1@LABGROUP1@10.0.0.2", "PC2@HOMENET@10.0.0.3"}
            << QStringList{"LABGROUP1", "HOMENET"} << QStringList{"\\\\PC1"}
            << QStringList{"\\\\PC2"} << QStringList{"smb://"};
        QTest::newRow("browse list only")
            << true << QStringList{} << QStringList{"LABGROUP1"} << QStringList{"\\\\LABSRV1"}
            << QStringList{} << QStringList{"smb://", "smb://LABGROUP1", "smb://HOMENET"};
    }
    void enumerationsListTheUnion() {
        QFETCH(bool, browseMaster);
        QFETCH(QStringList, found);
        QFETCH(QStringList, groups);
        QFETCH(QStringList, labgroupServers);
        QFETCH(QStringList, homenetServers);
        QFETCH(QStringList, asked);
        auto directory = std::make_shared<ScriptedDirectory>();
        if (browseMaster) {
            directory->listings["smb://"] = {0, entriesFrom(SmbWorkgroup, {"LABGROUP1"})};
            directory->listings["smb://LABGROUP1"] = {0, entriesFrom(SmbServer, {"LABSRV1"})};
        }
        DiscoverySources sources;
        sources.push_back(std::make_unique<ScriptedSource>(hostsFrom(found)));
        LinuxPlatform platform({}, directory, std::move(sources));

        const Listed provider = listContainer(platform, container(std::nullopt), 0);
        QCOMPARE(provider.result, win::NoError);
        QCOMPARE(provider.names, groups);
        const Listed labgroup = listContainer(platform, container("LABGROUP1"), 0);
        QCOMPARE(labgroup.result, win::NoError);
        QCOMPARE(labgroup.names, labgroupServers);
        const Listed homenet = listContainer(platform, container("HOMENET"), 0);
        QCOMPARE(homenet.result,
                 homenetServers.isEmpty() ? win::NoBrowserServersFound : win::NoError);
        QCOMPARE(homenet.names, homenetServers);
        QStringList urls;
        for (const auto& [url, level] : directory->asked)
            urls << QString::fromStdString(url);
        QCOMPARE(urls, asked);
    }

    // Whether the browse service is silent or answers with no workgroup.
    void nothingFoundIsNoBrowserServers_data() {
        QTest::addColumn<bool>("browseAnswers");
        QTest::newRow("no browse master") << false;
        QTest::newRow("empty browse list") << true;
    }
    void nothingFoundIsNoBrowserServers() {
        QFETCH(bool, browseAnswers);
        auto directory = std::make_shared<ScriptedDirectory>();
        if (browseAnswers)
            directory->listings["smb://"] = {0, {}};
        DiscoverySources sources;
        sources.push_back(std::make_unique<ScriptedSource>(std::vector<DiscoveredHost>{}));
        LinuxPlatform platform({}, directory, std::move(sources));
        QCOMPARE(listContainer(platform, container(std::nullopt), 0).result,
                 win::NoBrowserServersFound);
        QCOMPARE(platform.getLastError(), win::NoBrowserServersFound);
    }

    // A round starts with each provider-level enumeration, not below it.
    void roundPerProviderEnumeration() {
        auto source = std::make_unique<ScriptedSource>(hostsFrom({"PC1@HOMENET@10.0.0.3"}));
        ScriptedSource& counted = *source;
        DiscoverySources sources;
        sources.push_back(std::move(source));
        LinuxPlatform platform({}, std::make_shared<ScriptedDirectory>(), std::move(sources));
        listContainer(platform, container(std::nullopt), 0);
        listContainer(platform, container("HOMENET"), 0);
        listContainer(platform, container("\\\\PC1"), RESOURCETYPE_DISK);
        QCOMPARE(counted.rounds.load(), 1);
        listContainer(platform, container(std::nullopt), 0);
        QCOMPARE(counted.rounds.load(), 2);
    }

    // A name the SMB library cannot resolve is listed through the address
    // the host answered from; the captions keep the name.
    void sharesThroughTheAnsweringAddress() {
        auto directory = std::make_shared<ScriptedDirectory>();
        directory->listings["smb://10.0.0.3"] = {
            0, {{SmbFileShare, "docs", "Documents"}, {SmbFileShare, "hidden$", {}}}};
        DiscoverySources sources;
        sources.push_back(std::make_unique<ScriptedSource>(hostsFrom({"PC2@HOMENET@10.0.0.3"})));
        LinuxPlatform platform({}, directory, std::move(sources));
        listContainer(platform, container(std::nullopt), 0);
        const Listed shares = listContainer(platform, container("\\\\pc2"), RESOURCETYPE_DISK);
        QCOMPARE(shares.result, win::NoError);
        QCOMPARE(shares.names, QStringList{"\\\\pc2\\docs"});
        const Listed unknown = listContainer(platform, container("\\\\OTHER"), RESOURCETYPE_DISK);
        QCOMPARE(unknown.result, win::BadNetPath);
        QCOMPARE(directory->asked.back().first, std::string("smb://OTHER"));
    }

    // A computer a directory named is listed in its group without an
    // answering address, found at its DNS name, and its shares listed by
    // that name; a DNS name that is not one never goes into a URL; a
    // browsed computer keeps the browse list's path and gains the facts.
    void namedHostsAreReachedByTheirDnsName() {
        auto directory = std::make_shared<ScriptedDirectory>();
        directory->listings["smb://"] = {0, entriesFrom(SmbWorkgroup, {"CORP"})};
        directory->listings["smb://CORP"] = {0, entriesFrom(SmbServer, {"BROWSED"})};
        directory->listings["smb://localhost"] = {0, {{SmbFileShare, "docs", {}}}};
        std::vector<DiscoveredHost> named =
            hostsFrom({"LOCALPC@CORP", "browsed@CORP", "EVIL@CORP"});
        for (DiscoveredHost& host : named) {
            host.reach = HostReach::Named;
            host.foundBy = FoundBy::Directory;
        }
        named[0].dnsName = "localhost";
        named[1].dnsName = "browsed.corp.example";
        named[2].dnsName = "x@attacker.example/share";
        DiscoverySources sources;
        sources.push_back(std::make_unique<ScriptedSource>(named));
        LinuxPlatform platform({}, directory, std::move(sources));
        QCOMPARE(listContainer(platform, container(std::nullopt), 0).names, QStringList{"CORP"});
        QCOMPARE(listContainer(platform, container("CORP"), 0).names,
                 (QStringList{"\\\\BROWSED", "\\\\LOCALPC", "\\\\EVIL"}));
        QCOMPARE(platform.getHostByName("localpc"), std::optional(inet_addr("127.0.0.1")));
        QCOMPARE(listContainer(platform, container("\\\\LOCALPC"), RESOURCETYPE_DISK).names,
                 QStringList{"\\\\LOCALPC\\docs"});
        listContainer(platform, container("\\\\EVIL"), RESOURCETYPE_DISK);
        QCOMPARE(directory->asked.back().first, std::string("smb://EVIL"));
        listContainer(platform, container("\\\\BROWSED"), RESOURCETYPE_DISK);
        QCOMPARE(directory->asked.back().first, std::string("smb://BROWSED"));
        const ComputerRecord facts = platform.knownFacts("BROWSED");
        QVERIFY(facts.foundBy.contains(FoundBy::BrowseList));
        QVERIFY(facts.foundBy.contains(FoundBy::Directory));
        QCOMPARE(facts.dnsName, QStringLiteral("browsed.corp.example"));
    }

    // A device that answers discovery with the name of a computer the
    // browse list names, or with a name that is an address, neither takes
    // over that computer's address and listing nor gets a row of its own.
    void claimsNeverRedirectARow() {
        auto directory = std::make_shared<ScriptedDirectory>();
        directory->listings["smb://"] = {0, entriesFrom(SmbWorkgroup, {"LABGROUP1"})};
        directory->listings["smb://LABGROUP1"] = {0, entriesFrom(SmbServer, {"LABSRV1"})};
        directory->listings["smb://10.0.0.66"] = {0, {{SmbFileShare, "trap", {}}}};
        DiscoverySources sources;
        sources.push_back(std::make_unique<ScriptedSource>(
            hostsFrom({"labsrv1@LABGROUP1@10.0.0.66", "127.0.0.1@LABGROUP1@10.0.0.67",
                       "localhost@LABGROUP1@10.0.0.68", "PC9@LABGROUP1@127.0.0.1"})));
        LinuxPlatform platform({}, directory, std::move(sources));
        QCOMPARE(listContainer(platform, container(std::nullopt), 0).names,
                 QStringList{"LABGROUP1"});
        QCOMPARE(listContainer(platform, container("LABGROUP1"), 0).names,
                 QStringList{"\\\\LABSRV1"});
        QCOMPARE(platform.getHostByName("LABSRV1"), std::nullopt);
        listContainer(platform, container("\\\\LABSRV1"), RESOURCETYPE_DISK);
        QCOMPARE(directory->asked.back().first, std::string("smb://LABSRV1"));
    }

    // A discovered host whose node status is refused has no NetBIOS name of
    // its own: its name is asked once, briefly, only to find whether another
    // computer owns it. Every other host's name is asked in full.
    void prefetchAsksBrieflyForHostsWithoutNameService_data() {
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<int>("statusDelayMs");
        QTest::addColumn<bool>("brief");
        QTest::newRow("refused at once") << true << false << 0 << true;
        QTest::newRow("answered") << false << true << 0 << false;
        QTest::newRow("silent") << false << false << 600 << false;
        QTest::newRow("refused after the window") << true << false << 600 << false;
    }
    void prefetchAsksBrieflyForHostsWithoutNameService() {
        QFETCH(bool, refused);
        QFETCH(bool, answered);
        QFETCH(int, statusDelayMs);
        QFETCH(bool, brief);
        std::atomic<int> asked{0};
        std::atomic<bool> askedBriefly{false};
        IdentityPrefetch prefetch;
        prefetch.start([] { return hostsFrom({"NAS@HOMENET@10.0.0.9"}); },
                       [&](const std::string&, bool isBrief) -> std::optional<std::uint32_t> {
                           ++asked;
                           askedBriefly = isBrief;
                           return std::nullopt;
                       },
                       [=](std::uint32_t) {
                           std::this_thread::sleep_for(std::chrono::milliseconds(statusDelayMs));
                           NodeStatusReply reply;
                           reply.refused = refused;
                           if (answered)
                               reply.status = nbns::NodeStatus{};
                           return reply;
                       });
        QVERIFY(prefetch.nameQuery("nas").has_value());
        QCOMPARE(asked.load(), 1);
        QCOMPARE(askedBriefly.load(), brief);
        QCOMPARE(prefetch.nodeStatus(inet_addr("10.0.0.9"))->has_value(), answered);
    }

    // What the round's sources already asked is not asked again: the
    // sweep's node status stands, answered or not, and the name is asked
    // briefly; a contested name has no address to ask and is asked in full.
    void prefetchTakesWhatTheRoundAsked() {
        std::atomic<int> statusQueries{0};
        std::mutex mutex;
        std::map<std::string, bool> nameQueries; // name -> brief
        std::vector<DiscoveredHost> hosts =
            hostsFrom({"NAS@HOMENET@10.0.0.9", "SILENT@HOMENET@10.0.0.10", "SRV@HOMENET"});
        hosts[2].reach = HostReach::Contested;
        nbns::NodeStatus carried;
        carried.unitId = {2, 0x4e, 0x56, 0, 0, 9};
        IdentityPrefetch prefetch;
        prefetch.start([=] { return hosts; },
                       [&](const std::string& name, bool brief) -> std::optional<std::uint32_t> {
                           const std::lock_guard lock(mutex);
                           nameQueries[name] = brief;
                           return std::nullopt;
                       },
                       [&](std::uint32_t) {
                           ++statusQueries;
                           return NodeStatusReply{};
                       },
                       [&](std::uint32_t address) -> std::optional<NodeStatusReply> {
                           if (address == inet_addr("10.0.0.9"))
                               return NodeStatusReply{.status = carried, .refused = false};
                           if (address == inet_addr("10.0.0.10"))
                               return NodeStatusReply{};
                           return std::nullopt;
                       });
        for (const char* name : {"NAS", "SILENT", "SRV"})
            QVERIFY(prefetch.nameQuery(name).has_value());
        QCOMPARE(prefetch.nodeStatus(inet_addr("10.0.0.9"))->value().unitId, carried.unitId);
        QVERIFY(!prefetch.nodeStatus(inet_addr("10.0.0.10"))->has_value());
        QVERIFY(!prefetch.nodeStatus(0).has_value());
        QCOMPARE(statusQueries.load(), 0);
        const std::lock_guard lock(mutex);
        QCOMPARE(nameQueries,
                 (std::map<std::string, bool>{{"NAS", true}, {"SILENT", true}, {"SRV", false}}));
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
