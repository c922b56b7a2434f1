#include "ScanStore.h"

#include "StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

#include <algorithm>
#include <atomic>

namespace norvane {

namespace {
constexpr QLatin1StringView SqliteDriver("QSQLITE");
constexpr QLatin1StringView PostgresDriver("QPSQL");
// The first bytes of every SQLite database file.
constexpr char SqliteMagic[] = "SQLite format 3";
// SQLite's result codes for a damaged file and for a file that is no
// database.
constexpr QLatin1StringView SqliteCorruptCode("11");
constexpr QLatin1StringView SqliteNotADatabaseCode("26");
// An arbitrary key of PostgreSQL's advisory locks: the writers that bring a
// new database to the current layout at once take turns on it.
constexpr qint64 LayoutLockKey = 0x4e6f7276616e65; // "Norvane"
// Rows per INSERT: fewer round trips to a server, and under SQLite's
// oldest limit of 999 parameters per statement.
constexpr int RowsPerInsert = 64;
constexpr int ComputerColumns = 15;
constexpr int ShareColumns = 7;

std::atomic<int> connectionCount{0};

QString nonNull(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

// PostgreSQL's text cannot hold U+0000, which a hostile host may send; it is
// kept as its control picture there.
QString storableText(const QString& text, SqlDialect dialect) {
    if (dialect == SqlDialect::Postgres && text.contains(QChar(0)))
        return QString(text).replace(QChar(0), QChar(0x2400));
    return nonNull(text);
}

QVariant nullInteger() {
    return QVariant(QMetaType::fromType<qlonglong>());
}

QVariant nullText() {
    return QVariant(QMetaType::fromType<QString>());
}

// Addresses are kept as numbers in host order, so that the database shows
// 10.0.0.1 as 167772161 whatever machine wrote it; MACs as 48-bit numbers.
qlonglong macValue(const MacAddress& mac) {
    qlonglong value = 0;
    for (std::uint8_t octet : mac)
        value = (value << 8) | octet;
    return value;
}

MacAddress macFromValue(qlonglong value) {
    MacAddress mac{};
    for (int i = 5; i >= 0; --i) {
        mac[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
    return mac;
}

bool isCorruption(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == SqliteCorruptCode || code == SqliteNotADatabaseCode;
}

QString damagedMessage(const QString& path, const QString& detail) {
    return QStringLiteral("The scan store %1 is damaged (%2). It was left as it is: move it "
                          "aside to start a new store")
        .arg(path, detail);
}

[[noreturn]] void failed(const QSqlError& error, const QString& what,
                         const StoreLocation& location) {
    if (isCorruption(error))
        throw StoreError(StoreError::Kind::Corrupt,
                         damagedMessage(location.displayName(), error.text()));
    throw StoreError(StoreError::Kind::Failed,
                     QStringLiteral("The scan store %1 could not %2: %3")
                         .arg(location.displayName(), what, error.text()));
}

// A file that does not begin as an SQLite database is not opened at all:
// SQLite would take an empty header for a new database.
void checkSqliteHeader(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StoreError(StoreError::Kind::Unreachable,
                         QStringLiteral("The scan store %1 could not be opened: %2")
                             .arg(path, file.errorString()));
    const QByteArray head = file.read(sizeof SqliteMagic);
    if (head != QByteArray(SqliteMagic, sizeof SqliteMagic))
        throw StoreError(StoreError::Kind::Corrupt,
                         damagedMessage(path, QStringLiteral("it is not an SQLite database")));
}

bool wantsPassword(const QSqlError& error) {
    const QString text = error.text();
    return text.contains(QLatin1String("password"), Qt::CaseInsensitive);
}
} // namespace

QString resourceWord(TResourceType type) {
    switch (type) {
    case rtComputer:
        return QStringLiteral("computers");
    case rtSharedFolder:
        return QStringLiteral("folders");
    case rtSharedPrinter:
        return QStringLiteral("printers");
    }
    return QString();
}

std::optional<TResourceType> resourceFromWord(const QString& word) {
    for (TResourceType type : {rtComputer, rtSharedFolder, rtSharedPrinter}) {
        if (word == resourceWord(type))
            return type;
    }
    return std::nullopt;
}

ScanStore::ScanStore(StoreLocation location, QString connectionName, SqlDialect dialect)
    : m_location(std::move(location)), m_connectionName(std::move(connectionName)),
      m_dialect(dialect) {}

ScanStore::~ScanStore() {
    database().close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase ScanStore::database() const {
    return QSqlDatabase::database(m_connectionName, false);
}

std::unique_ptr<ScanStore> ScanStore::open(const StoreLocation& location,
                                           const StorePasswordSource& password) {
    const bool sqlite = location.kind == StoreLocation::Kind::Sqlite;
    const QString driver = sqlite ? QString(SqliteDriver) : QString(PostgresDriver);
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw StoreError(StoreError::Kind::Unreachable,
                         QStringLiteral("The %1 driver of Qt SQL is not installed (Debian "
                                        "package %2)")
                             .arg(sqlite ? QStringLiteral("SQLite") : QStringLiteral("PostgreSQL"),
                                  sqlite ? QStringLiteral("libqt6sql6-sqlite")
                                         : QStringLiteral("libqt6sql6-psql")));
    if (sqlite) {
        const QFileInfo file(location.sqlitePath);
        if (!QDir().mkpath(file.absolutePath()))
            throw StoreError(StoreError::Kind::Unreachable,
                             QStringLiteral("The folder of the scan store %1 could not be made")
                                 .arg(location.sqlitePath));
        if (file.exists() && file.size() > 0)
            checkSqliteHeader(location.sqlitePath);
    }

    const QString name = QStringLiteral("norvane-store-%1").arg(++connectionCount);
    std::unique_ptr<ScanStore> store(
        new ScanStore(location, name, sqlite ? SqlDialect::Sqlite : SqlDialect::Postgres));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        if (sqlite) {
            db.setDatabaseName(location.sqlitePath);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(StoreBusyTimeoutMs));
        } else {
            db.setHostName(location.host);
            if (location.port > 0)
                db.setPort(location.port);
            db.setDatabaseName(location.database);
            db.setUserName(location.user);
            db.setConnectOptions(
                QStringLiteral("connect_timeout=%1").arg(StoreConnectTimeoutSeconds));
        }
        bool opened = db.open();
        if (!opened && !sqlite && password && wantsPassword(db.lastError())) {
            if (const std::optional<QString> given = password(location)) {
                db.setPassword(*given);
                opened = db.open();
            }
        }
        if (!opened)
            throw StoreError(StoreError::Kind::Unreachable,
                             QStringLiteral("The scan store %1 could not be opened: %2")
                                 .arg(location.displayName(), db.lastError().text()));
        if (sqlite) {
            // Before anything is written: a damaged file stays as it is.
            QSqlQuery check(db);
            if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next())
                throw StoreError(StoreError::Kind::Corrupt,
                                 damagedMessage(location.sqlitePath, check.lastError().text()));
            if (check.value(0).toString() != QLatin1String("ok"))
                throw StoreError(StoreError::Kind::Corrupt,
                                 damagedMessage(location.sqlitePath, check.value(0).toString()));
            check.finish();
            // Switching to write-ahead logging writes the header: a store
            // this program must not touch is refused before.
            StoreSchema::readableVersion(db);
            QSqlQuery mode(db);
            if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next() ||
                mode.value(0).toString().toLower() != QLatin1String("wal"))
                failed(mode.lastError(), QStringLiteral("switch to write-ahead logging"), location);
            mode.finish();
            // In WAL mode a commit is whole after a crash of the program;
            // only a power cut may lose the last ones.
            if (!mode.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
                failed(mode.lastError(), QStringLiteral("be set up"), location);
        }
    }

    // A store at the current layout is only read here: a reader neither
    // waits for a writer nor needs the right to write.
    QSqlDatabase current = store->database();
    if (StoreSchema::readableVersion(current) == StoreSchema::CurrentVersion)
        return store;
    store->beginWrite();
    try {
        QSqlDatabase db = store->database();
        if (!sqlite) {
            QSqlQuery lock(db);
            if (!lock.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(LayoutLockKey)))
                failed(lock.lastError(), QStringLiteral("be locked"), location);
        }
        StoreSchema::migrate(db, store->m_dialect);
        store->commit();
    } catch (...) {
        store->rollback();
        throw;
    }
    return store;
}

void ScanStore::beginWrite() {
    QSqlDatabase db = database();
    if (m_dialect == SqlDialect::Sqlite) {
        // Takes the write lock now (waiting up to the busy time-out) rather
        // than at the first write, where a second writer would fail at once.
        QSqlQuery begin(db);
        if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
            failed(begin.lastError(), QStringLiteral("begin a transaction"), m_location);
    } else if (!db.transaction()) {
        failed(db.lastError(), QStringLiteral("begin a transaction"), m_location);
    }
}

void ScanStore::commit() {
    QSqlDatabase db = database();
    if (m_dialect == SqlDialect::Sqlite) {
        QSqlQuery end(db);
        if (!end.exec(QStringLiteral("COMMIT")))
            failed(end.lastError(), QStringLiteral("commit a transaction"), m_location);
    } else if (!db.commit()) {
        failed(db.lastError(), QStringLiteral("commit a transaction"), m_location);
    }
}

void ScanStore::rollback() {
    QSqlDatabase db = database();
    if (m_dialect == SqlDialect::Sqlite)
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    else
        db.rollback();
}

qint64 ScanStore::record(const ScanContents& scan) {
    const bool computers = scan.header.resourceType == rtComputer;
    const auto rowCount =
        static_cast<qlonglong>(computers ? scan.computers.size() : scan.shares.size());
    beginWrite();
    try {
        QSqlQuery insert(database());
        insert.prepare(QStringLiteral("INSERT INTO scans (started_ms, site, resource, complete, "
                                      "row_count) VALUES (?, ?, ?, ?, ?) RETURNING id"));
        insert.addBindValue(scan.header.started.toMSecsSinceEpoch());
        insert.addBindValue(storableText(scan.header.site, m_dialect));
        insert.addBindValue(resourceWord(scan.header.resourceType));
        insert.addBindValue(scan.header.complete ? 1 : 0);
        insert.addBindValue(rowCount);
        if (!insert.exec() || !insert.next())
            failed(insert.lastError(), QStringLiteral("record a scan"), m_location);
        const qint64 id = insert.value(0).toLongLong();
        insert.finish();
        if (computers)
            insertComputers(id, scan.computers);
        else
            insertShares(id, scan.shares);
        commit();
        return id;
    } catch (...) {
        rollback();
        throw;
    }
}

namespace {
// "INSERT INTO table (columns) VALUES (?, ...), (?, ...)" for `rows` rows.
QString multiRowInsert(const char* table, const char* columns, int columnCount, int rows) {
    QString one = QStringLiteral("(?");
    for (int i = 1; i < columnCount; ++i)
        one += QStringLiteral(", ?");
    one += QLatin1Char(')');
    QStringList values;
    for (int i = 0; i < rows; ++i)
        values << one;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(QLatin1String(table), QLatin1String(columns), values.join(QStringLiteral(", ")));
}

// Inserts the rows in statements of RowsPerInsert rows; `bind` adds one
// row's values.
template <typename Row, typename Bind>
void insertInChunks(QSqlDatabase db, const std::vector<Row>& rows, Bind bind, int columns,
                    const std::function<QString(int)>& statementFor,
                    const std::function<void(const QSqlError&)>& fail) {
    const QString fullStatement = statementFor(RowsPerInsert);
    QSqlQuery full(db);
    bool fullPrepared = false;
    const auto count = static_cast<int>(rows.size());
    for (int first = 0; first < count; first += RowsPerInsert) {
        const int n = std::min(RowsPerInsert, count - first);
        QSqlQuery tail(db);
        QSqlQuery* query = &full;
        if (n == RowsPerInsert) {
            if (!fullPrepared && !full.prepare(fullStatement))
                fail(full.lastError());
            fullPrepared = true;
        } else {
            if (!tail.prepare(statementFor(n)))
                fail(tail.lastError());
            query = &tail;
        }
        int position = 0;
        for (int i = first; i < first + n; ++i)
            bind(*query, position, i, rows[static_cast<std::size_t>(i)]);
        if (position != n * columns)
            fail(QSqlError(QStringLiteral("wrong number of values"), QString()));
        if (!query->exec())
            fail(query->lastError());
    }
}
} // namespace

void ScanStore::insertComputers(qint64 scanId, const std::vector<ComputerRecord>& rows) {
    static constexpr char Columns[] = "scan_id, ordinal, name, grp, comment, address, mac, vendor, "
                                      "dns_name, os, os_version, found_by, dir_guid, dir_ou, "
                                      "dir_stale";
    const auto statementFor = [](int n) {
        return multiRowInsert("computers", Columns, ComputerColumns, n);
    };
    const SqlDialect dialect = m_dialect;
    const auto bind = [scanId, dialect](QSqlQuery& query, int& position, int ordinal,
                                        const ComputerRecord& row) {
        const auto text = [dialect](const QString& value) { return storableText(value, dialect); };
        const QVariant values[ComputerColumns] = {
            scanId,
            ordinal,
            text(row.name),
            text(row.group),
            text(row.comment),
            row.address ? QVariant(static_cast<qlonglong>(qFromBigEndian(*row.address)))
                        : nullInteger(),
            row.mac ? QVariant(macValue(*row.mac)) : nullInteger(),
            text(row.vendor),
            text(row.dnsName),
            text(row.operatingSystem),
            text(row.osVersion),
            static_cast<int>(row.foundBy.bits()),
            row.directory ? QVariant(text(row.directory->guid)) : nullText(),
            row.directory ? QVariant(text(row.directory->ouPath)) : nullText(),
            row.directory ? QVariant(row.directory->stale ? 1 : 0) : nullInteger(),
        };
        for (const QVariant& value : values)
            query.bindValue(position++, value);
    };
    insertInChunks(database(), rows, bind, ComputerColumns, statementFor,
                   [this](const QSqlError& error) {
                       failed(error, QStringLiteral("record a scan"), m_location);
                   });
}

void ScanStore::insertShares(qint64 scanId, const std::vector<ShareRecord>& rows) {
    static constexpr char Columns[] = "scan_id, ordinal, computer, name, kind, grp, comment";
    const auto statementFor = [](int n) {
        return multiRowInsert("shares", Columns, ShareColumns, n);
    };
    const SqlDialect dialect = m_dialect;
    const auto bind = [scanId, dialect](QSqlQuery& query, int& position, int ordinal,
                                        const ShareRecord& row) {
        const QVariant values[ShareColumns] = {
            scanId,
            ordinal,
            storableText(row.computer, dialect),
            storableText(row.name, dialect),
            row.kind == ShareKind::Printer ? 1 : 0,
            storableText(row.group, dialect),
            storableText(row.comment, dialect),
        };
        for (const QVariant& value : values)
            query.bindValue(position++, value);
    };
    insertInChunks(database(), rows, bind, ShareColumns, statementFor,
                   [this](const QSqlError& error) {
                       failed(error, QStringLiteral("record a scan"), m_location);
                   });
}

namespace {
StoredScan scanFromQuery(const QSqlQuery& query) {
    StoredScan scan;
    scan.id = query.value(0).toLongLong();
    scan.header.started = QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong(), Qt::UTC);
    scan.header.site = query.value(2).toString();
    scan.header.resourceType = resourceFromWord(query.value(3).toString()).value_or(rtComputer);
    scan.header.complete = query.value(4).toLongLong() != 0;
    scan.rowCount = query.value(5).toInt();
    return scan;
}

constexpr QLatin1StringView ScanColumns("id, started_ms, site, resource, complete, row_count");
} // namespace

