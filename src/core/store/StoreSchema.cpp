#include "StoreSchema.h"

#include "StoreError.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <array>
#include <vector>

namespace norvane {

namespace {
constexpr QLatin1StringView MetaTable("store_meta");
constexpr QLatin1StringView VersionKey("schema_version");

// One step's statements; "%ID%" is the dialect's generated key column.
struct Step {
    std::vector<const char*> statements;
};

// Version 1: scans and their computer and share rows. Version 2: the
// directory's facts of a computer and the index that finds a site's scans
// of a type by date.
const std::array<Step, StoreSchema::CurrentVersion> Steps{{
    {{"CREATE TABLE store_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
      "CREATE TABLE scans (id %ID%, started_ms BIGINT NOT NULL, site TEXT NOT NULL, "
      "resource TEXT NOT NULL, complete INTEGER NOT NULL, row_count INTEGER NOT NULL)",
      "CREATE TABLE computers (scan_id BIGINT NOT NULL REFERENCES scans(id), "
      "ordinal INTEGER NOT NULL, name TEXT NOT NULL, grp TEXT NOT NULL, "
      "comment TEXT NOT NULL, address BIGINT, mac BIGINT, vendor TEXT NOT NULL, "
      "dns_name TEXT NOT NULL, os TEXT NOT NULL, os_version TEXT NOT NULL, "
      "found_by INTEGER NOT NULL, PRIMARY KEY (scan_id, ordinal))",
      "CREATE TABLE shares (scan_id BIGINT NOT NULL REFERENCES scans(id), "
      "ordinal INTEGER NOT NULL, computer TEXT NOT NULL, name TEXT NOT NULL, "
      "kind INTEGER NOT NULL, grp TEXT NOT NULL, comment TEXT NOT NULL, "
      "PRIMARY KEY (scan_id, ordinal))"}},
    {{"ALTER TABLE computers ADD COLUMN dir_guid TEXT",
      "ALTER TABLE computers ADD COLUMN dir_ou TEXT",
      "ALTER TABLE computers ADD COLUMN dir_stale INTEGER",
      "CREATE INDEX scans_by_site ON scans (site, resource, started_ms)"}},
}};

[[noreturn]] void failed(const QSqlError& error, const QString& what) {
    throw StoreError(StoreError::Kind::Failed,
                     QStringLiteral("The scan store could not %1: %2").arg(what, error.text()));
}

void run(QSqlDatabase& db, const QString& statement) {
    QSqlQuery query(db);
    if (!query.exec(statement))
        failed(query.lastError(), QStringLiteral("be brought to the current layout"));
}

void setVersion(QSqlDatabase& db, int version) {
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE store_meta SET value = ? WHERE name = ?"));
    update.addBindValue(QString::number(version));
    update.addBindValue(QString(VersionKey));
    if (!update.exec())
        failed(update.lastError(), QStringLiteral("record its layout version"));
    if (update.numRowsAffected() > 0)
        return;
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO store_meta (name, value) VALUES (?, ?)"));
    insert.addBindValue(QString(VersionKey));
    insert.addBindValue(QString::number(version));
    if (!insert.exec())
        failed(insert.lastError(), QStringLiteral("record its layout version"));
}
} // namespace

int StoreSchema::version(QSqlDatabase& db) {
    const QStringList tables = db.tables();
    if (!tables.contains(QString(MetaTable), Qt::CaseInsensitive)) {
        for (const char* ours : {"scans", "computers", "shares"}) {
            if (tables.contains(QLatin1String(ours), Qt::CaseInsensitive))
                throw StoreError(StoreError::Kind::Foreign,
                                 QStringLiteral("The database holds a table \"%1\" that is not "
                                                "a Norvane scan store's; it was left as it is")
                                     .arg(QLatin1String(ours)));
        }
        return 0;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT value FROM store_meta WHERE name = ?"));
    query.addBindValue(QString(VersionKey));
    if (!query.exec())
        failed(query.lastError(), QStringLiteral("be read"));
    if (!query.next())
        return 0;
    bool ok = false;
    const int stored = query.value(0).toString().toInt(&ok);
    if (!ok || stored < 0)
        throw StoreError(StoreError::Kind::Foreign,
                         QStringLiteral("The scan store records no valid layout version"));
    return stored;
}

int StoreSchema::readableVersion(QSqlDatabase& db) {
    const int current = version(db);
    if (current > CurrentVersion)
        throw StoreError(StoreError::Kind::TooNew,
                         QStringLiteral("The scan store was written by a newer version of "
                                        "Norvane (store layout %1; this version reads up to "
                                        "%2). It was left as it is: use the newer version, or "
                                        "choose another store")
                             .arg(current)
                             .arg(CurrentVersion));
    return current;
}

void StoreSchema::migrate(QSqlDatabase& db, SqlDialect dialect, int target) {
    const int current = readableVersion(db);
    const QString idColumn = dialect == SqlDialect::Postgres
                                 ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                 : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    for (int step = current; step < target && step < CurrentVersion; ++step) {
        for (const char* statement : Steps[static_cast<std::size_t>(step)].statements)
            run(db, QString::fromLatin1(statement).replace(QStringLiteral("%ID%"), idColumn));
        setVersion(db, step + 1);
    }
}

} // namespace norvane
