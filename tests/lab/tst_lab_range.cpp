// The address-range source against subnet B of the domain lab, behind its
// router: the Samba host with NetBIOS and the SMB2-only host without it are
// listed by name, group and address, the host with only port 22 open and
// the empty addresses are not, and no server logs a log-on from the sweep;
// hostile fake servers (smb-hostile.py) cost the sweep no more than its
// time-outs, and only the one whose challenge names a computer is listed.
// Runs inside the domain lab's client namespace (lab-ctest.sh domain run).

#include "LabClient.h"
#include "LogOnLab.h"
#include "core/RecordingOutput.h"
#include "linux/LinuxPlatform.h"
#include "linux/sweep/AddressRangeSource.h"
#include "scan/ScanWorker.h"

#include <QProcess>
#include <QtTest>

#include <arpa/inet.h>

using namespace norvane;

namespace {

constexpr const char* SubnetB = "10.213.79.0/24";
constexpr const char* LabUser = "labuser";
constexpr const char* LabPassword = "Lab-User-Pass-7";
// The branch hosts' folders in lab.sh: index, name, share.
const QList<std::tuple<int, QString, QString>> BranchHosts{
    {31, QStringLiteral("KRBBRANCH"), QStringLiteral("branch")},
    {32, QStringLiteral("KRBMODERN"), QStringLiteral("tools")}};
constexpr const char* DomainGroup = "KRBLAB";
constexpr int ScanTimeoutMs = 120000;

QString labDir() {
    return test::labDirOr(QStringLiteral("/tmp/norvane-lab-dom"));
}

SourceOptions subnetB() {
    return SourceOptions{.domain = {},
                         .ranges = {parseAddressRange(QString::fromLatin1(SubnetB)).range.value()},
                         .probesPerSecond = DefaultProbesPerSecond};
}

// The lines of the branch hosts' logs that record a log-on, taken or not.
int branchLogOnLines() {
    int count = 0;
    for (const auto& [index, name, share] : BranchHosts) {
        const QDir logs(labDir() + QStringLiteral("/h%1/log").arg(index));
        for (const QString& file : logs.entryList({QStringLiteral("*.log")}, QDir::Files)) {
            QFile log(logs.filePath(file));
            if (!log.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray& line : log.readAll().split('\n'))
                count += line.contains("Auth: [SMB");
        }
    }
    return count;
}

// Keeps each computer row's record beside what the list shows.
class RecordOutput : public test::RecordingOutput {
public:
    std::map<QString, ComputerRecord> records;
    void setComputerRecord(std::shared_ptr<const ComputerRecord> record) override {
        records[rows.back().caption] = *record;
    }
};

// Answers the scan's one question with the lab user's domain log-on.
class AnsweringSource : public CredentialSource {
public:
    std::optional<Credentials> remembered(const QString&) override { return std::nullopt; }
    std::optional<CredentialAnswer> ask(const CredentialRequest&) override {
        return CredentialAnswer{.credentials = {.user = LabUser,
                                                .domain = DomainGroup,
                                                .password = SecretText(LabPassword)},
                                .remember = false};
    }
    void remember(const QString&, const Credentials&) override {}
};

} // namespace

