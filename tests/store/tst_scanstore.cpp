// The store against a real database: SQLite always, and the private
// PostgreSQL cluster when NORVANE_TEST_PG_STATE names it. Round trips of
// every fact, the layout's migrations from the first version on, a store
// of a newer version refused, damaged files left as they are, retention,
// writers at once and, on PostgreSQL, where the password comes from.

#include "ScanFactory.h"
#include "StoreTestPlace.h"
#include "store/PreviousScanChanges.h"
#include "store/ScanComparison.h"
#include "store/ScanRecorder.h"
#include "store/ScanStore.h"
#include "store/StoreError.h"
#include "store/StoredRows.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QThread>

using namespace norvane;
using namespace norvane::test;

namespace {
QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A connection of our own, as an older program would have had.
class RawConnection {
public:
    RawConnection(const StoreLocation& location, const std::optional<PgCluster>& cluster)
        : m_name(QStringLiteral("raw-%1").arg(++s_count)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(location.kind == StoreLocation::Kind::Sqlite
                                                        ? QStringLiteral("QSQLITE")
                                                        : QStringLiteral("QPSQL"),
                                                    m_name);
        if (location.kind == StoreLocation::Kind::Sqlite) {
            db.setDatabaseName(location.sqlitePath);
        } else {
            db.setHostName(location.host);
            db.setDatabaseName(location.database);
            db.setUserName(location.user);
            db.setPassword(cluster->password);
        }
        if (!db.open())
            qFatal("%s", qPrintable(db.lastError().text()));
    }
    ~RawConnection() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    void exec(const QString& statement) const {
        QSqlQuery query(db());
        if (!query.exec(statement))
            qFatal("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
    }

private:
    static inline int s_count = 0;
    QString m_name;
};

ComputerRecord fullComputer() {
    return ComputerRecord{
        .name = QStringLiteral("SERVER\u00C9"),
        .group = QStringLiteral("WORKGROUP"),
        .comment = QStringLiteral("line\nbreak, \"quoted\" \u202Ebidi\u0001"),
        .address = qToBigEndian<std::uint32_t>(0xC0A8000Au),
        .mac = MacAddress{0xFC, 0xFF, 0xEE, 0x01, 0x02, 0x03},
        .vendor = QStringLiteral("Vendor"),
        .dnsName = QStringLiteral("server.example.org"),
        .operatingSystem = QStringLiteral("Windows Server 2022"),
        .osVersion = QStringLiteral("10.0 (20348)"),
        .foundBy = FoundBySet::fromBits(0x1F),
        .directory = DirectoryFacts{.guid = QStringLiteral("b7e3c0de-0000-4000-8000-000000000001"),
                                    .ouPath = QStringLiteral("Servers/Berlin"),
                                    .stale = true},
    };
}
} // namespace

class TestScanStore : public QObject {
    Q_OBJECT

private:
    StoreTestPlace m_place;

private slots:
    void initTestCase() {
        if (const auto& cluster = m_place.cluster())
            writePgpass(*cluster);
    }

