// A command-line scan over the scripted network: what each format writes,
// where, and with which exit code; what reaches standard error.

#include "CsvExport.h"
#include "JsonExport.h"
#include "ProgressMeter.h"
#include "ScanCommand.h"
#include "common/AppError.h"
#include "common/CsvReader.h"
#include "fake/SmallNetwork.h"
#include "report/ReportWriter.h"
#include "store/ScanStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace norvane;
using norvane::test::FakePlatform;

namespace {

std::atomic<bool> alarmRang{false};
extern "C" void ringAlarm(int) {
    alarmRang = true;
}

const QDateTime ScanTime(QDate(2026, 12, 10), QTime(14, 5, 9), QTimeZone(3600));

class RecordingConsole : public Console {
public:
    QByteArray output;
    QString errors;
    bool terminal = false;
    bool outputFails = false;

    void writeOutput(const QByteArray& bytes) override {
        if (outputFails)
            throw AppError(QStringLiteral("Disk full"));
        output += bytes;
    }
    void writeError(const QString& text) override { errors += text; }
    bool errorIsTerminal() const override { return terminal; }
};

// The small network with a quoted comment and a Unicode one; beta resolves
// to nothing.
void buildNetwork(FakePlatform& net) {
    test::buildSmallNetwork(
        net, {{.group = "WG1", .computer = "\\\\ALPHA", .comment = "Main server, \"east\""},
              {.group = "WG1", .computer = "\\\\beta"},
              {.group = "WG2", .computer = "\\\\GAMMA", .comment = "Print host"},
              {.group = "WG2", .computer = "\\\\DELTA", .comment = "Ünïcode"}});
}

ResultRow row(const char* caption, int image, QStringList cells) {
    return ResultRow{QString::fromUtf8(caption), image, std::move(cells)};
}

ResultRows expectedRows(TResourceType type) {
    switch (type) {
    case rtComputer:
        return {row("\\\\ALPHA", imgComputer,
                    {"10.0.0.12", "WG1", "Main server, \"east\"", "00-0A-5E-1F-C2-9B"}),
                row("\\\\beta", imgUnresolvedComputer, {NoIpAddress, "WG1", "", NoMacAddress}),
                row("\\\\GAMMA", imgComputer, {"192.168.1.2", "WG2", "Print host", NoMacAddress}),
                row("\\\\DELTA", imgComputer,
                    {"10.0.0.5", "WG2", QStringLiteral("Ünïcode"), "02-00-00-00-00-01"})};
    case rtSharedFolder:
        return {row("\\\\ALPHA\\Public", imgSharedFolder, {"WG1", "Public files"}),
                row("\\\\DELTA\\Docs", imgSharedFolder, {"WG2", ""})};
    case rtSharedPrinter:
        return {row("\\\\ALPHA\\Laser", imgSharedPrinter, {"WG1", "Second floor"})};
    }
    return {};
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The report without its title line, whose time is the writing's.
QByteArray withoutTitle(QByteArray report) {
    const qsizetype start = report.indexOf("*** ");
    const qsizetype end = report.indexOf("\r\n", start);
    return start < 0 || end < 0 ? report : report.remove(start, end - start);
}

struct Run {
    FakePlatform net;
    RecordingConsole console;
    MacVendors vendors;
    QTemporaryDir storeDir;
    int signal = 0;
    int exitCode = -1;

    StoreLocation store() const {
        StoreLocation location;
        location.sqlitePath = storeDir.filePath(QStringLiteral("scans.sqlite"));
        return location;
    }

    Run() {
        buildNetwork(net);
        vendors.addRegistry("MA-L,000A5E,\"3COM, Inc.\",Somewhere\n");
    }
    int run(const QStringList& arguments) {
        ScanCommandContext context{net, console};
        context.stopSignal = [this] { return signal; };
        context.now = [] { return ScanTime; };
        context.locale = QLocale::c();
        context.vendors = [this]() -> const MacVendors& { return vendors; };
        context.storeSettings = [this] {
            StoreSettings settings;
            settings.location = store();
            settings.site = QStringLiteral("home");
            return settings;
        };
        exitCode = ScanCommand(std::move(context)).run(QStringList{"norvane"} + arguments);
        return exitCode;
    }
};

} // namespace

class TestScanCommand : public QObject {
    Q_OBJECT

private slots:
    void reportIsTheWindowsReport_data() {
        QTest::addColumn<int>("type");
        QTest::newRow("computers") << int(rtComputer);
        QTest::newRow("folders") << int(rtSharedFolder);
        QTest::newRow("printers") << int(rtSharedPrinter);
    }
    void reportIsTheWindowsReport() {
        QFETCH(int, type);
        const auto resourceType = static_cast<TResourceType>(type);
        const char* words[] = {"computers", "folders", "printers"};
        Run r;
        QCOMPARE(r.run({"--scan", words[type]}), ExitScanWritten);
        QCOMPARE(r.console.output,
                 formatReport(resourceType, columnCaptions(resourceType),
                              expectedRows(resourceType), ScanTime, QLocale::c()));
        QCOMPARE(r.console.errors, QString());

        // To a file: what the window's Save As writes for the same rows.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("scan.nrv"));
        const QString window = dir.filePath(QStringLiteral("window.nrv"));
        Run toFile;
        QCOMPARE(toFile.run({"--scan", words[type], "-o", path}), ExitScanWritten);
        SaveReport(window, true, resourceType, columnCaptions(resourceType),
                   expectedRows(resourceType), QLocale::c());
        QCOMPARE(withoutTitle(readFile(path)), withoutTitle(readFile(window)));
        QCOMPARE(toFile.console.output, QByteArray());
    }

