#include "CsvExport.h"

#include "common/CsvReader.h"

namespace norvane {

namespace {
constexpr QLatin1StringView RecordEnd("\r\n");
// The first characters with which a spreadsheet takes a cell for a formula.
constexpr QLatin1StringView FormulaStarts("=+-@\t\r");

void addRecord(QString& text, const QStringList& fields) {
    QStringList quoted;
    for (const QString& field : fields)
        quoted << spreadsheetCell(field);
    text += quoted.join(QLatin1Char(',')) + RecordEnd;
}

QString obtained(const QString& text, const char* placeholder) {
    return text == QLatin1String(placeholder) ? QString() : text;
}

// What the sources know of a computer beyond the list's columns.
QStringList computerFacts(const ComputerRecord* computer) {
    if (computer == nullptr)
        return QStringList(ComputerFactCaptions.size());
    const std::optional<DirectoryFacts>& directory = computer->directory;
    return {computer->dnsName,
            computer->operatingSystem,
            computer->osVersion,
            directory ? directory->ouPath : QString(),
            directory ? QLatin1String(directory->stale ? "yes" : "no") : QString(),
            foundByNames(computer->foundBy).join(QLatin1String("; "))};
}
} // namespace

QString spreadsheetCell(const QString& field) {
    if (!field.isEmpty() && FormulaStarts.contains(field.front()))
        return csvField(QLatin1Char('\'') + field);
    return csvField(field);
}

QByteArray formatCsv(const ScanResult& scan, const MacVendors& vendors) {
    const bool computers = scan.resourceType == rtComputer;
    QString text;
    QStringList header = columnCaptions(scan.resourceType);
    if (computers)
        header << QStringLiteral("Vendor") << ComputerFactCaptions;
    addRecord(text, header);
    for (const ResultRow& row : scan.rows) {
        QStringList fields{row.caption};
        if (computers) {
            const QString mac = cellText(row, ComputerColumn::Mac);
            fields << obtained(cellText(row, ComputerColumn::Ip), NoIpAddress)
                   << cellText(row, ComputerColumn::Group) << cellText(row, ComputerColumn::Comment)
                   << obtained(mac, NoMacAddress) << vendors.vendorOf(mac).value_or(QString())
                   << computerFacts(row.computer.get());
        } else {
            fields << cellText(row, static_cast<int>(ShareColumn::Group))
                   << cellText(row, static_cast<int>(ShareColumn::Comment));
        }
        addRecord(text, fields);
    }
    return text.toUtf8();
}

} // namespace norvane