    void roundTripKeepsEveryFact() {
        const StoreLocation location = m_place.freshLocation();
        const auto store = ScanStore::open(location);
        ScanContents computers{
            .header = {.started = QDateTime(QDate(2026, 3, 1), QTime(1, 2, 3, 456), Qt::UTC),
                       .site = QStringLiteral("Berlin"),
                       .resourceType = rtComputer,
                       .complete = false},
            .computers = {fullComputer(), ComputerRecord{}},
            .shares = {}};
        // Text as received, a zero character included; PostgreSQL's text
        // cannot hold it and keeps its control picture.
        computers.computers[1].name = QStringLiteral("odd") + QChar(0) + QStringLiteral("name");
        ScanContents shares{.header = {.started = computers.header.started.addSecs(60),
                                       .site = QStringLiteral("Berlin"),
                                       .resourceType = rtSharedPrinter,
                                       .complete = true},
                            .computers = {},
                            .shares = {ShareRecord{.computer = QStringLiteral("SERVER"),
                                                   .name = QStringLiteral("Laser"),
                                                   .kind = ShareKind::Printer,
                                                   .group = QStringLiteral("WORKGROUP"),
                                                   .comment = QString()}}};
        const qint64 computerId = store->record(computers);
        const qint64 shareId = store->record(shares);

        ScanContents expected = computers;
        if (m_place.isPostgres())
            expected.computers[1].name.replace(QChar(0), QChar(0x2400));
        const ScanContents loaded = store->load(computerId);
        QCOMPARE(loaded.header.started, expected.header.started);
        QCOMPARE(loaded.header.site, expected.header.site);
        QCOMPARE(loaded.header.complete, false);
        QCOMPARE(loaded.computers.size(), std::size_t(2));
        QVERIFY(loaded.computers[0] == expected.computers[0]);
        QCOMPARE(loaded.computers[1].name, expected.computers[1].name);
        QVERIFY(!loaded.computers[1].address && !loaded.computers[1].mac &&
                !loaded.computers[1].directory);
        QVERIFY(store->load(shareId).shares == shares.shares);

        const std::vector<StoredScan> all = store->scans();
        QCOMPARE(all.size(), std::size_t(2));
        QCOMPARE(all[0].id, shareId); // newest first
        QCOMPARE(all[1].rowCount, 2);
        QCOMPARE(store
                     ->scans(ScanFilter{.site = QStringLiteral("Berlin"),
                                        .resourceType = rtComputer,
                                        .completeOnly = true})
                     .size(),
                 std::size_t(0));
        QCOMPARE(store->sites(), QStringList{QStringLiteral("Berlin")});
    }

    void migratesFromEveryEarlierLayout_data() {
        QTest::addColumn<int>("from");
        for (int version = 0; version < StoreSchema::CurrentVersion; ++version)
            QTest::addRow("from %d", version) << version;
    }
    void migratesFromEveryEarlierLayout() {
        QFETCH(int, from);
        const StoreLocation location = m_place.freshLocation();
        {
            RawConnection raw(location, m_place.cluster());
            QSqlDatabase db = raw.db();
            StoreSchema::migrate(
                db, m_place.isPostgres() ? SqlDialect::Postgres : SqlDialect::Sqlite, from);
            QCOMPARE(StoreSchema::version(db), from);
            if (from >= 1) {
                // A scan as the first layout recorded it.
                raw.exec(QStringLiteral("INSERT INTO scans (started_ms, site, resource, "
                                        "complete, row_count) VALUES (1000, 'old', "
                                        "'computers', 1, 1)"));
                raw.exec(QStringLiteral("INSERT INTO computers (scan_id, ordinal, name, grp, "
                                        "comment, address, mac, vendor, dns_name, os, "
                                        "os_version, found_by) VALUES ((SELECT MAX(id) FROM "
                                        "scans), 0, 'PC', 'WG', 'c', 167772161, 1108152157446, "
                                        "'', '', '', '', 1)"));
            }
        }
        const auto store = ScanStore::open(location);
        {
            RawConnection raw(location, m_place.cluster());
            QSqlDatabase db = raw.db();
            QCOMPARE(StoreSchema::version(db), StoreSchema::CurrentVersion);
        }
        if (from >= 1) {
            const ScanContents old = store->load(store->scans().at(0).id);
            QCOMPARE(old.computers.size(), std::size_t(1));
            QCOMPARE(old.computers[0].name, QStringLiteral("PC"));
            QCOMPARE(addressText(*old.computers[0].address), QStringLiteral("10.0.0.1"));
            QCOMPARE(macAddressText(*old.computers[0].mac), QStringLiteral("01-02-03-04-05-06"));
            QVERIFY(!old.computers[0].directory);
        }
        const qint64 id = store->record(madeUpScan(QStringLiteral("new"), 1, 10));
        QVERIFY(store->load(id).computers == madeUpScan(QStringLiteral("new"), 1, 10).computers);
    }