    void csvHasAHeaderAndOneRecordPerRow() {
        Run r;
        QCOMPARE(r.run({"--scan", "computers", "--format", "csv"}), ExitScanWritten);
        QVERIFY(r.console.output.endsWith("\r\n"));
        CsvReader reader(r.console.output);
        QList<QStringList> records;
        while (const auto record = reader.next()) {
            QVERIFY(record->wellFormed);
            records << record->fields;
        }
        const QStringList facts{"", "", "", "", "", "browse list"};
        QCOMPARE(records,
                 (QList<QStringList>{
                     QStringList{"Name", "IP Address", "Group", "Comment", "MAC Address", "Vendor",
                                 "DNS Name", "Operating System", "OS Version", "OU Path", "Stale",
                                 "Found By"},
                     QStringList{"\\\\ALPHA", "10.0.0.12", "WG1", "Main server, \"east\"",
                                 "00-0A-5E-1F-C2-9B", "3COM, Inc."} +
                         facts,
                     QStringList{"\\\\beta", "", "WG1", "", "", ""} + facts,
                     QStringList{"\\\\GAMMA", "192.168.1.2", "WG2", "Print host", "", ""} + facts,
                     QStringList{"\\\\DELTA", "10.0.0.5", "WG2", QStringLiteral("Ünïcode"),
                                 "02-00-00-00-00-01", "Locally administered"} +
                         facts}));

        Run shares;
        QCOMPARE(shares.run({"--scan", "folders", "--format", "csv"}), ExitScanWritten);
        QCOMPARE(shares.console.output, QByteArray("Name,Group,Comment\r\n"
                                                   "\\\\ALPHA\\Public,WG1,Public files\r\n"
                                                   "\\\\DELTA\\Docs,WG2,\r\n"));
    }

