#pragma once

// The kept scans: opens an SQLite file or a PostgreSQL database, brings its
// layout up to date, records each finished scan in one transaction, lists
// and loads recorded scans and drops those past the retention time.
//
// A store belongs to the thread that opened it (a Qt SQL connection does):
// the window opens and records on a worker thread, never on its UI thread.
// An SQLite store runs in write-ahead-log mode with a busy time-out, so the
// window and a cron job may write at once; a corrupt SQLite file is
// reported and never written to.

#include "StoreLocation.h"
#include "StoreSchema.h"
#include "StoredScan.h"

#include <QSqlDatabase>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace norvane {

// How long a writer waits for another writer's transaction to end.
constexpr int StoreBusyTimeoutMs = 10000;
// How long opening a PostgreSQL connection may take.
constexpr int StoreConnectTimeoutSeconds = 10;

// Asked once for a PostgreSQL password when the server wants one that
// ~/.pgpass does not hold (the window reads it from the keyring); nothing
// gives up.
using StorePasswordSource = std::function<std::optional<QString>(const StoreLocation&)>;

struct ScanFilter {
    std::optional<QString> site;
    std::optional<TResourceType> resourceType;
    bool completeOnly = false;
};

class ScanStore {
public:
    // Throws StoreError.
    static std::unique_ptr<ScanStore> open(const StoreLocation& location,
                                           const StorePasswordSource& password = {});
    ~ScanStore();
    ScanStore(const ScanStore&) = delete;
    ScanStore& operator=(const ScanStore&) = delete;

    const StoreLocation& location() const { return m_location; }

    // Records the scan with all its rows in one transaction and returns its
    // id. Throws StoreError; nothing of the scan is kept then.
    qint64 record(const ScanContents& scan);

    // The scans the filter admits, newest first (by start, then by id).
    std::vector<StoredScan> scans(const ScanFilter& filter = {}) const;
    // The sites that recorded scans, in order.
    QStringList sites() const;
    // A recorded scan with its rows in the order the walk found them.
    // Throws StoreError when there is no such scan.
    ScanContents load(qint64 id) const;

    // Drops the scans started before `cutoff` and returns how many.
    int dropScansBefore(const QDateTime& cutoff);

private:
    ScanStore(StoreLocation location, QString connectionName, SqlDialect dialect);
    QSqlDatabase database() const;
    void beginWrite();
    void commit();
    void rollback();
    void insertComputers(qint64 scanId, const std::vector<ComputerRecord>& rows);
    void insertShares(qint64 scanId, const std::vector<ShareRecord>& rows);

    StoreLocation m_location;
    QString m_connectionName;
    SqlDialect m_dialect;
};

} // namespace norvane