    void newerStoreRefusedAndLeftAlone() {
        const StoreLocation location = m_place.freshLocation();
        ScanStore::open(location)->record(madeUpScan(QStringLiteral("s"), 0, 3));
        const int newer = StoreSchema::CurrentVersion + 1;
        {
            RawConnection raw(location, m_place.cluster());
            raw.exec(QStringLiteral("UPDATE store_meta SET value = '%1' WHERE name = "
                                    "'schema_version'")
                         .arg(newer));
        }
        const QByteArray before =
            m_place.isPostgres() ? QByteArray() : fileBytes(location.sqlitePath);
        try {
            ScanStore::open(location);
            QFAIL("a store of a newer layout was opened");
        } catch (const StoreError& error) {
            QCOMPARE(error.kind(), StoreError::Kind::TooNew);
            QVERIFY2(error.message().contains(QLatin1String("newer version of Norvane")),
                     qPrintable(error.message()));
        }
        RawConnection raw(location, m_place.cluster());
        QSqlDatabase db = raw.db();
        QCOMPARE(StoreSchema::version(db), newer);
        if (!m_place.isPostgres())
            QCOMPARE(fileBytes(location.sqlitePath), before);
    }

    void damagedFileReportedAndLeftAsItIs_data() {
        QTest::addColumn<QString>("damage");
        QTest::newRow("not a database") << QStringLiteral("junk");
        QTest::newRow("pages overwritten") << QStringLiteral("overwrite");
        QTest::newRow("cut short") << QStringLiteral("truncate");
        QTest::newRow("another program's tables") << QStringLiteral("foreign");
    }
    void damagedFileReportedAndLeftAsItIs() {
        if (m_place.isPostgres())
            QSKIP("a file's damage is SQLite's");
        QFETCH(QString, damage);
        const StoreLocation location = m_place.freshLocation();
        if (damage == QLatin1String("foreign")) {
            RawConnection raw(location, std::nullopt);
            raw.exec(QStringLiteral("CREATE TABLE scans (x TEXT)"));
        } else if (damage == QLatin1String("junk")) {
            QFile file(location.sqlitePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(8192, '\x5A'));
        } else {
            ScanStore::open(location)->record(madeUpScan(QStringLiteral("s"), 0, 2000));
            QFile file(location.sqlitePath);
            QVERIFY(file.open(QIODevice::ReadWrite));
            if (damage == QLatin1String("truncate")) {
                QVERIFY(file.resize(file.size() / 2));
            } else {
                file.seek(4096);
                file.write(QByteArray(static_cast<int>(file.size() - 4096), '\xAB'));
            }
        }
        const QByteArray before = fileBytes(location.sqlitePath);
        try {
            ScanStore::open(location)->scans();
            QFAIL("a damaged store was read");
        } catch (const StoreError& error) {
            QVERIFY2(error.kind() == (damage == QLatin1String("foreign")
                                          ? StoreError::Kind::Foreign
                                          : StoreError::Kind::Corrupt),
                     qPrintable(error.message()));
            QVERIFY(error.message().contains(QLatin1String("left as it is")));
        }
        QCOMPARE(
            QCryptographicHash::hash(fileBytes(location.sqlitePath), QCryptographicHash::Sha256),
            QCryptographicHash::hash(before, QCryptographicHash::Sha256));
    }

