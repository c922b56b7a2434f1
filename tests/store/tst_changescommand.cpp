// norvane --changes over a real SQLite store: which scans it compares, the
// three formats, and the exit status a cron job acts on.

#include "ChangesCommand.h"
#include "ScanFactory.h"
#include "common/AppError.h"
#include "store/ScanStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;
using namespace norvane::test;

namespace {
class RecordingConsole : public Console {
public:
    QByteArray output;
    QString errors;
    bool outputFails = false;

    void writeOutput(const QByteArray& bytes) override {
        if (outputFails)
            throw AppError(QStringLiteral("Disk full"));
        output += bytes;
    }
    void writeError(const QString& text) override { errors += text; }
    bool errorIsTerminal() const override { return false; }
};

ScanContents scanOf(const QString& site, int night, std::vector<ComputerRecord> computers,
                    bool complete = true) {
    ScanContents scan;
    scan.header = ScanHeader{.started = FirstNight.addDays(night),
                             .site = site,
                             .resourceType = rtComputer,
                             .complete = complete};
    scan.computers = std::move(computers);
    return scan;
}

ComputerRecord pc(const char* name, const char* comment = "") {
    ComputerRecord record;
    record.name = QLatin1String(name);
    record.group = QStringLiteral("WG");
    record.comment = QString::fromUtf8(comment);
    return record;
}
} // namespace

class TestChangesCommand : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    StoreLocation m_location;
    RecordingConsole m_console;

    int run(QStringList arguments) {
        m_console = RecordingConsole();
        arguments.prepend(QStringLiteral("norvane"));
        StoreLocation settingsStore = m_location;
        return ChangesCommand(m_console,
                              [settingsStore] {
                                  StoreSettings settings;
                                  settings.location = settingsStore;
                                  return settings;
                              })
            .run(arguments);
    }

    QJsonObject json(const QStringList& arguments, int expectedStatus) {
        const int status = run(arguments + QStringList{QStringLiteral("--format=json")});
        if (status != expectedStatus)
            qWarning() << m_console.errors;
        [&] { QCOMPARE(status, expectedStatus); }();
        return QJsonDocument::fromJson(m_console.output).object();
    }

