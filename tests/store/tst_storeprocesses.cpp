// Writer processes against a real store (SQLite, or the private PostgreSQL
// cluster when NORVANE_TEST_PG_STATE names it): two sites writing at once,
// then --changes for each site; and writers killed with SIGKILL at random
// moments of a write, after which the store opens and every scan recorded
// before is whole.

#include "ChangesCommand.h"
#include "ScanFactory.h"
#include "StoreTestPlace.h"
#include "store/ScanStore.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>

#include <csignal>

using namespace norvane;
using namespace norvane::test;

namespace {
// How long a writer process may take to record its scans.
constexpr int WriterTimeoutMs = 120000;
constexpr int KillRounds = 12;
// Rows of a killed writer's scans: a write takes long enough to be hit.
constexpr int KilledWriterRows = 3000;

QString writerProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/store_writer");
}

class NullConsole : public Console {
public:
    QByteArray output;
    QString errors;
    void writeOutput(const QByteArray& bytes) override { output += bytes; }
    void writeError(const QString& text) override { errors += text; }
    bool errorIsTerminal() const override { return false; }
};

// Every scan in the store equals the made-up scan of its site and night.
void verifyEveryScanWhole(const StoreLocation& location, int rows, int* count) {
    const auto store = ScanStore::open(location);
    const std::vector<StoredScan> scans = store->scans();
    for (const StoredScan& scan : scans) {
        const ScanContents loaded = store->load(scan.id);
        QCOMPARE(loaded.computers.size(), static_cast<std::size_t>(scan.rowCount));
        QVERIFY2(loaded.computers ==
                     madeUpScan(scan.header.site, nightOf(scan.header), rows).computers,
                 qPrintable(QStringLiteral("scan %1 differs").arg(scan.id)));
    }
    *count = static_cast<int>(scans.size());
}
} // namespace

class TestStoreProcesses : public QObject {
    Q_OBJECT

private:
    StoreTestPlace m_place;

private slots:
    void initTestCase() {
        if (const auto& cluster = m_place.cluster())
            writePgpass(*cluster);
        QVERIFY(QFile::exists(writerProgram()));
    }

    void twoSitesAtOnceThenChangesPerSite() {
        const StoreLocation location = m_place.freshLocation();
        const QString url = StoreTestPlace::url(location);
        constexpr int Rows = 1000;
        constexpr int Scans = 5;
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const char* site : {"north", "south"}) {
            auto writer = std::make_unique<QProcess>();
            writer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer->start(writerProgram(), {url, QLatin1String(site), QString::number(Rows),
                                            QString::number(Scans)});
            writers.push_back(std::move(writer));
        }
        for (const auto& writer : writers) {
            QVERIFY(writer->waitForFinished(WriterTimeoutMs));
            QCOMPARE(writer->exitStatus(), QProcess::NormalExit);
            QCOMPARE(writer->exitCode(), 0);
            QCOMPARE(writer->readAllStandardOutput().count("recorded"), Scans);
        }
        int count = 0;
        verifyEveryScanWhole(location, Rows, &count);
        QCOMPARE(count, 2 * Scans);

        for (const char* site : {"north", "south"}) {
            NullConsole console;
            const int status = ChangesCommand(console, [] { return StoreSettings(); })
                                   .run({"norvane", "--changes", "--site", QLatin1String(site),
                                         "--store", url, "--format", "json"});
            QVERIFY2(status == ExitChangesFound, qPrintable(console.errors));
            const QJsonObject document = QJsonDocument::fromJson(console.output).object();
            const QJsonArray sections = document["sections"].toArray();
            QCOMPARE(sections.size(), 1);
            QCOMPARE(sections[0]["site"].toString(), QLatin1String(site));
            // Night 4 against night 3: one computer new, one gone, and the
            // rows whose comment follows the night changed.
            const QJsonObject counts = sections[0]["counts"].toObject();
            QCOMPARE(counts["new"].toInt(), 1);
            QCOMPARE(counts["gone"].toInt(), 1);
            QCOMPARE(counts["changed"].toInt(), 2 * (Rows / 50));

            // The program itself, where the build made it.
            const QString program = qEnvironmentVariable("NORVANE_PROGRAM");
            if (program.isEmpty())
                continue;
            QProcess norvane;
            norvane.start(program, {"--changes", "--site", QLatin1String(site), "--store", url,
                                    "--format", "json"});
            QVERIFY(norvane.waitForFinished(WriterTimeoutMs));
            QCOMPARE(norvane.exitCode(), ExitChangesFound);
            QCOMPARE(QJsonDocument::fromJson(norvane.readAllStandardOutput()).object(), document);
            norvane.start(program,
                          {"--changes", "--site", QStringLiteral("elsewhere"), "--store", url});
            QVERIFY(norvane.waitForFinished(WriterTimeoutMs));
            QCOMPARE(norvane.exitCode(), ExitNoChanges);
        }
    }

    void killedMidWriteLeavesEarlierScansWhole() {
        const StoreLocation location = m_place.freshLocation();
        const QString url = StoreTestPlace::url(location);
        // Two scans written whole first; how long they take sets the range
        // of the kill moments, so that kills land within writes however
        // busy the machine is.
        QElapsedTimer timer;
        timer.start();
        QProcess first;
        first.start(writerProgram(), {url, QStringLiteral("site"),
                                      QString::number(KilledWriterRows), QStringLiteral("2")});
        QVERIFY(first.waitForFinished(WriterTimeoutMs));
        QCOMPARE(first.exitCode(), 0);
        const auto perScanMs = std::max<qint64>(timer.elapsed() / 2, 10);
        int recordedBefore = 2;
        int committedUnreported = 0;
        for (int round = 0; round < KillRounds; ++round) {
            QProcess writer;
            writer.start(writerProgram(),
                         {url, QStringLiteral("site"), QString::number(KilledWriterRows)});
            QVERIFY(writer.waitForStarted());
            QTest::qWait(static_cast<int>(QRandomGenerator::global()->bounded(perScanMs * 3)));
            ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(WriterTimeoutMs));
            const int reported = static_cast<int>(writer.readAllStandardOutput().count("recorded"));
            int count = 0;
            verifyEveryScanWhole(location, KilledWriterRows, &count);
            if (QTest::currentTestFailed())
                return;
            // Every scan reported as committed is there; one more may have
            // been committed just before the kill, without its line.
            QVERIFY(count >= recordedBefore + reported);
            QVERIFY(count <= recordedBefore + reported + 1);
            committedUnreported += count > recordedBefore + reported ? 1 : 0;
            recordedBefore = count;
        }
        qInfo("%d scans recorded over %d kills; %d kills came between a commit and its line",
              recordedBefore, KillRounds, committedUnreported);
    }
};

QTEST_GUILESS_MAIN(TestStoreProcesses)
#include "tst_storeprocesses.moc"
