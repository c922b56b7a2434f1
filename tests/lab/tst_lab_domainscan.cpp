// Scans of the domain lab with the directory among the sources: with a
// ticket every member of both subnets is listed in the domain's group (at
// its address, with its MAC where the link or its name service gives it),
// the disabled account is left out, the stale one marked and the one with
// no host behind it kept with the placeholders; a folder scan from the
// command line lists the members' shares with the ticket alone. Without a
// ticket the scan is the one without the directory. Runs inside the domain
// lab's client namespace (lab-ctest.sh domain run).

#include "DomainLab.h"
#include "KerberosCache.h"
#include "LabClient.h"
#include "core/RecordingOutput.h"
#include "discovery/DiscoveryAdmission.h"
#include "discovery/DiscoveryMerge.h"
#include "linux/LinuxPlatform.h"
#include "linux/directory/DirectorySource.h"
#include "linux/dnssd/DnsSdSource.h"
#include "linux/wsd/WsdSource.h"
#include "scan/HostIdentity.h"
#include "scan/ScanWorker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <ctime>

using namespace norvane;

namespace {

using test::DomainGroup;

constexpr int ProgramTimeoutMs = 240000;
// Reading the benchmark's ten thousand accounts and merging them into the
// browse list, as a computer scan's provider and group levels do; the wall
// time is mostly the controller's (see tst_lab_directory).
constexpr qint64 MergeBudgetMs = 3000;
constexpr qint64 ReadWallBudgetMs = 60000;
constexpr qint64 CancelBudgetMs = 250;

struct Member {
    const char* name;
    const char* address;
    bool onLink; // on the client's subnet: its MAC is in the neighbour table
};

// As lab.sh makes them: the controller and a member on the client's
// subnet, two members beyond the router (one with NetBIOS, one speaking
// SMB2 and later alone).
const Member Members[] = {
    {"KRBDC", "10.213.77.102", true},
    {"KRBMEMBER", "10.213.77.103", true},
    {"KRBBRANCH", "10.213.79.101", false},
    {"KRBMODERN", "10.213.79.102", false},
};

int benchCount() {
    QFile file(test::domainLabDir() + QStringLiteral("/bench-count"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : -1;
}

qint64 processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const ResultRow* findRow(const ResultRows& rows, const QString& name) {
    const QString caption = QStringLiteral("\\\\") + name;
    for (const ResultRow& row : rows) {
        if (row.caption.compare(caption, Qt::CaseInsensitive) == 0)
            return &row;
    }
    return nullptr;
}

test::RecordingOutput scanComputers(LinuxPlatform& platform) {
    ScanInputs inputs;
    inputs.providerName = LanManProviderName;
    inputs.resourceType = rtComputer;
    test::RecordingOutput output;
    const int result = ScanNetwork(platform, inputs, output, [] { return false; });
    [&] { QCOMPARE(result, ScanCompleted); }();
    return output;
}

// The rows as "name|address|group|comment|MAC", sorted.
QStringList rowTexts(const ResultRows& rows) {
    QStringList texts;
    for (const ResultRow& row : rows)
        texts << (QStringList{row.caption} + row.subItems).join(QLatin1Char('|'));
    texts.sort();
    return texts;
}

} // namespace

struct ProgramRun {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// The command line as a script runs it in the client namespace: no
// display, the lab's smb.conf in a home of its own, the ticket in force.
ProgramRun runProgram(const QStringList& arguments) {
    ProgramRun run;
    QTemporaryDir home;
    if (!home.isValid() || !QDir(home.path()).mkpath(QStringLiteral(".smb")) ||
        !QFile::copy(test::domainLabDir() + QStringLiteral("/client/smb.conf"),
                     home.filePath(QStringLiteral(".smb/smb.conf"))))
        return run;
    QProcess program;
    program.setProcessEnvironment(test::scriptEnvironment(home.path()));
    program.start(QStringLiteral(NORVANE_PROGRAM), arguments);
    program.closeWriteChannel();
    if (!program.waitForFinished(ProgramTimeoutMs))
        return run;
    run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.output = program.readAllStandardOutput();
    run.errors = program.readAllStandardError();
    return run;
}

class TestLabDomainScan : public QObject {
    Q_OBJECT

private:
    test::LabTicket m_ticket;

private slots:
    void initTestCase() { QVERIFY(m_ticket.obtain()); }

    void computerScanListsTheDirectory() {
        LinuxPlatform platform(test::labClientSettings(test::domainLabDir()));
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = processCpuMs();
        const test::RecordingOutput output = scanComputers(platform);
        qInfo("computer scan with the directory: %zu rows in %lld ms (%lld ms of processor time)",
              output.rows.size(), clock.elapsed(), processCpuMs() - cpuBefore);
        QVERIFY2(output.errors.isEmpty(), qPrintable(output.errors.join('\n')));

        for (const Member& member : Members) {
            const ResultRow* row = findRow(output.rows, QLatin1String(member.name));
            QVERIFY2(row != nullptr, member.name);
            QCOMPARE(cellText(*row, ComputerColumn::Group), QLatin1String(DomainGroup));
            QCOMPARE(cellText(*row, ComputerColumn::Ip), QLatin1String(member.address));
            // Beyond the router only a node status could tell the MAC, and
            // Samba's holds none.
            QCOMPARE(cellText(*row, ComputerColumn::Mac) != QLatin1String(NoMacAddress),
                     member.onLink);
            QVERIFY(row->computer);
            QVERIFY(row->computer->foundBy.contains(FoundBy::Directory));
            QCOMPARE(row->computer->dnsName,
                     QString::fromLatin1(member.name).toLower() + QStringLiteral(".krb.lab"));
            QVERIFY(row->computer->directory && !row->computer->directory->stale);
        }

        QVERIFY(findRow(output.rows, QStringLiteral("KRBDISABLED")) == nullptr);
        const ResultRow* stale = findRow(output.rows, QStringLiteral("KRBSTALE"));
        QVERIFY(stale && stale->computer && stale->computer->directory);
        QVERIFY(stale->computer->directory->stale);
        const ResultRow* ghost = findRow(output.rows, QStringLiteral("KRBGHOST"));
        QVERIFY(ghost != nullptr);
        QCOMPARE(cellText(*ghost, ComputerColumn::Group), QLatin1String(DomainGroup));
        QCOMPARE(cellText(*ghost, ComputerColumn::Ip), QLatin1String(NoIpAddress));
        QCOMPARE(cellText(*ghost, ComputerColumn::Mac), QLatin1String(NoMacAddress));
        QCOMPARE(cellText(*ghost, ComputerColumn::Comment), QStringLiteral("No host behind it"));
        QCOMPARE(ghost->computer->directory->ouPath, QStringLiteral("Branch"));

        // Every account once, the benchmark's among them.
        const auto bench =
            std::count_if(output.rows.begin(), output.rows.end(), [](const ResultRow& row) {
                return row.caption.startsWith(u"\\\\BENCH");
            });
        QCOMPARE(int(bench), benchCount());
        QSet<QString> captions;
        for (const ResultRow& row : output.rows)
            captions.insert(row.caption.toUpper());
        QCOMPARE(captions.size(), qsizetype(output.rows.size()));
    }

    // Benchmark: the directory's accounts read by the source and merged
    // into the domain's group as the walk's group level lists it.
    void readsAndMergesTenThousandAccounts() {
        if (benchCount() < 10000)
            QSKIP("the lab holds fewer accounts than the benchmark reads");
        DirectorySource source;
        source.configure({});
        QElapsedTimer clock;
        clock.start();
        source.start({});
        const std::vector<DiscoveredHost> found = source.results();
        const qint64 read = clock.restart();
        const Admission admission = admitHosts(found, {}, source.maxHostsPerRound());
        const std::vector<std::vector<DiscoveredHost>> sources{admission.admitted};
        const std::vector<DiscoveredHost> united = uniteHosts(sources);
        const std::vector<SmbEntry> groups = mergeWorkgroups({}, united);
        const std::vector<SmbEntry> servers = mergeServers({}, DomainGroup, united);
        const qint64 merged = clock.elapsed();
        qInfo("directory source: %zu computers read in %lld ms, admitted and merged in %lld ms",
              found.size(), read, merged);
        QCOMPARE(groups.size(), std::size_t(1));
        QCOMPARE(servers.size(), found.size());
        QVERIFY(found.size() > std::size_t(benchCount()));
        QVERIFY2(merged < MergeBudgetMs, qPrintable(QString::number(merged)));
        QVERIFY2(read < ReadWallBudgetMs, qPrintable(QString::number(read)));
    }

    // Stop: the source's round ends within 250 ms, whatever it waits for.
    void cancelEndsTheRoundQuickly() {
        for (const int afterMs : {0, 50, 300}) {
            DirectorySource source;
            source.start({});
            QThread::msleep(afterMs);
            QElapsedTimer clock;
            clock.start();
            source.cancel();
            QVERIFY(source.results().empty());
            QVERIFY2(clock.elapsed() < CancelBudgetMs, qPrintable(QString::number(afterMs)));
        }
    }

    // Without a ticket the directory stays silent: the scan lists what the
    // other sources alone list.
    void withoutTicketScanIsUnchanged() {
        qputenv("KRB5CCNAME", m_ticket.emptyCache(QStringLiteral("none")));
        const auto restore = qScopeGuard([this] { m_ticket.restore(); });
        LinuxPlatform standard(test::labClientSettings(test::domainLabDir()));
        const QStringList got = rowTexts(scanComputers(standard).rows);
        DiscoverySources others;
        others.push_back(std::make_unique<WsdSource>());
        others.push_back(std::make_unique<DnsSdSource>());
        LinuxPlatform without(test::labClientSettings(test::domainLabDir()), nullptr,
                              std::move(others));
        QCOMPARE(got, rowTexts(scanComputers(without).rows));
        QVERIFY(!got.isEmpty());
        for (const QString& row : got)
            QVERIFY2(!row.startsWith(QLatin1String("\\\\KRBGHOST")), qPrintable(row));
    }

    // The command line as a script runs it: a ticket, no --auth-file, no
    // question; the members of both subnets list their shares.
    void folderScanListsMemberSharesWithTheTicket() {
        const ProgramRun run =
            runProgram({"--scan", "folders", "-f", "csv", "--domain", "krb.lab"});
        QVERIFY2(run.exitCode == 0, run.errors.constData());
        for (const char* share :
             {"\\\\KRBMEMBER\\projects", "\\\\KRBBRANCH\\branch", "\\\\KRBMODERN\\tools"})
            QVERIFY2(run.output.contains(QByteArray(share) + ",KRBLAB,"), run.output.constData());
    }

    // A ticket held, and no controller of the named domain read: the list
    // is written with what the other sources found, and the command line
    // says what is missing from it, with the status of a list with holes.
    void unreadDirectoryIsReported() {
        const ProgramRun run =
            runProgram({"--scan", "computers", "-f", "csv", "--domain", "nosuch.krb.lab"});
        QCOMPARE(run.exitCode, 4);
        QVERIFY2(run.errors.contains("norvane: directory nosuch.krb.lab not read: ") &&
                     run.errors.contains("; its computers are missing.\n"),
                 run.errors.constData());
        QVERIFY2(run.output.contains("\\\\KRBMEMBER,"), run.output.constData());
        QVERIFY(!run.output.contains("BENCH00001"));
    }
};

QTEST_GUILESS_MAIN(TestLabDomainScan)
#include "tst_lab_domainscan.moc"
