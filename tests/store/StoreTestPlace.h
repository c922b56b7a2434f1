#pragma once

// Where a store test writes: a fresh SQLite file in a temporary folder, or,
// when NORVANE_TEST_PG_STATE names the state file of the private cluster
// (pg-cluster.sh), a fresh database in that cluster. Log-ons to the cluster
// take the password from ~/.pgpass, which is written here.

#include "store/StoreLocation.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace norvane::test {

struct PgCluster {
    QString socket;
    QString user;
    QString password;
};

inline std::optional<PgCluster> pgCluster() {
    const QString stateFile = qEnvironmentVariable("NORVANE_TEST_PG_STATE");
    if (stateFile.isEmpty())
        return std::nullopt;
    QFile file(stateFile);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The PostgreSQL cluster's state file %s cannot be read", qPrintable(stateFile));
    PgCluster cluster;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        const QString value = text.section(QLatin1Char('='), 1);
        if (text.startsWith(QLatin1String("socket=")))
            cluster.socket = value;
        else if (text.startsWith(QLatin1String("user=")))
            cluster.user = value;
        else if (text.startsWith(QLatin1String("password=")))
            cluster.password = value;
    }
    return cluster;
}

inline QString pgpassPath() {
    return QDir::home().filePath(QStringLiteral(".pgpass"));
}

// Lets libpq find the cluster's password as a site's ~/.pgpass would.
inline void writePgpass(const PgCluster& cluster) {
    QDir().mkpath(QDir::homePath());
    QFile file(pgpassPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("*:*:*:%1:%2\n").arg(cluster.user, cluster.password).toUtf8());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
}

class StoreTestPlace {
public:
    StoreTestPlace() : m_cluster(pgCluster()) {}

    bool isPostgres() const { return m_cluster.has_value(); }
    const std::optional<PgCluster>& cluster() const { return m_cluster; }

    // A store nobody has written to yet.
    StoreLocation freshLocation() {
        if (!m_cluster) {
            StoreLocation location;
            location.sqlitePath =
                m_folder.filePath(QStringLiteral("store-%1.sqlite").arg(++m_count));
            return location;
        }
        const QString database =
            QStringLiteral("t%1_%2").arg(QRandomGenerator::global()->generate()).arg(++m_count);
        {
            QSqlDatabase admin =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("test-admin"));
            admin.setHostName(m_cluster->socket);
            admin.setUserName(m_cluster->user);
            admin.setPassword(m_cluster->password);
            admin.setDatabaseName(QStringLiteral("postgres"));
            if (!admin.open())
                qFatal("The test cluster cannot be reached: %s",
                       qPrintable(admin.lastError().text()));
            QSqlQuery create(admin);
            if (!create.exec(QStringLiteral("CREATE DATABASE %1").arg(database)))
                qFatal("%s", qPrintable(create.lastError().text()));
            admin.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("test-admin"));
        StoreLocation location;
        location.kind = StoreLocation::Kind::Postgres;
        location.host = m_cluster->socket;
        location.database = database;
        location.user = m_cluster->user;
        return location;
    }

    // The location as --store takes it.
    static QString url(const StoreLocation& location) { return location.displayName(); }

private:
    std::optional<PgCluster> m_cluster;
    QTemporaryDir m_folder;
    int m_count = 0;
};

} // namespace norvane::test
