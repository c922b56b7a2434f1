// The program's command line against the lab: run as a user or cron would
// run it, without a display, inside the lab's client namespace
// (lab-ctest.sh run). Outputs are checked by parsing them.

#include "LabClient.h"
#include "common/CsvReader.h"
#include "core/RecordingOutput.h"
#include "linux/LinuxPlatform.h"
#include "report/ReportWriter.h"
#include "scan/HostIdentity.h"
#include "scan/ScanWorker.h"
#include "vendor/MacVendors.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace norvane;

namespace {

constexpr int ScanTimeoutMs = 60000;
// A host restarted by an earlier test takes the browse lists a while to
// settle again.
constexpr int SettleDeadlineMs = 120000;
constexpr int SettlePollMs = 2000;
constexpr const char* LocallyAdministered = "Locally administered";

const char* const TypeWords[] = {"computers", "folders", "printers"};

// Rows each scan lists from the lab's browse lists (discovery adds more);
// the lab's MAC addresses are all locally administered (02-4E-56-...).
const QStringList BrowsedNames[] = {
    {"\\\\LABSRV1", "\\\\LABSRV2", "\\\\LABSRV3", "\\\\LABSRV4"},
    {"\\\\LABSRV1\\docs", "\\\\LABSRV1\\public", "\\\\LABSRV2\\data", "\\\\LABSRV3\\media",
     "\\\\LABSRV4\\archive"},
    {"\\\\LABSRV1\\laser", "\\\\LABSRV3\\inkjet"},
};

// A row as "name|cells...|vendor", the window's placeholders where a value
// was not obtained.
QString rowText(const ResultRow& row, TResourceType type) {
    QStringList fields = QStringList{row.caption} + row.subItems;
    if (type == rtComputer)
        fields << MacVendors::system().vendorOf(cellText(row, ComputerColumn::Mac)).value_or("");
    return fields.join(QLatin1Char('|'));
}

QString jsonRowText(const QJsonObject& row, TResourceType type) {
    QStringList fields{row.value("name").toString()};
    if (type == rtComputer)
        fields << row.value("ipAddress").toString(QLatin1String(NoIpAddress));
    fields << row.value("group").toString() << row.value("comment").toString();
    if (type == rtComputer)
        fields << row.value("macAddress").toString(QLatin1String(NoMacAddress))
               << row.value("vendor").toString();
    return fields.join(QLatin1Char('|'));
}

// The list's cells and the vendor; the sources' facts after them are
// checked elsewhere.
QString csvRowText(QStringList fields, TResourceType type) {
    if (type == rtComputer && fields.size() == 12) {
        fields = fields.mid(0, 6);
        if (fields[1].isEmpty())
            fields[1] = QLatin1String(NoIpAddress);
        if (fields[4].isEmpty())
            fields[4] = QLatin1String(NoMacAddress);
    }
    return fields.join(QLatin1Char('|'));
}

QString prefix() {
    const QByteArray value = qgetenv("NORVANE_LAB_PREFIX");
    return value.isEmpty() ? QStringLiteral("nvlab") : QString::fromLocal8Bit(value);
}

QString labDir() {
    return test::labDirOr(QStringLiteral("/tmp/norvane-lab"));
}

QString labClientConfig() {
    return labDir() + QStringLiteral("/client/smb.conf");
}

// The platform as the program makes it, with the lab's client
// configuration, which the program reads as its user's ~/.smb/smb.conf.
LinuxPlatformSettings labSettings() {
    LinuxPlatformSettings settings;
    settings.smbConfigFile = labClientConfig().toStdString();
    return settings;
}

// A home whose SMB configuration is the lab's client configuration.
const QTemporaryDir& labHome() {
    static const QTemporaryDir home = [] {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath(QStringLiteral(".smb")));
        QFile::link(labClientConfig(), dir.filePath(QStringLiteral(".smb/smb.conf")));
        return dir;
    }();
    return home;
}

struct Outcome {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
    qint64 ms = 0;
};

// The program as a script runs it: no display, no Wayland socket, no Qt
// platform forced.
QProcess* startProgram(const QStringList& arguments, const QStringList& wrapper = {}) {
    auto* process = new QProcess;
    process->setProcessEnvironment(test::scriptEnvironment(labHome().path()));
    const QStringList command = wrapper + QStringList{QStringLiteral(NORVANE_PROGRAM)} + arguments;
    process->start(command.constFirst(), command.mid(1));
    return process;
}