std::vector<StoredScan> ScanStore::scans(const ScanFilter& filter) const {
    QStringList conditions;
    if (filter.site)
        conditions << QStringLiteral("site = ?");
    if (filter.resourceType)
        conditions << QStringLiteral("resource = ?");
    if (filter.completeOnly)
        conditions << QStringLiteral("complete = 1");
    QString statement = QStringLiteral("SELECT %1 FROM scans").arg(ScanColumns);
    if (!conditions.isEmpty())
        statement += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    statement += QStringLiteral(" ORDER BY started_ms DESC, id DESC");
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(statement);
    if (filter.site)
        query.addBindValue(storableText(*filter.site, m_dialect));
    if (filter.resourceType)
        query.addBindValue(resourceWord(*filter.resourceType));
    if (!query.exec())
        failed(query.lastError(), QStringLiteral("list its scans"), m_location);
    std::vector<StoredScan> result;
    while (query.next())
        result.push_back(scanFromQuery(query));
    return result;
}

QStringList ScanStore::sites() const {
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT DISTINCT site FROM scans ORDER BY site")))
        failed(query.lastError(), QStringLiteral("list its sites"), m_location);
    QStringList result;
    while (query.next())
        result << query.value(0).toString();
    return result;
}

ScanContents ScanStore::load(qint64 id) const {
    QSqlQuery head(database());
    head.prepare(QStringLiteral("SELECT %1 FROM scans WHERE id = ?").arg(ScanColumns));
    head.addBindValue(id);
    if (!head.exec())
        failed(head.lastError(), QStringLiteral("read a scan"), m_location);
    if (!head.next())
        throw StoreError(StoreError::Kind::Failed,
                         QStringLiteral("The scan store holds no scan %1").arg(id));
    ScanContents contents;
    contents.header = scanFromQuery(head).header;
    head.finish();

    QSqlQuery rows(database());
    rows.setForwardOnly(true);
    if (contents.header.resourceType == rtComputer) {
        rows.prepare(QStringLiteral("SELECT name, grp, comment, address, mac, vendor, dns_name, "
                                    "os, os_version, found_by, dir_guid, dir_ou, dir_stale "
                                    "FROM computers WHERE scan_id = ? ORDER BY ordinal"));
        rows.addBindValue(id);
        if (!rows.exec())
            failed(rows.lastError(), QStringLiteral("read a scan"), m_location);
        while (rows.next()) {
            ComputerRecord record{
                .name = rows.value(0).toString(),
                .group = rows.value(1).toString(),
                .comment = rows.value(2).toString(),
                .address = std::nullopt,
                .mac = std::nullopt,
                .vendor = rows.value(5).toString(),
                .dnsName = rows.value(6).toString(),
                .operatingSystem = rows.value(7).toString(),
                .osVersion = rows.value(8).toString(),
                .foundBy = FoundBySet::fromBits(static_cast<std::uint8_t>(rows.value(9).toInt())),
                .directory = std::nullopt,
            };
            if (!rows.isNull(3))
                record.address =
                    qToBigEndian(static_cast<std::uint32_t>(rows.value(3).toLongLong()));
            if (!rows.isNull(4))
                record.mac = macFromValue(rows.value(4).toLongLong());
            if (!rows.isNull(10))
                record.directory = DirectoryFacts{.guid = rows.value(10).toString(),
                                                  .ouPath = rows.value(11).toString(),
                                                  .stale = rows.value(12).toInt() != 0};
            contents.computers.push_back(std::move(record));
        }
    } else {
        rows.prepare(QStringLiteral("SELECT computer, name, kind, grp, comment FROM shares "
                                    "WHERE scan_id = ? ORDER BY ordinal"));
        rows.addBindValue(id);
        if (!rows.exec())
            failed(rows.lastError(), QStringLiteral("read a scan"), m_location);
        while (rows.next())
            contents.shares.push_back(ShareRecord{
                .computer = rows.value(0).toString(),
                .name = rows.value(1).toString(),
                .kind = rows.value(2).toInt() == 1 ? ShareKind::Printer : ShareKind::Disk,
                .group = rows.value(3).toString(),
                .comment = rows.value(4).toString(),
            });
    }
    if (rows.lastError().isValid())
        failed(rows.lastError(), QStringLiteral("read a scan"), m_location);
    return contents;
}

int ScanStore::dropScansBefore(const QDateTime& cutoff) {
    const qlonglong limit = cutoff.toMSecsSinceEpoch();
    beginWrite();
    try {
        int dropped = 0;
        for (const char* statement :
             {"DELETE FROM computers WHERE scan_id IN (SELECT id FROM scans WHERE started_ms < ?)",
              "DELETE FROM shares WHERE scan_id IN (SELECT id FROM scans WHERE started_ms < ?)",
              "DELETE FROM scans WHERE started_ms < ?"}) {
            QSqlQuery query(database());
            query.prepare(QString::fromLatin1(statement));
            query.addBindValue(limit);
            if (!query.exec())
                failed(query.lastError(), QStringLiteral("drop old scans"), m_location);
            dropped = query.numRowsAffected();
        }
        commit();
        return dropped;
    } catch (...) {
        rollback();
        throw;
    }
}

} // namespace norvane