private slots:
    void initTestCase() {
        m_location.sqlitePath = m_folder.filePath(QStringLiteral("scans.sqlite"));
        const auto store = ScanStore::open(m_location);
        // North: night 1 and 3 complete, night 2 complete, night 4 stopped.
        store->record(scanOf("north", 1, {pc("A"), pc("B", "old, \"quoted\""), pc("C")}));
        store->record(scanOf("north", 2, {pc("A"), pc("B", "old, \"quoted\""), pc("C")}));
        store->record(scanOf("north", 3, {pc("A"), pc("B", "new\nline\x1b[31m"), pc("D")}));
        store->record(scanOf("north", 4, {pc("A")}, false));
        // South: two identical complete scans.
        store->record(scanOf("south", 1, {pc("S1")}));
        store->record(scanOf("south", 2, {pc("S1")}));
    }

    void latestCompleteAgainstTheOneBefore() {
        const QJsonObject document = json({"--changes", "--site", "north"}, ExitChangesFound);
        QCOMPARE(document["format"].toString(), QStringLiteral("norvane-changes"));
        QCOMPARE(document["version"].toInt(), 1);
        QVERIFY(document["changesFound"].toBool());
        const QJsonArray sections = document["sections"].toArray();
        QCOMPARE(sections.size(), 1);
        const QJsonObject section = sections[0].toObject();
        QCOMPARE(section["site"].toString(), QStringLiteral("north"));
        QCOMPARE(section["resourceType"].toString(), QStringLiteral("computers"));
        // The stopped scan of night 4 takes no part.
        QCOMPARE(QDateTime::fromString(section["newer"]["started"].toString(), Qt::ISODate),
                 FirstNight.addDays(3));
        QCOMPARE(QDateTime::fromString(section["older"]["started"].toString(), Qt::ISODate),
                 FirstNight.addDays(2));
        QCOMPARE(section["counts"].toObject(),
                 (QJsonObject{{"new", 1}, {"gone", 1}, {"changed", 1}}));
        const QJsonArray changes = section["changes"].toArray();
        QCOMPARE(changes[0]["change"].toString(), QStringLiteral("changed"));
        QCOMPARE(changes[0]["computer"]["name"].toString(), QStringLiteral("B"));
        QCOMPARE(changes[0]["computer"]["ipAddress"].type(), QJsonValue::Null);
        QCOMPARE(changes[0]["fields"][0]["after"].toString(), QStringLiteral("new\nline\x1b[31m"));
        QCOMPARE(changes[1]["change"].toString(), QStringLiteral("new"));
        QCOMPARE(changes[2]["change"].toString(), QStringLiteral("gone"));
        QCOMPARE(changes[2]["computer"]["name"].toString(), QStringLiteral("C"));
    }

    void eachSiteOnItsOwn() {
        QCOMPARE(run({"--changes", "--site", "south"}), ExitNoChanges);
        QVERIFY(m_console.output.contains("No changes."));
        QVERIFY(!m_console.output.contains("north"));
        const QJsonObject all = json({"--changes"}, ExitChangesFound);
        QCOMPARE(all["sections"].toArray().size(), 2);
        QCOMPARE(run({"--changes", "--site", "nowhere"}), ExitNoChanges);
        QVERIFY(m_console.output.contains("No complete scans recorded."));
        const QString missing = m_folder.filePath(QStringLiteral("none/scans.sqlite"));
        QCOMPARE(run({"--changes", "--store", missing}), ExitNoChanges);
        QVERIFY(m_console.output.contains("No complete scans recorded."));
        QVERIFY(!QFileInfo::exists(missing));
    }

    void olderScanByCountOrDate_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("olderNight");
        QTest::newRow("two scans back") << QStringList{"--scans", "2"} << 1;
        QTest::newRow("beyond the first") << QStringList{"--scans=50"} << 1;
        QTest::newRow("state at a date") << QStringList{"--since", "2026-01-04"} << 2;
        QTest::newRow("before any scan") << QStringList{"--since", "2025-06-01"} << 1;
        QTest::newRow("date and time") << QStringList{"--since", "2026-01-02T02:00:00Z"} << 1;
    }
    void olderScanByCountOrDate() {
        QFETCH(QStringList, arguments);
        QFETCH(int, olderNight);
        const QJsonObject document =
            json(QStringList{"--changes", "--site", "north"} + arguments, ExitChangesFound);
        const QJsonObject section = document["sections"][0].toObject();
        QCOMPARE(QDateTime::fromString(section["older"]["started"].toString(), Qt::ISODate),
                 FirstNight.addDays(olderNight));
    }

    void reportAndCsvAreSafeForTheirReaders() {
        QCOMPARE(run({"--changes", "--site", "north"}), ExitChangesFound);
        const QString report = QString::fromUtf8(m_console.output);
        QVERIFY2(!report.contains(QChar(0x1b)), qPrintable(report));
        QVERIFY(report.contains(QStringLiteral("new\u240Aline\u241B[31m")));
        QVERIFY(report.contains(QStringLiteral("1 new, 1 gone, 1 changed.")));

        QCOMPARE(run({"--changes", "--site", "north", "--format", "csv"}), ExitChangesFound);
        const QList<QByteArray> lines = m_console.output.split('\n');
        QCOMPARE(lines[0], QByteArray("site,resource,older_scan,newer_scan,change,computer,"
                                      "group,share,field,before,after\r"));
        QVERIFY(m_console.output.contains(",changed,B,WG,,comment,\"old, \"\"quoted\"\"\","
                                          "\"new\nline\x1b[31m\"\r\n"));
        QVERIFY(m_console.output.contains(",new,D,WG,,,,\r\n"));
    }

    void exitStatusOfMistakes_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::newRow("bad date") << QStringList{"--since", "yesterday"} << ExitChangesUsage;
        QTest::newRow("no scans") << QStringList{"--scans", "0"} << ExitChangesUsage;
        QTest::newRow("date and count")
            << QStringList{"--since", "2026-01-01", "--scans", "2"} << ExitChangesUsage;
        QTest::newRow("unknown format") << QStringList{"--format", "xml"} << ExitChangesUsage;
        QTest::newRow("missing value") << QStringList{"--site"} << ExitChangesUsage;
        QTest::newRow("scan option") << QStringList{"--scan", "computers"} << ExitChangesUsage;
        QTest::newRow("password in URL")
            << QStringList{"--store", "postgresql://u:pw@host/db"} << ExitChangesUsage;
        QTest::newRow("unreachable server")
            << QStringList{"--store", "postgresql:///db?host=/nonexistent"} << ExitStoreFailed;
    }
    void exitStatusOfMistakes() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QCOMPARE(run(QStringList{"--changes"} + arguments), status);
        QVERIFY(!m_console.errors.isEmpty());
        QVERIFY(m_console.output.isEmpty());
        QVERIFY(!m_console.errors.contains(QLatin1String("pw")));
    }

    void damagedStoreAndFailedOutput() {
        const QString damaged = m_folder.filePath(QStringLiteral("damaged.sqlite"));
        QFile file(damaged);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QCOMPARE(run({"--changes", "--store", damaged}), ExitStoreFailed);
        QVERIFY(m_console.errors.contains(QLatin1String("damaged")));

        m_console = RecordingConsole();
        m_console.outputFails = true;
        const StoreLocation location = m_location;
        QCOMPARE(ChangesCommand(m_console,
                                [location] {
                                    StoreSettings settings;
                                    settings.location = location;
                                    return settings;
                                })
                     .run({"norvane", "--changes"}),
                 ExitChangesOutputFailed);
        QVERIFY(m_console.errors.contains(QLatin1String("Disk full")));
    }
};

QTEST_GUILESS_MAIN(TestChangesCommand)
#include "tst_changescommand.moc"