    void jsonNamesFieldsAndNullsWhatWasNotObtained() {
        Run r;
        QCOMPARE(r.run({"--scan", "computers", "--format", "json"}), ExitScanWritten);
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(r.console.output, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonObject root = document.object();
        QCOMPARE(root.value("resourceType").toString(), QStringLiteral("computers"));
        QCOMPARE(root.value("started").toString(), QStringLiteral("2026-12-10T14:05:09+01:00"));
        QCOMPARE(QDateTime::fromString(root.value("started").toString(), Qt::ISODate), ScanTime);
        const QJsonArray rows = root.value("rows").toArray();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.at(0).toObject(), (QJsonObject{{"name", "\\\\ALPHA"},
                                                     {"ipAddress", "10.0.0.12"},
                                                     {"group", "WG1"},
                                                     {"comment", "Main server, \"east\""},
                                                     {"macAddress", "00-0A-5E-1F-C2-9B"},
                                                     {"vendor", "3COM, Inc."},
                                                     {"dnsName", QJsonValue()},
                                                     {"operatingSystem", QJsonValue()},
                                                     {"osVersion", QJsonValue()},
                                                     {"ouPath", QJsonValue()},
                                                     {"stale", QJsonValue()},
                                                     {"foundBy", QJsonArray{"browse list"}}}));
        const QJsonObject beta = rows.at(1).toObject();
        QVERIFY(beta.value("ipAddress").isNull());
        QVERIFY(beta.value("macAddress").isNull());
        QVERIFY(beta.value("vendor").isNull());
        QCOMPARE(beta.value("comment"), QJsonValue(QString()));
        QCOMPARE(rows.at(3).toObject().value("comment").toString(), QStringLiteral("Ünïcode"));

        Run printers;
        QCOMPARE(printers.run({"--scan", "printers", "-f", "json"}), ExitScanWritten);
        const QJsonObject shares = QJsonDocument::fromJson(printers.console.output).object();
        QCOMPARE(shares.value("resourceType").toString(), QStringLiteral("printers"));
        QCOMPARE(
            shares.value("rows").toArray(),
            (QJsonArray{QJsonObject{
                {"name", "\\\\ALPHA\\Laser"}, {"group", "WG1"}, {"comment", "Second floor"}}}));
    }

    // A directory's computer: its facts in both formats, a formula-like one
    // defended in CSV only.
    void computerFactsAreWritten() {
        auto record = std::make_shared<ComputerRecord>();
        record->dnsName = QStringLiteral("krbghost.krb.lab");
        record->operatingSystem = QStringLiteral("=Windows 11 Pro");
        record->osVersion = QStringLiteral("10.0 (22631)");
        record->foundBy = FoundBy::Directory;
        record->foundBy |= FoundBy::BrowseList;
        record->directory = DirectoryFacts{.guid = {}, .ouPath = "Branch/Berlin", .stale = true};
        ScanResult scan;
        scan.rows = {ResultRow{"\\\\KRBGHOST",
                               imgComputer,
                               {NoIpAddress, "KRBLAB", "No host behind it", NoMacAddress}}};
        scan.rows.front().computer = record;

        CsvReader reader(formatCsv(scan, MacVendors()));
        QVERIFY(reader.next()); // the header
        const auto csv = reader.next();
        QVERIFY(csv && csv->wellFormed);
        QCOMPARE(csv->fields.mid(6),
                 (QStringList{"krbghost.krb.lab", "'=Windows 11 Pro", "10.0 (22631)",
                              "Branch/Berlin", "yes", "browse list; directory"}));

        const QJsonObject json = QJsonDocument::fromJson(formatJson(scan, MacVendors()))
                                     .object()
                                     .value("rows")
                                     .toArray()
                                     .at(0)
                                     .toObject();
        QCOMPARE(json.value("dnsName").toString(), QStringLiteral("krbghost.krb.lab"));
        QCOMPARE(json.value("operatingSystem").toString(), QStringLiteral("=Windows 11 Pro"));
        QCOMPARE(json.value("osVersion").toString(), QStringLiteral("10.0 (22631)"));
        QCOMPARE(json.value("ouPath").toString(), QStringLiteral("Branch/Berlin"));
        QCOMPARE(json.value("stale"), QJsonValue(true));
        QCOMPARE(json.value("foundBy").toArray(), (QJsonArray{"browse list", "directory"}));
    }

