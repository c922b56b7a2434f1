#include "OptionalColumns.h"

#include "vendor/MacVendors.h"

namespace norvane {

namespace {
struct ColumnNames {
    const char* caption;
    const char* key;
};
constexpr std::array<ColumnNames, OptionalColumnCount> Names = {{
    {"Vendor", "Vendor"},
    {"DNS Name", "DnsName"},
    {"Operating System", "OperatingSystem"},
    {"Found By", "FoundBy"},
}};

const ColumnNames& namesOf(OptionalColumn column) {
    return Names[static_cast<std::size_t>(column)];
}
} // namespace

QString optionalColumnCaption(OptionalColumn column) {
    return QString::fromLatin1(namesOf(column).caption);
}

QString optionalColumnKey(OptionalColumn column) {
    return QString::fromLatin1(namesOf(column).key);
}

std::optional<OptionalColumn> optionalColumnFromKey(const QString& key) {
    for (OptionalColumn column : OptionalColumns) {
        if (key == QLatin1String(namesOf(column).key))
            return column;
    }
    return std::nullopt;
}

std::optional<OptionalColumn> optionalColumnAt(TResourceType type, int column) {
    const int index = column - ComputerColumnCount;
    if (type != rtComputer || index < 0 || index >= OptionalColumnCount)
        return std::nullopt;
    return OptionalColumns[static_cast<std::size_t>(index)];
}

QString optionalCellText(const ResultRow& row, OptionalColumn column, const MacVendors* vendors) {
    const ComputerRecord* computer = row.computer.get();
    switch (column) {
    case OptionalColumn::Vendor:
        if (computer && !computer->vendor.isEmpty())
            return computer->vendor;
        if (vendors)
            return vendors->vendorOf(cellText(row, ComputerColumn::Mac)).value_or(QString());
        return {};
    case OptionalColumn::DnsName:
        return computer ? computer->dnsName : QString();
    case OptionalColumn::OperatingSystem:
        return computer ? operatingSystemText(*computer) : QString();
    case OptionalColumn::FoundBy:
        return computer ? foundByNames(computer->foundBy).join(QLatin1String(", ")) : QString();
    }
    return {};
}

} // namespace norvane