Outcome run(const QStringList& arguments, const QStringList& wrapper = {}) {
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<QProcess> process(startProgram(arguments, wrapper));
    Outcome outcome;
    if (!process->waitForFinished(ScanTimeoutMs))
        return outcome;
    outcome.ms = timer.elapsed();
    outcome.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    outcome.output = process->readAllStandardOutput();
    outcome.errors = process->readAllStandardError();
    return outcome;
}

// Runs a tool of the system; its output is shown only when it fails.
int runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(ScanTimeoutMs) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (process.exitCode() != 0)
        qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                 process.readAll().constData());
    return process.exitCode();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Whether the process has a handler of its own for `signal` yet, by the
// caught-signals mask the kernel shows for it.
bool catchesSignal(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool ok = false;
            const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (1ull << (signal - 1))) != 0;
        }
    }
    return false;
}

void writeFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

// The lines of a report after its title line, whose time is the writing's.
QByteArrayList bodyLines(const QByteArray& report) {
    QByteArrayList lines = report.split('\n');
    const auto title = std::find_if(lines.begin(), lines.end(),
                                    [](const QByteArray& line) { return line.startsWith("*** "); });
    return title == lines.end() ? lines : QByteArrayList(title + 1, lines.end());
}

// The heading and rule lines, then the data lines in sorted order.
QByteArrayList sortedBody(const QByteArray& report) {
    QByteArrayList lines = bodyLines(report);
    constexpr qsizetype HeadingLines = 3; // empty, heading, rule
    if (lines.size() > HeadingLines)
        std::sort(lines.begin() + HeadingLines, lines.end());
    return lines;
}

} // namespace

class TestLabCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(QFile::exists(labHome().filePath(QStringLiteral(".smb/smb.conf"))));
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            LinuxPlatform platform(labSettings());
            ScanInputs inputs{LanManProviderName, rtComputer, 0};
            QVERIFY(EnumLana(platform, inputs.lanaNum));
            test::RecordingOutput computers;
            ScanNetwork(platform, inputs, computers, [] { return false; });
            QStringList names;
            for (const ResultRow& row : computers.rows)
                names << row.caption;
            const bool settled =
                std::all_of(BrowsedNames[rtComputer].begin(), BrowsedNames[rtComputer].end(),
                            [&names](const QString& name) { return names.contains(name); });
            if (settled)
                return;
            QVERIFY2(timer.elapsed() < SettleDeadlineMs, qPrintable(names.join(' ')));
            QTest::qWait(SettlePollMs);
        }
    }

    void formats_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("format");
        for (int type = 0; type < 3; ++type)
            for (const char* format : {"report", "csv", "json"})
                QTest::addRow("%s %s", TypeWords[type], format) << type << QString(format);
    }
    void formats() {
        QFETCH(int, type);
        QFETCH(QString, format);
        const auto resourceType = static_cast<TResourceType>(type);
        const Outcome outcome = run({"--scan", TypeWords[type], "--format", format});
        // Standard error may carry the SMB library's own messages about
        // hosts without SMB1; standard output carries only the result.
        QVERIFY2(outcome.exitCode == 0, outcome.errors.constData());
        qInfo("%s as %s: %lld ms", TypeWords[type], qPrintable(format), outcome.ms);

        // The rows the window lists for the same lab, as the reference.
        LinuxPlatform platform(labSettings());
        ScanInputs inputs{LanManProviderName, type, 0};
        QVERIFY(EnumLana(platform, inputs.lanaNum));
        test::RecordingOutput reference;
        QCOMPARE(ScanNetwork(platform, inputs, reference, [] { return false; }), ScanCompleted);
        QStringList expected;
        for (const ResultRow& row : reference.rows)
            expected << rowText(row, resourceType);
        expected.sort();
        for (const QString& name : BrowsedNames[type])
            QVERIFY2(expected.filter(name + QLatin1Char('|')).size() == 1, qPrintable(name));

        QStringList got;
        if (format == QLatin1String("json")) {
            QJsonParseError error{};
            const QJsonObject root = QJsonDocument::fromJson(outcome.output, &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(root.value("resourceType").toString(), QLatin1String(TypeWords[type]));
            const QDateTime started =
                QDateTime::fromString(root.value("started").toString(), Qt::ISODate);
            QVERIFY(started.isValid());
            QVERIFY(qAbs(started.secsTo(QDateTime::currentDateTime())) < 120);
            for (const QJsonValue value : root.value("rows").toArray())
                got << jsonRowText(value.toObject(), resourceType);
        } else if (format == QLatin1String("csv")) {
            CsvReader reader(outcome.output);
            const auto header = reader.next();
            QVERIFY(header && header->wellFormed);
            QCOMPARE(header->fields,
                     columnCaptions(resourceType) +
                         (type == rtComputer
                              ? QStringList{"Vendor", "DNS Name", "Operating System", "OS Version",
                                            "OU Path", "Stale", "Found By"}
                              : QStringList{}));
            while (const auto record = reader.next()) {
                QVERIFY(record->wellFormed);
                got << csvRowText(record->fields, resourceType);
            }
        } else {
            // What the window's Save writes for the same rows. Hosts that
            // discovery finds may come in another order from one scan to the
            // next: the data lines are compared as a set.
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("window.nrv"));
            SaveReport(path, true, resourceType, columnCaptions(resourceType), reference.rows);
            QCOMPARE(sortedBody(outcome.output), sortedBody(readFile(path)));
            QVERIFY(outcome.output.startsWith("\r\n*** " +
                                              resourceTypePlural(resourceType).toUtf8() + " ("));
            return;
        }
        got.sort();
        QCOMPARE(got, expected);
        if (type == rtComputer)
            QVERIFY(!got.filter(QLatin1String(LocallyAdministered)).isEmpty());
    }

    // The README's cron line: the file collects one block per run.
    void appendKeepsTheReport() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("inventory.nrv"));
        const Outcome first = run({"--scan", "printers", "-o", path});
        QVERIFY2(first.exitCode == 0, first.errors.constData());
        const QByteArray firstBlock = readFile(path);
        const Outcome second = run({"--scan", "printers", "--append", "-o", path, "-q"});
        QVERIFY2(second.exitCode == 0, second.errors.constData());
        const QByteArray both = readFile(path);
        QVERIFY(both.startsWith(firstBlock));
        QCOMPARE(both.count("\r\n*** Shared printers ("), 2);
        QCOMPARE(sortedBody(both.mid(firstBlock.size())), sortedBody(firstBlock));
    }

    // Exit codes and standard error's texts.
    void failures_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("where"); // "lonely": a namespace without browse servers
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errors"); // a line of standard error
        QTest::newRow("no browse server")
            << QStringList{"--scan", "computers"} << "lonely" << 1 << "Error: 6118.\n";
        QTest::newRow("unwritable output")
            << QStringList{"--scan", "printers", "-o", "/nonexistent-folder/x.nrv"} << "" << 3
            << "Invalid filename.\n";
        QTest::newRow("bad option") << QStringList{"--scan", "printers", "--format", "xml"} << ""
                                    << 2 << "norvane: Unknown format 'xml'";
        QTest::newRow("auth file readable by others")
            << QStringList{"--scan", "printers", "--auth-file", "@/auth"} << "" << 2
            << "norvane: Authentication file @/auth: other users can read it";
    }
    void failures() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, where);
        QFETCH(int, exitCode);
        QFETCH(QString, errors);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("auth")), "username = guest\npassword =\n",
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        arguments.replaceInStrings(QStringLiteral("@"), dir.path());
        errors.replace(QLatin1Char('@'), dir.path());
        QStringList wrapper;
        if (where == QLatin1String("lonely")) {
            const QString lonely = prefix() + QStringLiteral("-lonely");
            // A namespace left over from a run that broke off goes first.
            QProcess leftOver;
            leftOver.start(QStringLiteral("ip"), {"netns", "del", lonely});
            leftOver.waitForFinished();
            const QList<QStringList> setUp = {
                {"netns", "add", lonely},
                {"-n", lonely, "link", "add", "eth0", "type", "veth", "peer", "name", "eth1"},
                {"-n", lonely, "addr", "add", "10.213.78.10/24", "brd", "+", "dev", "eth0"},
                {"-n", lonely, "link", "set", "eth0", "up"},
                {"-n", lonely, "link", "set", "eth1", "up"}};
            for (const QStringList& command : setUp)
                QCOMPARE(runTool(QStringLiteral("ip"), command), 0);
            wrapper = QStringList{"ip", "netns", "exec", lonely};
        }
        const Outcome outcome = run(arguments, wrapper);
        if (!wrapper.isEmpty())
            QCOMPARE(runTool(QStringLiteral("ip"), {"netns", "del", wrapper.at(3)}), 0);
        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(QString::fromUtf8(outcome.errors).contains(errors), outcome.errors.constData());
        QCOMPARE(outcome.output, QByteArray());
    }

    // cron's run of an unprivileged user: no terminal, a bare environment,
    // a user who may not write the system's Samba folders, and a home that
    // may not be writable either (a system user's). A scan that succeeds
    // and is recorded says nothing, so that cron sends no mail; one whose
    // scan store cannot be made (no home to keep it in, no --store) is
    // still written, and the store's failure is named with exit status 5.
    void cronRunOfAnUnprivilegedUserIsSilent_data() {
        QTest::addColumn<bool>("writableHome");
        QTest::addColumn<bool>("storeElsewhere");
        QTest::newRow("a home of its own") << true << false;
        QTest::newRow("a home it cannot write") << false << false;
        QTest::newRow("a home it cannot write, a store elsewhere") << false << true;
    }
    void cronRunOfAnUnprivilegedUserIsSilent() {
        QFETCH(bool, writableHome);
        QFETCH(bool, storeElsewhere);
        QTemporaryDir home;
        QTemporaryDir storeFolder;
        QVERIFY(home.isValid() && storeFolder.isValid());
        QCOMPARE(runTool(QStringLiteral("chown"), {"nobody", storeFolder.path()}), 0);
        // The lab's client configuration without its folders, so that the
        // library's caches would go to the system's folders.
        QByteArray config;
        for (const QByteArray& line : readFile(labClientConfig()).split('\n')) {
            if (!line.contains("directory") && !line.contains("private dir"))
                config += line + '\n';
        }
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".smb"))));
        writeFile(home.filePath(QStringLiteral(".smb/smb.conf")), config,
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        const QStringList paths{home.path(), home.filePath(QStringLiteral(".smb"))};
        for (const QString& path : paths) {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ExeOwner | QFile::ReadOther |
                                                    QFile::ExeOther));
            if (writableHome)
                QCOMPARE(runTool(QStringLiteral("chown"), {"nobody", path}), 0);
        }
        QStringList arguments{"--scan", "folders"};
        if (storeElsewhere)
            arguments << "--store" << storeFolder.filePath(QStringLiteral("scans.sqlite"));
        const Outcome outcome =
            run(arguments, {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "env",
                            "-i", "HOME=" + home.path(), "PATH=/usr/bin:/bin", "SHELL=/bin/sh",
                            "LOGNAME=nobody", "USER=nobody"});
        const bool recorded = writableHome || storeElsewhere;
        QCOMPARE(outcome.exitCode, recorded ? 0 : 5);
        if (recorded)
            QCOMPARE(outcome.errors, QByteArray());
        else
            QVERIFY2(outcome.errors.startsWith("norvane: the scan was not recorded in "),
                     outcome.errors.constData());
        for (const QString& name : BrowsedNames[rtSharedFolder])
            QVERIFY2(outcome.output.contains(name.toUtf8()), outcome.output.constData());
        if (storeElsewhere)
            QVERIFY(QFileInfo(storeFolder.filePath(QStringLiteral("scans.sqlite"))).size() > 0);
    }

    // Ctrl+C while the walk runs: the scan stops, nothing is written and
    // the file keeps its bytes. The walk is held up by a server that the
    // browse list still names but that no longer answers.
    void interruptLeavesTheFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kept.nrv"));
        writeFile(path, "earlier block\r\n", QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(QProcess::execute(QStringLiteral(NORVANE_LAB_SCRIPT), {"stop-host", "4"}), 0);
        const auto restart = qScopeGuard([] {
            QProcess::execute(QStringLiteral(NORVANE_LAB_SCRIPT), {"start-host", "4"});
        });
        std::unique_ptr<QProcess> process(
            startProgram({"--scan", "folders", "--append", "-o", path}));
        QVERIFY(process->waitForStarted());
        // On a loaded machine the program may take longer than the scan's
        // first moments to set its handler up; an interrupt before that
        // would end it the default way.
        QTRY_VERIFY_WITH_TIMEOUT(catchesSignal(process->processId(), SIGINT), ScanTimeoutMs);
        QTest::qWait(300);
        const bool running = process->state() == QProcess::Running;
        ::kill(static_cast<pid_t>(process->processId()), SIGINT);
        QVERIFY(process->waitForFinished(ScanTimeoutMs));
        QVERIFY2(running, "the scan ended before the interrupt");
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 130);
        QCOMPARE(readFile(path), QByteArray("earlier block\r\n"));
        QCOMPARE(process->readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestLabCommandLine)
#include "tst_labcommandline.moc"
