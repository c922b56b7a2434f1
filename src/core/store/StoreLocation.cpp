#include "StoreLocation.h"

#include <QDir>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace norvane {

namespace {
constexpr QLatin1StringView DefaultFileName("scans.sqlite");
// The longest location text read; a database URL or a path is far shorter.
constexpr qsizetype MaxLocationLength = 4096;

StoreLocation sqliteAt(const QString& path) {
    StoreLocation location;
    location.sqlitePath = path;
    return location;
}

std::optional<StoreLocation> fail(QString* error, const QString& message) {
    if (error)
        *error = message;
    return std::nullopt;
}
} // namespace

QString StoreLocation::displayName() const {
    if (kind == Kind::Sqlite)
        return sqlitePath;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + QLatin1Char('@');
    if (!host.startsWith(QLatin1Char('/')))
        text += host;
    if (port > 0)
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + database;
    if (host.startsWith(QLatin1Char('/')))
        text += QStringLiteral("?host=") + host;
    return text;
}

StoreLocation StoreLocation::defaultLocation() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return sqliteAt(QDir(folder).filePath(QString(DefaultFileName)));
}

std::optional<StoreLocation> StoreLocation::parse(const QString& text, QString* error) {
    if (text.isEmpty())
        return fail(error, QStringLiteral("The scan store location is empty"));
    if (text.size() > MaxLocationLength)
        return fail(error, QStringLiteral("The scan store location is too long"));
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.isValid() ? url.scheme().toLower() : QString();
    if (scheme == QLatin1String("postgresql") || scheme == QLatin1String("postgres")) {
        if (!url.password().isEmpty())
            return fail(error, QStringLiteral("A password in the store URL is not read: put it "
                                              "in ~/.pgpass instead"));
        StoreLocation location{.kind = Kind::Postgres,
                               .sqlitePath = QString(),
                               .host = url.host(),
                               .port = url.port(0),
                               .database = url.path().mid(1),
                               .user = url.userName()};
        const QUrlQuery query(url);
        if (query.hasQueryItem(QStringLiteral("host")))
            location.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
        if (location.database.isEmpty() || location.database.contains(QLatin1Char('/')))
            return fail(error, QStringLiteral("The store URL names no database: "
                                              "postgresql://[user@]host[:port]/database"));
        return location;
    }
    if (scheme == QLatin1String("file"))
        return sqliteAt(url.toLocalFile());
    if (text.contains(QStringLiteral("://")))
        return fail(error, QStringLiteral("The store URL is neither postgresql:// nor file://"));
    return sqliteAt(QDir::cleanPath(text));
}

} // namespace norvane
