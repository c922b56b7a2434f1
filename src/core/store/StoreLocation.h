#pragma once

// Where the scans are kept: an SQLite file (by default in the user's data
// folder) or a PostgreSQL database named by a URL,
//   postgresql://[user@][host][:port]/database[?host=/socket/folder]
// A password in the URL is refused: it comes from ~/.pgpass or the
// password callback the store is opened with, never from an argument or
// the settings file, where others could read it.

#include <QString>

#include <optional>

namespace norvane {

struct StoreLocation {
    enum class Kind { Sqlite, Postgres };

    Kind kind = Kind::Sqlite;
    QString sqlitePath;
    // PostgreSQL: an empty host means libpq's default socket folder; a host
    // starting with "/" is a socket folder.
    QString host;
    int port = 0; // 0: libpq's default
    QString database;
    QString user; // empty: libpq's default (the log-on name)

    // The location as the user may be shown it (never holds a password).
    QString displayName() const;

    // The file "scans.sqlite" in the user's data folder.
    static StoreLocation defaultLocation();

    // A postgresql:// or postgres:// URL, a file:// URL or a file path.
    // Returns nothing and sets `error` when the text is not a location.
    static std::optional<StoreLocation> parse(const QString& text, QString* error);
};

} // namespace norvane