    void retentionDropsOldScansWithTheirRows() {
        const StoreLocation location = m_place.freshLocation();
        StoreSettings settings;
        settings.location = location;
        settings.site = QStringLiteral("here");
        settings.retentionDays = 30;
        std::vector<qint64> ids;
        for (int night : {0, 10, 40, 45})
            ids.push_back(
                recordFinishedScan(settings, madeUpScan(QString(), night, 5), {}, FirstNight).id);
        // Recorded at night 46: the scans of nights 0 and 10 are past 30 days.
        const RecordedScan last =
            recordFinishedScan(settings, madeUpScan(QString(), 46, 5), {}, FirstNight.addDays(46));
        QCOMPARE(last.dropped, 2);
        const auto store = ScanStore::open(location);
        QCOMPARE(store->scans().size(), std::size_t(3));
        QCOMPARE(store->scans().back().id, ids[2]);
        QCOMPARE(store->scans().front().header.site, QStringLiteral("here"));
        QVERIFY_THROWS_EXCEPTION(StoreError, store->load(ids[0]));
        RawConnection raw(location, m_place.cluster());
        QSqlQuery count(raw.db());
        QVERIFY(count.exec(QStringLiteral("SELECT COUNT(*) FROM computers")) && count.next());
        QCOMPARE(count.value(0).toInt(), 15);
    }

    // What a window shows after a scan: the previous complete scan of the
    // type at the site (not a partial one, another site's or the scan
    // itself, recorded already), the new rows by their place in the list
    // (rows without a record skipped), and the changes. 10,000 rows, timed.
    void changesSincePreviousMarkNewRows() {
        constexpr int Rows = 10000;
        const StoreLocation location = m_place.freshLocation();
        const auto store = ScanStore::open(location);
        const qint64 previous = store->record(madeUpScan(QStringLiteral("a"), 0, Rows));
        ScanContents partial = madeUpScan(QStringLiteral("a"), 1, 10);
        partial.header.complete = false;
        store->record(partial);
        store->record(madeUpScan(QStringLiteral("b"), 1, 10));
        const ScanContents now = madeUpScan(QStringLiteral("a"), 2, Rows);
        store->record(now);
        ResultRows rows = rowsOfScan(now);
        rows.insert(rows.begin(), ResultRow(QStringLiteral("\\\\NORECORD")));
        QElapsedTimer timer;
        timer.start();
        const std::optional<PreviousScanChanges> changes =
            changesSincePrevious(*store, now.header, rows);
        qInfo("Changes of %d rows against the previous scan (loaded, compared, marked): %lld ms",
              Rows, timer.elapsed());
        QVERIFY(changes);
        QCOMPARE(changes->previous.id, previous);
        QCOMPARE(changes->newRows, std::vector<std::size_t>{std::size_t(Rows)});
        QCOMPARE(rows[Rows].computer->name, now.computers.back().name);
        const ChangeCounts counts = changes->counts();
        QCOMPARE(counts.added, 1);
        QCOMPARE(counts.gone, 1);
        QCOMPARE(counts.changed, 2 * Rows / 50);

        // The earliest scan has nothing before it.
        ScanHeader first = now.header;
        first.started = FirstNight;
        QVERIFY(!changesSincePrevious(*store, first, rows));
    }

    // A recorded scan's rows as the walk shows them.
    void recordedRowsAsTheListShowsThem() {
        const ScanContents scan = madeUpScan(QStringLiteral("a"), 0, 10);
        const ResultRows rows = rowsOfScan(scan);
        QCOMPARE(rows.size(), scan.computers.size());
        QCOMPARE(rows[1],
                 ResultRow(QStringLiteral("\\\\PC-00001"), imgComputer,
                           {"10.0.0.1", "GROUP1", "Workstation, floor 1", "00-1B-21-00-00-01"}));
        QCOMPARE(rows[7], ResultRow(QStringLiteral("\\\\PC-00007"), imgUnresolvedComputer,
                                    {NoIpAddress, "GROUP7", "Workstation, floor 0", NoMacAddress}));
        QCOMPARE(*rows[7].computer, scan.computers[7]);
        ScanContents shares;
        shares.header.resourceType = rtSharedPrinter;
        shares.shares = {ShareRecord{.computer = QStringLiteral("SRV"),
                                     .name = QStringLiteral("Laser"),
                                     .kind = ShareKind::Printer,
                                     .group = QStringLiteral("WG"),
                                     .comment = QStringLiteral("2nd floor")}};
        QCOMPARE(rowsOfScan(shares).front(), ResultRow(QStringLiteral("\\\\SRV\\Laser"),
                                                       imgSharedPrinter, {"WG", "2nd floor"}));
    }

