#include "SettingsHistoryStore.h"

#include "common/AppError.h"

#include <QSettings>

namespace norvane {

QString SettingsHistoryStore::key(const QString& name) {
    return QString::fromLatin1(FindHistoryGroup) + QLatin1Char('/') + name;
}

bool SettingsHistoryStore::valueExists(const QString& name) const {
    return m_settings.contains(key(name));
}

QString SettingsHistoryStore::readString(const QString& name) const {
    const QVariant value = m_settings.value(key(name));
    if (value.typeId() != QMetaType::QString)
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    return value.toString();
}

void SettingsHistoryStore::writeString(const QString& name, const QString& value) {
    m_settings.setValue(key(name), value);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(name));
}

} // namespace norvane