    void appendKeepsTheEarlierBlocks() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("inventory.nrv"));
        writeFile(path, "earlier block\r\n");
        for (int i = 0; i < 2; ++i) {
            Run r;
            QCOMPARE(r.run({"--scan", "printers", "--append", "-o", path}), ExitScanWritten);
        }
        const QByteArray block =
            withoutTitle(formatReport(rtSharedPrinter, columnCaptions(rtSharedPrinter),
                                      expectedRows(rtSharedPrinter), ScanTime, QLocale::c()));
        QCOMPARE(withoutTitle(withoutTitle(readFile(path))), "earlier block\r\n" + block + block);
    }

    void authFileLogsOnEveryShareListing() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("auth"));
        writeFile(path, "username = scanner\npassword = s3cret\ndomain = OFFICE\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        Run r;
        QCOMPARE(r.run({"--scan", "folders", "--auth-file", path}), ExitScanWritten);
        const std::vector<std::string> calls = r.net.calls();
        const auto logOn = std::find(calls.begin(), calls.end(), "setLogOn(OFFICE\\scanner)");
        QVERIFY(logOn != calls.end());
        const auto firstOpen = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
            return c.rfind("openEnum", 0) == 0;
        });
        QVERIFY(logOn < firstOpen);
        QVERIFY(!r.console.errors.contains(QStringLiteral("s3cret")));
    }

    // What goes wrong, the exit code and standard error's text: the texts of
    // the window's boxes, and for usage errors a line naming the program.
    void failures_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("errors");
        const QStringList scan{"--scan", "computers"};
        QTest::newRow("provider not readable") << "provider" << scan << ExitScanFailed
                                               << "You are not logged in Microsoft Windows "
                                                  "Network.\n";
        QTest::newRow("no browse server") << "browse" << scan << ExitScanFailed << "Error: 6118.\n";
        QTest::newRow("no adapter")
            << "adapter" << scan << ExitScanFailed << "Problem with network adapter.\n";
        QTest::newRow("folder missing")
            << "" << (scan + QStringList{"-o", "@/none/x.nrv"}) << ExitOutputFailed
            << "norvane: @/none/x.nrv: Invalid filename.\n";
        QTest::newRow("append to a missing file")
            << "" << (scan + QStringList{"-a", "-o", "@/x.nrv"}) << ExitOutputFailed
            << "norvane: @/x.nrv: File not found.\n";
        QTest::newRow("a folder") << "" << (scan + QStringList{"-o", "@"}) << ExitOutputFailed
                                  << "norvane: @: Invalid filename.\n";
        QTest::newRow("a pipe nobody reads")
            << "" << (scan + QStringList{"-o", "@/fifo"}) << ExitOutputFailed
            << "norvane: @/fifo: No program reads from the pipe.\n";
        QTest::newRow("standard output full")
            << "stdout" << scan << ExitOutputFailed << "norvane: standard output: Disk full.\n";
        QTest::newRow("bad option")
            << "" << QStringList{"--scan", "computers", "--bogus"} << ExitUsage
            << "norvane: Unknown option 'bogus'.\nTry 'norvane --help' for more information.\n";
        QTest::newRow("auth file readable by others")
            << "" << (scan + QStringList{"--auth-file", "@/open-auth"}) << ExitUsage
            << "norvane: Authentication file @/open-auth: other users can read it; allow only "
               "its owner (chmod 600)\nTry 'norvane --help' for more information.\n";
    }
    void failures() {
        QFETCH(QString, fault);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, errors);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("open-auth")), "username = a\npassword = b\n");
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("open-auth")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        QCOMPARE(
            ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
        for (QString& argument : arguments)
            argument.replace(QLatin1Char('@'), dir.path());
        errors.replace(QLatin1Char('@'), dir.path());
        Run r;
        if (fault == QLatin1String("provider"))
            r.net.provider.openError = win::NoNetwork;
        if (fault == QLatin1String("browse"))
            r.net.provider.enumError = win::NoBrowserServersFound;
        if (fault == QLatin1String("adapter"))
            r.net.lanas.clear();
        r.console.outputFails = fault == QLatin1String("stdout");
        QCOMPARE(r.run(arguments), exitCode);
        QCOMPARE(r.console.errors, errors);
        QCOMPARE(r.console.output, QByteArray());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.nrv"))));
        // A file that cannot be written fails before the scan, not after it.
        if (exitCode == ExitOutputFailed && fault.isEmpty()) {
            const auto calls = r.net.calls();
            QVERIFY(std::none_of(calls.begin(), calls.end(), [](const std::string& call) {
                return call.rfind("openEnum", 0) == 0;
            }));
        }
    }

    // A pipe that a program reads gets the result; one that nobody reads
    // is refused at once (above) rather than waited on for ever.
    void pipeWithAReader() {
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        Run r;
        QCOMPARE(r.run({"--scan", "printers", "-f", "csv", "-o", QFile::decodeName(fifo)}),
                 ExitScanWritten);
        QByteArray got(4096, '\0');
        const ssize_t length = ::read(reader, got.data(), static_cast<std::size_t>(got.size()));
        ::close(reader);
        QCOMPARE(got.left(length), QByteArray("Name,Group,Comment\r\n"
                                              "\\\\ALPHA\\Laser,WG1,Second floor\r\n"));
    }

    // Standard output is a pipe whose reader takes nothing: the writing
    // waits, but a stop signal ends the wait (the handler restarts system
    // calls, as the command line's does) instead of leaving the program
    // hanging until a second signal kills it.
    void stalledStandardOutputYieldsToASignal() {
        int ends[2];
        QCOMPARE(::pipe(ends), 0);
        const int savedOutput = ::dup(STDOUT_FILENO);
        QVERIFY(savedOutput >= 0);
        struct sigaction action {};
        action.sa_handler = ringAlarm;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        struct sigaction previous {};
        QCOMPARE(::sigaction(SIGALRM, &action, &previous), 0);
        alarmRang = false;
        QString failure;
        ::dup2(ends[1], STDOUT_FILENO);
        ::alarm(1);
        try {
            ProcessConsole([] {
                return alarmRang.load();
            }).writeOutput(QByteArray(4 * 1024 * 1024, 'x')); // more than a pipe holds
        } catch (const AppError& error) {
            failure = error.message();
        }
        ::alarm(0);
        ::dup2(savedOutput, STDOUT_FILENO);
        ::close(savedOutput);
        ::close(ends[0]);
        ::close(ends[1]);
        ::sigaction(SIGALRM, &previous, nullptr);
        QVERIFY(alarmRang);
        QVERIFY(!failure.isEmpty());
    }

    // A link to a report not made yet is written through, as a link to an
    // existing one is; the link stays.
    void danglingLinkIsWrittenThrough_data() {
        QTest::addColumn<QString>("pointee");
        QTest::newRow("absolute") << "@/reports/scan.nrv";
        QTest::newRow("relative") << "reports/scan.nrv";
        QTest::newRow("a chain") << "second-link";
    }
    void danglingLinkIsWrittenThrough() {
        QFETCH(QString, pointee);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("reports")));
        pointee.replace(QLatin1Char('@'), dir.path());
        const QString link = dir.filePath(QStringLiteral("link.nrv"));
        QCOMPARE(
            ::symlink(QFile::encodeName(pointee).constData(), QFile::encodeName(link).constData()),
            0);
        QCOMPARE(
            ::symlink("reports/scan.nrv",
                      QFile::encodeName(dir.filePath(QStringLiteral("second-link"))).constData()),
            0);
        Run r;
        QCOMPARE(r.run({"--scan", "printers", "-o", link}), ExitScanWritten);
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(readFile(dir.filePath(QStringLiteral("reports/scan.nrv")))
                    .contains("\\\\ALPHA\\Laser"));
    }

    // Computers that refuse the log-on are missing from the result: the
    // result is written, each is named on standard error unless --quiet,
    // and the exit code says the result is incomplete.
    void refusedComputersAreNamed_data() {
        QTest::addColumn<bool>("quiet");
        QTest::newRow("default") << false;
        QTest::newRow("quiet") << true;
    }
    void refusedComputersAreNamed() {
        QFETCH(bool, quiet);
        Run r;
        r.net.containers["\\\\DELTA"].onlyUser =
            Credentials{"admin", "", SecretText(std::string_view("pw"))};
        r.net.containers["\\\\ALPHA"].onlyUser =
            Credentials{"admin", "", SecretText(std::string_view("pw"))};
        QStringList arguments{"--scan", "folders", "-f", "csv"};
        if (quiet)
            arguments << "-q";
        QCOMPARE(r.run(arguments), ExitScanIncomplete);
        QCOMPARE(r.console.output, QByteArray("Name,Group,Comment\r\n"));
        QCOMPARE(r.console.errors,
                 quiet
                     ? QString()
                     : QStringLiteral(
                           "norvane: \\\\ALPHA: refused the log-on; its shares are not listed.\n"
                           "norvane: \\\\DELTA: refused the log-on; its shares are not listed.\n"));

        Run complete;
        QCOMPARE(complete.run(arguments), ExitScanWritten);
    }

    // A source that could not read what the user asked for (a directory
    // whose controllers all failed) leaves holes like a refused log-on:
    // the rows are written, the reason goes to standard error unless
    // --quiet, and the exit code says the result is incomplete; with
    // refusals too, the status stays the same.
    void unreadSourceIsNamed_data() {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("refusal");
        QTest::newRow("computers") << QStringList{"--scan", "computers"} << false;
        QTest::newRow("quiet") << QStringList{"--scan", "computers", "-q"} << false;
        QTest::newRow("folders, with a refusal") << QStringList{"--scan", "folders"} << true;
    }
    void unreadSourceIsNamed() {
        QFETCH(QStringList, extra);
        QFETCH(bool, refusal);
        Run r;
        r.net.shortfalls = {"directory krb.lab not read: no controller could be read",
                            "directory with\x1b[31m escape"};
        if (refusal)
            r.net.containers["\\\\ALPHA"].onlyUser =
                Credentials{"admin", "", SecretText(std::string_view("pw"))};
        QCOMPARE(r.run(extra + QStringList{"-f", "csv"}), ExitScanIncomplete);
        QVERIFY(r.console.output.count('\n') > 1); // rows beside the header
        if (extra.contains(QStringLiteral("-q"))) {
            QCOMPARE(r.console.errors, QString());
            return;
        }
        const QStringList lines = r.console.errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QStringLiteral("norvane: directory krb.lab not read: no "
                                                "controller could be read; its computers are "
                                                "missing."));
        // Text from the network reaches the terminal without its controls.
        QVERIFY2(!lines.value(1).contains(QChar(0x1b)), qPrintable(lines.value(1)));
        QCOMPARE(lines.size(), refusal ? 3 : 2);
    }

    // Spreadsheets take a cell that starts with =, +, -, @, a tab or a
    // carriage return for a formula: names, groups and comments from the
    // network are written so that none runs.
    void csvCellsNeverBecomeFormulas_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cell");
        QTest::newRow("equals") << "=1+2"
                                << "'=1+2";
        QTest::newRow("plus") << "+cmd|' /C calc'!A0"
                              << "'+cmd|' /C calc'!A0";
        QTest::newRow("minus") << "-2+3"
                               << "'-2+3";
        QTest::newRow("at") << "@SUM(A1)"
                            << "'@SUM(A1)";
        QTest::newRow("tab") << "\t=1"
                             << "'\t=1";
        QTest::newRow("carriage return") << "\r=1"
                                         << "'\r=1";
        QTest::newRow("hyperlink") << "=HYPERLINK(\"http://x\",\"y\")"
                                   << "'=HYPERLINK(\"http://x\",\"y\")";
        QTest::newRow("inside is harmless") << "a=b+c"
                                            << "a=b+c";
        QTest::newRow("an apostrophe already") << "'quoted"
                                               << "'quoted";
        QTest::newRow("empty") << ""
                               << "";
    }
    void csvCellsNeverBecomeFormulas() {
        QFETCH(QString, text);
        QFETCH(QString, cell);
        ScanResult scan;
        scan.resourceType = rtSharedFolder;
        scan.rows = {ResultRow{text, imgSharedFolder, {text, text}}};
        const QByteArray csv = formatCsv(scan, MacVendors());
        CsvReader reader(csv);
        QVERIFY(reader.next()); // the header
        const auto record = reader.next();
        QVERIFY(record && record->wellFormed);
        QCOMPARE(record->fields, (QStringList{cell, cell, cell}));
        // The report and JSON keep the text as it is.
        QVERIFY(formatJson(scan, MacVendors())
                    .contains(QJsonDocument(QJsonArray{text})
                                  .toJson(QJsonDocument::Compact)
                                  .mid(1)
                                  .chopped(1)));
    }

    // Ctrl+C after the first computer: the walk stops at its next check and
    // nothing is written; an existing file keeps its bytes.
    void interruptedScanWritesNothing_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("new report") << QStringList{"-o", "@"};
        QTest::newRow("append") << QStringList{"-a", "-o", "@"};
        QTest::newRow("json") << QStringList{"-f", "json", "-o", "@"};
        QTest::newRow("standard output") << QStringList{};
    }
    void interruptedScanWritesNothing() {
        QFETCH(QStringList, options);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kept.nrv"));
        writeFile(path, "earlier block\r\n");
        options.replaceInStrings(QStringLiteral("@"), path);
        Run r;
        r.net.onCall = [&r](const std::string& call) {
            if (call.rfind("getHostByName(ALPHA", 0) == 0)
                r.signal = SIGINT;
        };
        QCOMPARE(r.run(QStringList{"--scan", "computers"} + options), ExitSignalBase + SIGINT);
        QCOMPARE(readFile(path), QByteArray("earlier block\r\n"));
        QCOMPARE(r.console.output, QByteArray());
        // The walk went no further than the next stop check: later
        // computers' look-ups may have run ahead, but no container was
        // opened after the interrupt.
        const auto calls = r.net.calls();
        const auto interrupted = std::find_if(calls.begin(), calls.end(), [](const auto& call) {
            return call.rfind("getHostByName(ALPHA", 0) == 0;
        });
        QVERIFY(interrupted != calls.end());
        for (auto call = interrupted; call != calls.end(); ++call)
            QVERIFY2(call->rfind("openEnum(", 0) != 0, call->c_str());
    }

    // Every scan that found something is recorded, a stopped one as
    // partial; --site and --store choose where, else the settings do.
    void scansAreRecorded() {
        Run r;
        QCOMPARE(r.run({"--scan", "computers", "-q"}), ExitScanWritten);
        QTemporaryDir other;
        const QString otherPath = other.filePath(QStringLiteral("other.sqlite"));
        QCOMPARE(r.run({"--scan", "folders", "--site", "north", "--store", otherPath}),
                 ExitScanWritten);
        r.net.onCall = [&r](const std::string& call) {
            if (call.rfind("getHostByName(DELTA", 0) == 0)
                r.signal = SIGINT;
        };
        QCOMPARE(r.run({"--scan", "computers"}), ExitSignalBase + SIGINT);
        QCOMPARE(r.console.errors, QString());

        const auto home = ScanStore::open(r.store());
        const std::vector<StoredScan> scans = home->scans();
        QCOMPARE(scans.size(), std::size_t(2));
        QCOMPARE(scans[1].header.site, QStringLiteral("home"));
        QVERIFY(scans[1].header.complete);
        QCOMPARE(scans[1].rowCount, 4);
        QCOMPARE(scans[1].header.started, ScanTime.toUTC());
        const ScanContents complete = home->load(scans[1].id);
        QCOMPARE(complete.computers[0].name, QStringLiteral("ALPHA"));
        QVERIFY(!scans[0].header.complete);
        QVERIFY(scans[0].rowCount >= 1 && scans[0].rowCount <= 4);

        const auto elsewhere = ScanStore::open(*StoreLocation::parse(otherPath, nullptr));
        const std::vector<StoredScan> folders = elsewhere->scans();
        QCOMPARE(folders.size(), std::size_t(1));
        QCOMPARE(folders[0].header.site, QStringLiteral("north"));
        QCOMPARE(folders[0].header.resourceType, rtSharedFolder);
        QCOMPARE(folders[0].rowCount, 2);
    }

    // A store that cannot be written costs the record, never the output:
    // the result is written, the failure named (also with -q) and the exit
    // status says so; a damaged store file is left as it was.
    void storeFailureKeepsTheOutput_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("standard output") << QStringList{"-q"};
        QTest::newRow("file") << QStringList{"-q", "-o", "@/scan.nrv"};
    }
    void storeFailureKeepsTheOutput() {
        QFETCH(QStringList, options);
        Run r;
        const QByteArray damaged(8192, 'x');
        writeFile(r.store().sqlitePath, damaged);
        options.replaceInStrings(QStringLiteral("@"), r.storeDir.path());
        QCOMPARE(r.run(QStringList{"--scan", "computers"} + options), ExitScanNotRecorded);
        const QByteArray expected = formatReport(rtComputer, columnCaptions(rtComputer),
                                                 expectedRows(rtComputer), ScanTime, QLocale::c());
        const QByteArray written = options.size() > 1
                                       ? readFile(r.storeDir.filePath(QStringLiteral("scan.nrv")))
                                       : r.console.output;
        QCOMPARE(written, expected);
        QVERIFY2(
            r.console.errors.startsWith(QStringLiteral("norvane: the scan was not recorded in ") +
                                        r.store().sqlitePath + QStringLiteral(": ")),
            qPrintable(r.console.errors));
        QCOMPARE(readFile(r.store().sqlitePath), damaged);
    }

    void progressOnlyOnATerminal_data() {
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<bool>("quiet");
        QTest::newRow("terminal") << true << false;
        QTest::newRow("not a terminal") << false << false;
        QTest::newRow("quiet on a terminal") << true << true;
    }
    void progressOnlyOnATerminal() {
        QFETCH(bool, terminal);
        QFETCH(bool, quiet);
        Run r;
        r.console.terminal = terminal;
        QStringList arguments{"--scan", "computers"};
        if (quiet)
            arguments << "-q";
        QCOMPARE(r.run(arguments), ExitScanWritten);
        if (!terminal || quiet) {
            QCOMPARE(r.console.errors, QString());
            return;
        }
        QVERIFY2(r.console.errors.contains(QStringLiteral("\r\x1b[K[") + QString(30, '#') +
                                           QStringLiteral("] group 2 of 2, ")),
                 qPrintable(r.console.errors));
        // The line is cleared before the count the window's status bar shows.
        QVERIFY2(r.console.errors.endsWith(QStringLiteral("\r\x1b[K4 Computer(s) found\n")),
                 qPrintable(r.console.errors));
    }

    void progressLine_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("line");
        const QString empty(ProgressMeter::BarWidth, QLatin1Char('.'));
        const QString full(ProgressMeter::BarWidth, QLatin1Char('#'));
        QTest::newRow("before the groups are known")
            << 0 << -1 << 0 << "[" + empty + "] 0 Computer(s) found";
        QTest::newRow("one group")
            << 0 << 0 << 3 << "[" + empty + "] group 1 of 1, 3 Computer(s) found";
        QTest::newRow("last of four")
            << 3 << 3 << 12 << "[" + full + "] group 4 of 4, 12 Computer(s) found";
        QTest::newRow("a third") << 1 << 3 << 5
                                 << "[" + QString(10, '#') + QString(20, '.') +
                                        "] group 2 of 4, 5 Computer(s) found";
    }
    void progressLineFitsTheTerminal_data() {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("line");
        QTest::newRow("wide") << 200
                              << "[" + QString(10, '#') + QString(20, '.') +
                                     "] group 2 of 4, 5 Computer(s) found";
        QTest::newRow("a narrower bar")
            << 50
            << "[" + QString(4, '#') + QString(9, '.') + "] group 2 of 4, 5 Computer(s) found";
        QTest::newRow("no room for a bar") << 40 << "group 2 of 4, 5 Computer(s) found";
        QTest::newRow("text cut") << 21 << "group 2 of 4, 5 Comp";
        QTest::newRow("unknown width")
            << 0
            << "[" + QString(10, '#') + QString(20, '.') + "] group 2 of 4, 5 Computer(s) found";
    }
    void progressLineFitsTheTerminal() {
        QFETCH(int, columns);
        QFETCH(QString, line);
        const QString got = ProgressMeter::line(1, 3, 5, rtComputer, columns);
        QCOMPARE(got, line);
        if (columns > 0)
            QVERIFY(got.size() < columns);
    }

    void progressLine() {
        QFETCH(int, position);
        QFETCH(int, maximum);
        QFETCH(int, rows);
        QFETCH(QString, line);
        QCOMPARE(ProgressMeter::line(position, maximum, rows, rtComputer), line);
    }
};

QTEST_GUILESS_MAIN(TestScanCommand)
#include "tst_scancommand.moc"
