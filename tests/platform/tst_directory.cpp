// The directory source's handling of what a domain controller and its DNS
// send: SRV answers (ordered, bounded, malformed ones refused) and computer
// objects (disabled, stale, odd names, OU paths, GUIDs).

#include "DnsPackets.h"
#include "linux/directory/DirectoryEntry.h"
#include "linux/directory/DirectoryLimits.h"
#include "linux/directory/DirectoryReader.h"
#include "linux/directory/DirectorySource.h"
#include "linux/directory/DirectoryZone.h"
#include "linux/directory/DnsAnswer.h"

#include <QtTest>

#include <arpa/inet.h>

using namespace norvane;
using namespace norvane::directory;
using namespace norvane::test;

namespace {

constexpr int TypeA = 1;
constexpr int TypeSrv = 33;
constexpr int ClassIn = 1;
constexpr int Id = 0x4242;
const QByteArray Question = "_ldap._tcp.dc._msdcs.krb.lab";

QByteArray srvData(int priority, int weight, int port, const QByteArray& target) {
    QByteArray data;
    dnsmsg::putU16(data, priority);
    dnsmsg::putU16(data, weight);
    dnsmsg::putU16(data, port);
    return data + dnsmsg::name(target);
}

// An answer with the given SRV records (priority, weight, target) and one
// additional A record for the first target.
QByteArray srvAnswer(const QList<std::tuple<int, int, QByteArray>>& targets, int id = Id) {
    QByteArray out = dnsmsg::header(id, dnsmsg::Response, 1, int(targets.size()), 0, 1);
    out += dnsmsg::question(dnsmsg::name(Question), TypeSrv);
    for (const auto& [priority, weight, target] : targets)
        out += dnsmsg::record(dnsmsg::pointer(12), TypeSrv, srvData(priority, weight, 389, target),
                              -1, ClassIn);
    out += dnsmsg::record(dnsmsg::name(std::get<2>(targets.front())), TypeA,
                          QByteArray("\x0a\xd5\x4d\x66", 4), -1, ClassIn);
    return out;
}

const std::chrono::system_clock::time_point Now =
    std::chrono::system_clock::time_point(std::chrono::seconds(1765400000)); // 2025-12-10

// The directory's time (100 ns since 1601) `days` before Now.
QByteArray daysAgo(int days) {
    const qint64 unix = 1765400000 - qint64(days) * 86400;
    return QByteArray::number((unix + 11644473600) * 10000000);
}

DirectoryEntry entry(const QByteArray& name) {
    return DirectoryEntry{
        .distinguishedName = "CN=" + name + ",OU=Desks,OU=Branch,DC=krb,DC=lab",
        .name = name,
        .samAccountName = name + '$',
        .description = "Front desk",
        .dnsHostName = name.toLower() + ".krb.lab",
        .operatingSystem = "Windows 11 Pro",
        .operatingSystemVersion = "10.0 (22631)",
        .userAccountControl = "4096",
        .lastLogonTimestamp = daysAgo(3),
        .objectGuid = QByteArray::fromHex("00112233445566778899aabbccddeeff"),
    };
}

} // namespace

class TestDirectory : public QObject {
    Q_OBJECT

private slots:
    void srvTargetsInTheOrderToTry() {
        const std::optional<DnsAnswer> answer = parseDnsAnswer(
            srvAnswer({{10, 5, "dc3.krb.lab"}, {0, 10, "DC1.krb.lab."}, {0, 50, "dc2.krb.lab"}}),
            Id);
        QVERIFY(answer.has_value());
        QStringList hosts;
        for (const SrvTarget& target : answer->targets)
            hosts << target.host;
        QCOMPARE(hosts, QStringList({"dc2.krb.lab", "dc1.krb.lab", "dc3.krb.lab"}));
        QCOMPARE(answer->targets.front().port, 389);
        QVERIFY(!addressOf(*answer, QStringLiteral("dc2.krb.lab")).has_value());
    }

    void additionalAddressOfATarget() {
        const std::optional<DnsAnswer> answer =
            parseDnsAnswer(srvAnswer({{0, 0, "dc1.krb.lab"}}), Id);
        QVERIFY(answer.has_value());
        const std::optional<std::uint32_t> address =
            addressOf(*answer, QStringLiteral("dc1.krb.lab"));
        QVERIFY(address.has_value());
        const auto* bytes = reinterpret_cast<const unsigned char*>(&*address);
        QCOMPARE(bytes[0], 10);
        QCOMPARE(bytes[3], 0x66);
    }

    void srvTargetsAreBounded() {
        QList<std::tuple<int, int, QByteArray>> many;
        for (int i = 0; i < 40; ++i)
            many << std::tuple<int, int, QByteArray>{0, 0,
                                                     "dc" + QByteArray::number(i) + ".krb.lab"};
        const std::optional<DnsAnswer> answer = parseDnsAnswer(srvAnswer(many), Id);
        QVERIFY(answer.has_value());
        QCOMPARE(int(answer->targets.size()), MaxSrvTargets);
    }

