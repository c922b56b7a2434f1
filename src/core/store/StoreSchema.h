#pragma once

// The store's tables and how a store of any earlier layout is brought to
// the current one. Each version adds to the one before; a store records the
// version it has reached, and a store beyond CurrentVersion was written by
// a newer program and is left alone.

#include <QSqlDatabase>

namespace norvane {

enum class SqlDialect { Sqlite, Postgres };

class StoreSchema {
public:
    static constexpr int CurrentVersion = 2;

    // The version the store records; 0 when it holds none of our tables.
    // Throws StoreError (Foreign) for a database that holds tables of our
    // names but no version.
    static int version(QSqlDatabase& db);

    // The version, when this program can read the store. Throws StoreError
    // (TooNew) for a store beyond CurrentVersion, as version() does.
    static int readableVersion(QSqlDatabase& db);

    // Applies the steps from the store's version up to `target`, inside the
    // caller's write transaction. Throws StoreError (TooNew) for a store
    // beyond CurrentVersion, StoreError (Failed) when a step fails.
    static void migrate(QSqlDatabase& db, SqlDialect dialect, int target = CurrentVersion);
};

} // namespace norvane