class TestLabRange : public QObject {
    Q_OBJECT

private slots:
    void sweepNamesBranchHosts() {
        const int logOnsBefore = branchLogOnLines();
        AddressRangeSource source;
        source.configure(subnetB());
        QElapsedTimer timer;
        timer.start();
        source.start({});
        std::vector<DiscoveredHost> found = source.results();
        qInfo("swept %s in %lld ms", SubnetB, timer.elapsed());
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return ntohl(a.address) < ntohl(b.address); });
        QCOMPARE(found.size(), 2u);
        QCOMPARE(found[0].name, std::string("KRBBRANCH"));
        QCOMPARE(found[1].name, std::string("KRBMODERN"));
        for (std::size_t i = 0; i < found.size(); ++i) {
            QCOMPARE(found[i].group, std::string(DomainGroup));
            QCOMPARE(ntohl(found[i].address), 0x0AD54F65u + i); // 10.213.79.101, .102
            // Samba gives the machine's host name, which the lab's hosts share.
            QVERIFY(!found[i].dnsName.empty());
            QVERIFY(!found[i].osVersion.empty());
        }
        // The sweep stopped at the NTLM NEGOTIATE: nothing reached the log.
        QCOMPARE(branchLogOnLines(), logOnsBefore);
    }

    void computerScanListsBranchHosts() {
        LinuxPlatform platform(test::labClientSettings(labDir()));
        ScanInputs inputs{.providerName = LanManProviderName,
                          .resourceType = rtComputer,
                          .lanaNum = 0,
                          .lookAheadLimit = LookAheadLimit,
                          .sources = subnetB()};
        RecordOutput output;
        QCOMPARE(ScanNetwork(platform, inputs, output, [] { return false; }), ScanCompleted);
        for (const auto& [index, name, share] : BranchHosts) {
            const QString caption = QStringLiteral("\\\\") + name;
            const auto row = std::find_if(output.rows.begin(), output.rows.end(),
                                          [&](const ResultRow& r) { return r.caption == caption; });
            QVERIFY2(row != output.rows.end(), qPrintable(name));
            QCOMPARE(cellText(*row, ComputerColumn::Group), QString::fromLatin1(DomainGroup));
            QCOMPARE(cellText(*row, ComputerColumn::Ip),
                     QStringLiteral("10.213.79.%1").arg(100 + index - 30));
            // Off the link: node status gives Samba's zeros, and no
            // neighbour table knows the address.
            QCOMPARE(cellText(*row, ComputerColumn::Mac), QString::fromLatin1(NoMacAddress));
            QVERIFY(output.records.at(caption).foundBy.contains(FoundBy::AddressRange));
            QVERIFY(!output.records.at(caption).osVersion.isEmpty());
        }
        for (const ResultRow& row : output.rows) {
            const QString ip = cellText(row, ComputerColumn::Ip);
            QVERIFY2(!ip.startsWith(QLatin1String("10.213.79.")) ||
                         ip == QLatin1String("10.213.79.101") ||
                         ip == QLatin1String("10.213.79.102"),
                     qPrintable(row.caption + QLatin1Char(' ') + ip));
        }
    }

    // The command line's --range reaches the same hosts.
    void commandLineRange() {
        QProcess program;
        program.start(QStringLiteral(NORVANE_PROGRAM),
                      {"--scan", "computers", "--range", QString::fromLatin1(SubnetB), "--rate",
                       "2000", "-f", "csv"});
        QVERIFY(program.waitForFinished(ScanTimeoutMs));
        QCOMPARE(program.exitCode(), 0);
        const QString csv = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(csv.contains(QLatin1String("\\KRBBRANCH,10.213.79.101,KRBLAB,")), qPrintable(csv));
        QVERIFY2(csv.contains(QLatin1String("\\KRBMODERN,10.213.79.102,KRBLAB,")), qPrintable(csv));
        QVERIFY(!csv.contains(QLatin1String("10.213.79.103")));
    }

    // A folder scan lists the branch hosts' shares at the addresses that
    // answered; they take domain log-ons alone, by NTLM at an address.
    void folderScanListsBranchShares() {
        AnsweringSource logOn;
        LinuxPlatform platform(test::labClientSettings(labDir()));
        ScanInputs inputs{.providerName = LanManProviderName,
                          .resourceType = rtSharedFolder,
                          .lanaNum = 0,
                          .lookAheadLimit = LookAheadLimit,
                          .sources = subnetB()};
        test::RecordingOutput output;
        QCOMPARE(ScanNetwork(
                     platform, inputs, output, [] { return false; }, &logOn),
                 ScanCompleted);
        const QStringList captions = test::sortedCaptions(output.rows);
        for (const auto& [index, name, share] : BranchHosts) {
            const QString path = QStringLiteral("\\\\%1\\%2").arg(name, share);
            QVERIFY2(captions.contains(path), qPrintable(captions.join(QLatin1String(", "))));
        }
    }

    void hostileServersEndInTime() {
        QCOMPARE(QProcess::execute(QStringLiteral(NORVANE_LAB_SCRIPT), {QStringLiteral("hostile")}),
                 0);
        const QStringList behaviours{"truncated", "stall",   "silent",  "oversized",
                                     "lying",     "looping", "impostor"};
        AddressRangeSource source;
        source.configure({.domain = {},
                          .ranges = {{.first = 0x0AD54F78, .last = 0x0AD54F7E}}, // .120-.126
                          .probesPerSecond = DefaultProbesPerSecond});
        QElapsedTimer timer;
        timer.start();
        source.start({});
        const std::vector<DiscoveredHost> found = source.results();
        const auto bound = SweepConnectTimeout + SweepExchangeTimeout + std::chrono::seconds(1);
        QVERIFY2(std::chrono::milliseconds(timer.elapsed()) < bound,
                 qPrintable(QString::number(timer.elapsed())));
        // Only the impostor named itself (another computer's name: the
        // platform's merge and claim check deal with that).
        QCOMPARE(found.size(), 1u);
        QCOMPARE(found[0].name, std::string("KRBBRANCH"));
        QCOMPARE(ntohl(found[0].address), 0x0AD54F7Eu);

        // Every connection ended, the client closing those that never end,
        // each within the time-outs; the flood at once.
        const auto logText = [] {
            QFile log(labDir() + QStringLiteral("/hostile.log"));
            return log.open(QIODevice::ReadOnly) ? QString::fromLatin1(log.readAll()) : QString();
        };
        QTRY_VERIFY(logText().count(QLatin1Char('\n')) >= behaviours.size());
        const QString text = logText();
        qInfo("%s", qPrintable(text));
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(QLatin1Char(' '));
            QCOMPARE(fields.size(), 5);
            const double seconds = fields[2].toDouble();
            QVERIFY2(seconds < std::chrono::duration<double>(bound).count(), qPrintable(line));
            if (fields[1] == QLatin1String("oversized"))
                QVERIFY2(seconds < 1.0, qPrintable(line));
            if (fields[1] != QLatin1String("truncated"))
                QCOMPARE(fields[4], QStringLiteral("client-closed"));
        }
        QCOMPARE(QProcess::execute(QStringLiteral(NORVANE_LAB_SCRIPT),
                                   {QStringLiteral("hostile"), QStringLiteral("down")}),
                 0);
    }

    // The impostor claims KRBBRANCH's name and is swept first: the name is
    // contested, so neither its address nor the real one is trusted for it
    // by order. The row is reached by the name service alone (which beyond
    // the router does not know it), and the impostor's address is nowhere.
    void impostorDoesNotWinByOrder() {
        QCOMPARE(QProcess::execute(QStringLiteral(NORVANE_LAB_SCRIPT), {QStringLiteral("hostile")}),
                 0);
        const auto down = qScopeGuard([] {
            QProcess::execute(QStringLiteral(NORVANE_LAB_SCRIPT),
                              {QStringLiteral("hostile"), QStringLiteral("down")});
        });
        SourceOptions options = subnetB();
        options.ranges.insert(options.ranges.begin(),
                              {.first = 0x0AD54F7E, .last = 0x0AD54F7E}); // the impostor, .126
        LinuxPlatform platform(test::labClientSettings(labDir()));
        ScanInputs inputs{.providerName = LanManProviderName,
                          .resourceType = rtComputer,
                          .lanaNum = 0,
                          .lookAheadLimit = LookAheadLimit,
                          .sources = options};
        RecordOutput output;
        QCOMPARE(ScanNetwork(platform, inputs, output, [] { return false; }), ScanCompleted);
        const auto row = std::find_if(output.rows.begin(), output.rows.end(), [](const auto& r) {
            return r.caption == QLatin1String("\\\\KRBBRANCH");
        });
        QVERIFY(row != output.rows.end());
        QVERIFY(output.records.at(row->caption).foundBy.contains(FoundBy::AddressRange));
        for (const ResultRow& listed : output.rows)
            QVERIFY2(cellText(listed, ComputerColumn::Ip) != QLatin1String("10.213.79.126"),
                     qPrintable(listed.caption));
        // The other branch host is not contested and keeps its address.
        QVERIFY(std::any_of(output.rows.begin(), output.rows.end(), [](const auto& r) {
            return r.caption == QLatin1String("\\\\KRBMODERN") &&
                   cellText(r, ComputerColumn::Ip) == QLatin1String("10.213.79.102");
        }));
    }
};

QTEST_GUILESS_MAIN(TestLabRange)
#include "tst_lab_range.moc"
