#include "CsvExport.h"

#include "common/CsvReader.h"

namespace norvane {

namespace {
constexpr QLatin1StringView RecordEnd("\r\n");
// The first characters with which a spreadsheet takes a cell for a formula.
constexpr QLatin1StringView FormulaStarts("=+-@\t\r");

// A name, group or comment from the network must never become a formula in
// the spreadsheet that opens the file: such a cell starts with an
// apostrophe, which spreadsheets take as "text follows" and do not show.
QString inert(const QString& field) {
    if (!field.isEmpty() && FormulaStarts.contains(field.front()))
        return QLatin1Char('\'') + field;
    return field;
}

void addRecord(QString& text, const QStringList& fields) {
    QStringList quoted;
    for (const QString& field : fields)
        quoted << csvField(inert(field));
    text += quoted.join(QLatin1Char(',')) + RecordEnd;
}

QString obtained(const QString& text, const char* placeholder) {
    return text == QLatin1String(placeholder) ? QString() : text;
}
} // namespace

QByteArray formatCsv(const ScanResult& scan, const MacVendors& vendors) {
    const bool computers = scan.resourceType == rtComputer;
    QString text;
    QStringList header = columnCaptions(scan.resourceType);
    if (computers)
        header << QStringLiteral("Vendor");
    addRecord(text, header);
    for (const ResultRow& row : scan.rows) {
        QStringList fields{row.caption};
        if (computers) {
            const QString mac = cellText(row, ComputerColumn::Mac);
            fields << obtained(cellText(row, ComputerColumn::Ip), NoIpAddress)
                   << cellText(row, ComputerColumn::Group) << cellText(row, ComputerColumn::Comment)
                   << obtained(mac, NoMacAddress) << vendors.vendorOf(mac).value_or(QString());
        } else {
            fields << cellText(row, static_cast<int>(ShareColumn::Group))
                   << cellText(row, static_cast<int>(ShareColumn::Comment));
        }
        addRecord(text, fields);
    }
    return text.toUtf8();
}

} // namespace norvane