    void writersAtOnceKeepEveryScanWhole() {
        const StoreLocation location = m_place.freshLocation();
        ScanStore::open(location); // the layout, before the race
        constexpr int ScansEach = 8;
        constexpr int Rows = 400;
        std::vector<QString> failures(2);
        std::vector<std::unique_ptr<QThread>> threads;
        for (int w = 0; w < 2; ++w) {
            threads.emplace_back(QThread::create([&, w] {
                try {
                    const auto store = ScanStore::open(location);
                    for (int night = 0; night < ScansEach; ++night)
                        store->record(madeUpScan(QStringLiteral("site%1").arg(w), night, Rows));
                } catch (const StoreError& error) {
                    failures[static_cast<std::size_t>(w)] = error.message();
                }
            }));
            threads.back()->start();
        }
        for (const auto& thread : threads)
            QVERIFY(thread->wait(60000));
        QCOMPARE(failures[0], QString());
        QCOMPARE(failures[1], QString());
        const auto store = ScanStore::open(location);
        const std::vector<StoredScan> scans = store->scans();
        QCOMPARE(scans.size(), std::size_t(2 * ScansEach));
        for (const StoredScan& scan : scans) {
            const ScanContents loaded = store->load(scan.id);
            QVERIFY(loaded.computers ==
                    madeUpScan(scan.header.site, nightOf(scan.header), Rows).computers);
        }
    }

    void passwordFromPgpassOrCallbackOnly() {
        if (!m_place.isPostgres())
            QSKIP("SQLite asks for no password");
        const StoreLocation location = m_place.freshLocation();
        QFile pgpass(pgpassPath());
        QVERIFY(pgpass.rename(pgpassPath() + QStringLiteral(".away")));
        int asked = 0;
        const StorePasswordSource callback = [&](const StoreLocation&) -> std::optional<QString> {
            ++asked;
            return m_place.cluster()->password;
        };
        try {
            ScanStore::open(location);
            QFAIL("the cluster let us in without a password");
        } catch (const StoreError& error) {
            QCOMPARE(error.kind(), StoreError::Kind::Unreachable);
        }
        QVERIFY(ScanStore::open(location, callback));
        QCOMPARE(asked, 1);
        QVERIFY(QFile::rename(pgpassPath() + QStringLiteral(".away"), pgpassPath()));
        QVERIFY(ScanStore::open(location, callback));
        QCOMPARE(asked, 1); // ~/.pgpass answered
    }

    void locationsParse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("shown");
        QTest::newRow("file path") << "/var/tmp/a.sqlite" << true << "/var/tmp/a.sqlite";
        QTest::newRow("file URL") << "file:///var/tmp/a.sqlite" << true << "/var/tmp/a.sqlite";
        QTest::newRow("server") << "postgresql://scan@db.example.org:5433/inventory" << true
                                << "postgresql://scan@db.example.org:5433/inventory";
        QTest::newRow("socket") << "postgresql:///inventory?host=/run/pg" << true
                                << "postgresql:///inventory?host=/run/pg";
        QTest::newRow("password") << "postgresql://scan:secret@db/inventory" << false << "";
        QTest::newRow("no database") << "postgresql://db.example.org" << false << "";
        QTest::newRow("other scheme") << "mysql://db/inventory" << false << "";
        QTest::newRow("empty") << "" << false << "";
    }
    void locationsParse() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, shown);
        QString error;
        const std::optional<StoreLocation> location = StoreLocation::parse(text, &error);
        QCOMPARE(location.has_value(), valid);
        if (valid)
            QCOMPARE(location->displayName(), shown);
        else
            QVERIFY(!error.isEmpty());
        if (location)
            QCOMPARE(StoreLocation::parse(location->displayName(), nullptr)->displayName(), shown);
    }
};

QTEST_GUILESS_MAIN(TestScanStore)
#include "tst_scanstore.moc"