    void malformedAnswersAreRefused_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("refused"); // nothing at all, rather than an empty answer
        const QByteArray good = srvAnswer({{0, 0, "dc1.krb.lab"}});
        QTest::newRow("another id") << srvAnswer({{0, 0, "dc1.krb.lab"}}, Id + 1) << true;
        QTest::newRow("cut short") << good.left(good.size() - 3) << true;
        QTest::newRow("header only") << good.left(12) << true;
        QTest::newRow("shorter than a header") << good.left(5) << true;
        QByteArray query = good;
        query[2] = char(query[2] & 0x7F); // a question, not an answer
        QTest::newRow("a question") << query << true;
        QByteArray loop = dnsmsg::header(Id, dnsmsg::Response, 1, 1) +
                          dnsmsg::question(dnsmsg::name(Question), TypeSrv);
        QByteArray data;
        dnsmsg::putU16(data, 0);
        dnsmsg::putU16(data, 0);
        dnsmsg::putU16(data, 389);
        data += dnsmsg::pointer(int(loop.size()) + 2 + 10 + 6); // points at itself
        loop += dnsmsg::record(dnsmsg::pointer(12), TypeSrv, data, -1, ClassIn);
        QTest::newRow("target pointing at itself") << loop << false;
        QByteArray shortSrv = dnsmsg::header(Id, dnsmsg::Response, 1, 1) +
                              dnsmsg::question(dnsmsg::name(Question), TypeSrv) +
                              dnsmsg::record(dnsmsg::pointer(12), TypeSrv, "\0\0\0", -1, ClassIn);
        QTest::newRow("SRV data too short") << shortSrv << false;
        QByteArray nxdomain = dnsmsg::header(Id, dnsmsg::Response | 3, 1, 0) +
                              dnsmsg::question(dnsmsg::name(Question), TypeSrv);
        QTest::newRow("no such name") << nxdomain << false;
        QTest::newRow("oversized") << good + QByteArray(int(MaxDnsAnswer), '\0') << true;
    }
    void malformedAnswersAreRefused() {
        QFETCH(QByteArray, message);
        QFETCH(bool, refused);
        const std::optional<DnsAnswer> answer = parseDnsAnswer(message, Id);
        QCOMPARE(!answer.has_value(), refused);
        if (answer)
            QVERIFY(answer->targets.empty());
    }

    void computerRecordOfAnEntry() {
        const MappedEntry mapped =
            DirectoryEntryMapper(QStringLiteral("KRBLAB"), Now).map(entry("PC1"));
        QVERIFY(mapped.record.has_value());
        QVERIFY(mapped.note.isEmpty());
        const ComputerRecord& record = *mapped.record;
        QCOMPARE(record.name, QStringLiteral("PC1"));
        QCOMPARE(record.group, QStringLiteral("KRBLAB"));
        QCOMPARE(record.comment, QStringLiteral("Front desk"));
        QCOMPARE(record.dnsName, QStringLiteral("pc1.krb.lab"));
        QCOMPARE(record.operatingSystem, QStringLiteral("Windows 11 Pro"));
        QCOMPARE(record.osVersion, QStringLiteral("10.0 (22631)"));
        QVERIFY(!record.address.has_value());
        QCOMPARE(record.foundBy, FoundBySet(FoundBy::Directory));
        QCOMPARE(record.directory,
                 std::optional<DirectoryFacts>(
                     DirectoryFacts{.guid = QStringLiteral("33221100-5544-7766-8899-aabbccddeeff"),
                                    .ouPath = QStringLiteral("Branch/Desks"),
                                    .stale = false}));
    }

    void entriesLeftOutOrKept_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("samAccountName");
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QByteArray>("lastLogon");
        QTest::addColumn<QString>("shownName"); // empty: left out
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QString>("note");
        const QByteArray enabled = "4096";
        QTest::newRow("disabled") << QByteArray("PC1") << QByteArray("PC1$") << QByteArray("4098")
                                  << daysAgo(1) << QString() << false
                                  << "left out: account disabled";
        QTest::newRow("disabled, signed value")
            << QByteArray("PC1") << QByteArray("PC1$") << QByteArray("-2147479550") << daysAgo(1)
            << QString() << false << "left out: account disabled";
        QTest::newRow("89 days") << QByteArray("PC1") << QByteArray("PC1$") << enabled
                                 << daysAgo(89) << "PC1" << false << "";
        QTest::newRow("91 days") << QByteArray("PC1") << QByteArray("PC1$") << enabled
                                 << daysAgo(91) << "PC1" << true << "";
        QTest::newRow("never logged on") << QByteArray("PC1") << QByteArray("PC1$") << enabled
                                         << QByteArray("0") << "PC1" << false << "";
        QTest::newRow("unreadable time") << QByteArray("PC1") << QByteArray("PC1$") << enabled
                                         << QByteArray("soon") << "PC1" << false << "";
        QTest::newRow("name from the account")
            << QByteArray() << QByteArray("PC2$") << enabled << daysAgo(1) << "PC2" << false << "";
        QTest::newRow("no name at all") << QByteArray() << QByteArray("$") << enabled << daysAgo(1)
                                        << QString() << false << "left out: no name";
        QTest::newRow("longer than NetBIOS")
            << QByteArray("ACCOUNTING-PC-0042") << QByteArray("ACCOUNTING-PC-0$") << enabled
            << daysAgo(1) << "ACCOUNTING-PC-0042" << false
            << "not a valid NetBIOS name, shown as given";
        QTest::newRow("control and bidi characters")
            << QByteArray("PC\x01\xe2\x80\xae") << QByteArray("PC$") << enabled << daysAgo(1)
            << QString::fromUtf8("PC\x01\xe2\x80\xae") << false
            << "not a valid NetBIOS name, shown as given";
        QTest::newRow("far too long")
            << QByteArray(65, 'A') << QByteArray("A$") << enabled << daysAgo(1) << QString()
            << false << "left out: a name of 65 characters";
        QTest::newRow("unreadable control")
            << QByteArray("PC1") << QByteArray("PC1$") << QByteArray("0x1002") << daysAgo(1)
            << "PC1" << false << "unreadable userAccountControl, taken as enabled";
    }
    void entriesLeftOutOrKept() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, samAccountName);
        QFETCH(QByteArray, control);
        QFETCH(QByteArray, lastLogon);
        QFETCH(QString, shownName);
        QFETCH(bool, stale);
        QFETCH(QString, note);
        DirectoryEntry values = entry("X");
        values.name = name;
        values.samAccountName = samAccountName;
        values.userAccountControl = control;
        values.lastLogonTimestamp = lastLogon;
        const MappedEntry mapped = DirectoryEntryMapper(QStringLiteral("KRBLAB"), Now).map(values);
        QCOMPARE(mapped.note, note);
        QCOMPARE(mapped.record.has_value(), !shownName.isEmpty());
        if (mapped.record) {
            QCOMPARE(mapped.record->name, shownName);
            QCOMPARE(mapped.record->directory->stale, stale);
        }
    }

    void organisationalUnits_data() {
        QTest::addColumn<QByteArray>("dn");
        QTest::addColumn<QString>("path");
        QTest::newRow("default container") << QByteArray("CN=PC1,CN=Computers,DC=krb,DC=lab") << "";
        QTest::newRow("nested") << QByteArray("CN=PC1,OU=Desks,OU=Branch,DC=krb,DC=lab")
                                << "Branch/Desks";
        QTest::newRow("escaped comma")
            << QByteArray("CN=PC1,OU=Sales\\, North,DC=krb,DC=lab") << "Sales, North";
        QTest::newRow("lower case type") << QByteArray("cn=PC1,ou=Lab,dc=krb,dc=lab") << "Lab";
        QTest::newRow("not a DN") << QByteArray("OU=,,=") << "";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void organisationalUnits() {
        QFETCH(QByteArray, dn);
        QFETCH(QString, path);
        QCOMPARE(organisationalUnitPath(dn), path);
    }

    void guidNeedsSixteenBytes() {
        QCOMPARE(guidText(QByteArray(15, '\x01')), QString());
        QCOMPARE(guidText(QByteArray(17, '\x01')), QString());
    }

    void domainNames_data() {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "krb.lab" << true;
        QTest::newRow("one label") << "corp" << true;
        QTest::newRow("hyphen") << "ad-1.example.com" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("space") << "krb lab" << false;
        QTest::newRow("trailing dot") << "krb.lab." << false;
        QTest::newRow("empty label") << "krb..lab" << false;
        QTest::newRow("filter text") << "krb.lab)(x=*" << false;
        QTest::newRow("long label") << QString(64, QLatin1Char('a')) + ".lab" << false;
        QTest::newRow("too long") << (QString(60, QLatin1Char('a')) + ".").repeated(5) + "lab"
                                  << false;
    }
    void domainNames() {
        QFETCH(QString, domain);
        QFETCH(bool, valid);
        QCOMPARE(isDomainName(domain), valid);
    }

    // dnsRecord values as a Samba controller keeps them: only a well-formed
    // A record gives an address.
    void addressOfADnsRecord_data() {
        // The controller's own A record (10.213.77.102), as captured.
        const QByteArray a = QByteArray::fromBase64("BAABAAXwAAABAAAAAAADhAAAAAAAAAAACtVNZg==");
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("address"); // empty: none
        QTest::newRow("A") << a << "10.213.77.102";
        QTest::newRow("SRV")
            << QByteArray::fromBase64(
                   "FwAhAAXwAAABAAAAAAADhAAAAAAAAAAAAAAAZAGFDwMFa3JiZGMDa3JiA2xhYgA=")
            << "";
        QTest::newRow("tombstone") << QByteArray(a).replace(2, 1, QByteArray(1, 0)) << "";
        QTest::newRow("other version") << QByteArray(a).replace(4, 1, QByteArray(1, 4)) << "";
        QTest::newRow("truncated") << a.left(27) << "";
        QTest::newRow("length past its end") << QByteArray(a).replace(0, 1, QByteArray(1, 5)) << "";
        QTest::newRow("trailing bytes") << a + '\0' << "";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void addressOfADnsRecord() {
        QFETCH(QByteArray, record);
        QFETCH(QString, address);
        const std::optional<std::uint32_t> got = addressOfDnsRecord(record);
        QCOMPARE(got.has_value(), !address.isEmpty());
        if (got)
            QCOMPARE(*got, inet_addr(address.toLatin1().constData()));
    }

    // The zone answers for the names under it, without case; a name with
    // no address, or outside the zone, gets none.
    void zoneAnswersForItsNames() {
        DirectoryZone zone(QStringLiteral("Krb.Lab"));
        zone.addNode("KRBBRANCH", inet_addr("10.213.79.101"));
        zone.addNode("printer", std::nullopt);
        zone.addNode("a.b", inet_addr("10.0.0.2"));
        QCOMPARE(zone.size(), 2u);
        QVERIFY(zone.holds(QStringLiteral("krbbranch.KRB.lab")));
        QVERIFY(!zone.holds(QStringLiteral("krb.lab")));
        QVERIFY(!zone.holds(QStringLiteral("x.otherkrb.lab")));
        QCOMPARE(zone.addressOf(QStringLiteral("krbbranch.krb.lab")),
                 std::optional(inet_addr("10.213.79.101")));
        QCOMPARE(zone.addressOf(QStringLiteral("A.B.krb.lab")),
                 std::optional(inet_addr("10.0.0.2")));
        QCOMPARE(zone.addressOf(QStringLiteral("printer.krb.lab")), std::nullopt);
        QCOMPARE(zone.addressOf(QStringLiteral("krbbranch.other.lab")), std::nullopt);
    }

    // A read that held a ticket and failed is shown to the user; a read,
    // a cancelled one and one without a ticket (the source stays silent)
    // are not. The reason, which may quote a controller, is bounded.
    void shortfallOfARead_data() {
        using Outcome = DirectoryRead::Outcome;
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("asked"); // the domain the user named
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("shown"); // empty: no shortfall
        QTest::newRow("read") << int(Outcome::Read) << ""
                              << ""
                              << "";
        QTest::newRow("cancelled") << int(Outcome::Cancelled) << ""
                                   << ""
                                   << "";
        QTest::newRow("no ticket") << int(Outcome::NoTicket) << "krb.lab"
                                   << "run kinit"
                                   << "";
        QTest::newRow("no domain, none named") << int(Outcome::NoDomain) << ""
                                               << "x"
                                               << "";
        QTest::newRow("named domain invalid")
            << int(Outcome::NoDomain) << "krb lab"
            << "not a DNS domain name: krb lab"
            << "directory krb lab not read: not a DNS domain name: krb lab";
        QTest::newRow("no controller")
            << int(Outcome::NoController) << ""
            << "DNS names no domain controller of krb.lab"
            << "directory krb.lab not read: DNS names no domain controller of krb.lab";
        QTest::newRow("every controller failed")
            << int(Outcome::Failed) << "krb.lab"
            << "Can't contact LDAP server"
            << "directory krb.lab not read: Can't contact LDAP server";
        QTest::newRow("long reason")
            << int(Outcome::Failed) << "" << QString(5000, QLatin1Char('r'))
            << "directory krb.lab not read: " + QString(MaxShownReasonChars - 28, QLatin1Char('r'));
    }
    void shortfallOfARead() {
        QFETCH(int, outcome);
        QFETCH(QString, asked);
        QFETCH(QString, reason);
        QFETCH(QString, shown);
        DirectoryRead read;
        read.outcome = DirectoryRead::Outcome(outcome);
        read.domain = asked.isEmpty() ? QStringLiteral("krb.lab") : asked;
        read.reason = reason;
        const std::optional<std::string> shortfall = directoryShortfall(read, asked);
        QCOMPARE(shortfall.has_value(), !shown.isEmpty());
        if (shortfall)
            QCOMPARE(QString::fromStdString(*shortfall), shown);
    }
};

QTEST_GUILESS_MAIN(TestDirectory)
#include "tst_directory.moc"
