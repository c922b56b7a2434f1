#include "ColumnSettings.h"

#include <QStringList>

namespace norvane {

ColumnSettings ColumnSettings::read(const QSettings& settings) {
    ColumnSettings result;
    const QStringList keys =
        settings.value(QLatin1String(settingsnames::ColumnsShown)).toStringList();
    for (const QString& key : keys) {
        if (const auto column = optionalColumnFromKey(key.trimmed()))
            result.shown.insert(*column);
    }
    return result;
}

void ColumnSettings::write(QSettings& settings) const {
    QStringList keys;
    for (OptionalColumn column : shown)
        keys << optionalColumnKey(column);
    settings.setValue(QLatin1String(settingsnames::ColumnsShown), keys);
}

} // namespace norvane
