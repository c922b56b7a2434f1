#include "JsonExport.h"

#include "CommandLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>

namespace norvane {

namespace {
constexpr int SecondsPerMinute = 60;
constexpr int MinutesPerHour = 60;

QJsonValue obtained(const QString& text, const char* placeholder) {
    return text == QLatin1String(placeholder) ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonValue knownText(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// What the sources know of a computer beyond the list's columns.
void insertFacts(QJsonObject& object, const ComputerRecord* computer) {
    const ComputerRecord none;
    const ComputerRecord& known = computer ? *computer : none;
    object.insert(QStringLiteral("dnsName"), knownText(known.dnsName));
    object.insert(QStringLiteral("operatingSystem"), knownText(known.operatingSystem));
    object.insert(QStringLiteral("osVersion"), knownText(known.osVersion));
    object.insert(QStringLiteral("ouPath"),
                  known.directory ? QJsonValue(known.directory->ouPath) : QJsonValue());
    object.insert(QStringLiteral("stale"),
                  known.directory ? QJsonValue(known.directory->stale) : QJsonValue());
    object.insert(QStringLiteral("foundBy"),
                  QJsonArray::fromStringList(foundByNames(known.foundBy)));
}
} // namespace

QString isoTimestampWithOffset(const QDateTime& time) {
    const int offsetMinutes = time.offsetFromUtc() / SecondsPerMinute;
    const int magnitude = std::abs(offsetMinutes);
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(magnitude / MinutesPerHour, 2, 10, QLatin1Char('0'))
               .arg(magnitude % MinutesPerHour, 2, 10, QLatin1Char('0'));
}

QByteArray formatJson(const ScanResult& scan, const MacVendors& vendors) {
    QJsonArray rows;
    for (const ResultRow& row : scan.rows) {
        QJsonObject object{{QStringLiteral("name"), row.caption}};
        if (scan.resourceType == rtComputer) {
            const QString mac = cellText(row, ComputerColumn::Mac);
            const std::optional<QString> vendor = vendors.vendorOf(mac);
            object.insert(QStringLiteral("ipAddress"),
                          obtained(cellText(row, ComputerColumn::Ip), NoIpAddress));
            object.insert(QStringLiteral("group"), cellText(row, ComputerColumn::Group));
            object.insert(QStringLiteral("comment"), cellText(row, ComputerColumn::Comment));
            object.insert(QStringLiteral("macAddress"), obtained(mac, NoMacAddress));
            object.insert(QStringLiteral("vendor"),
                          vendor ? QJsonValue(*vendor) : QJsonValue(QJsonValue::Null));
            insertFacts(object, row.computer.get());
        } else {
            object.insert(QStringLiteral("group"),
                          cellText(row, static_cast<int>(ShareColumn::Group)));
            object.insert(QStringLiteral("comment"),
                          cellText(row, static_cast<int>(ShareColumn::Comment)));
        }
        rows.append(object);
    }
    const QJsonObject document{{QStringLiteral("resourceType"), scanTypeWord(scan.resourceType)},
                               {QStringLiteral("started"), isoTimestampWithOffset(scan.started)},
                               {QStringLiteral("rows"), rows}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

} // namespace norvane
