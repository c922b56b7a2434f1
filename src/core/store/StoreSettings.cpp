#include "StoreSettings.h"

#include <QSysInfo>

namespace norvane {

namespace {
constexpr QLatin1StringView LocationKey("ScanStore/Location");
constexpr QLatin1StringView SiteKey("ScanStore/Site");
constexpr QLatin1StringView RetentionKey("ScanStore/RetentionDays");
// A retention past a century is taken for a mistake.
constexpr int MaxRetentionDays = 36500;
} // namespace

StoreSettings StoreSettings::read(const QSettings& settings) {
    StoreSettings result;
    const QString location = settings.value(QString(LocationKey)).toString();
    if (!location.isEmpty()) {
        if (std::optional<StoreLocation> parsed = StoreLocation::parse(location, nullptr))
            result.location = *parsed;
    }
    result.site = settings.value(QString(SiteKey)).toString();
    bool ok = false;
    const int days = settings.value(QString(RetentionKey)).toInt(&ok);
    if (ok && days > 0 && days <= MaxRetentionDays)
        result.retentionDays = days;
    return result;
}

void StoreSettings::write(QSettings& settings) const {
    settings.setValue(QString(LocationKey), location.displayName());
    settings.setValue(QString(SiteKey), site);
    settings.setValue(QString(RetentionKey), retentionDays);
}

QString defaultSiteName() {
    return QSysInfo::machineHostName();
}

} // namespace norvane
