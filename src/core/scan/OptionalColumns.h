#pragma once

// The columns a computer list can show beyond its five: facts the sources
// found that the report does not carry. They are hidden until the user
// chooses them from the list header's menu; the choice is kept by
// ColumnSettings.

#include "ResultRow.h"

#include <QString>

#include <array>
#include <optional>

namespace norvane {

class MacVendors;

enum class OptionalColumn : int { Vendor, DnsName, OperatingSystem, FoundBy };
inline constexpr std::array<OptionalColumn, 4> OptionalColumns = {
    OptionalColumn::Vendor, OptionalColumn::DnsName, OptionalColumn::OperatingSystem,
    OptionalColumn::FoundBy};
inline constexpr int OptionalColumnCount = static_cast<int>(OptionalColumns.size());
// Wider than the list's own columns: DNS names and systems are long.
inline constexpr int OptionalColumnWidth = 160;

// "Vendor", "DNS Name", "Operating System", "Found By".
QString optionalColumnCaption(OptionalColumn column);
// The name a column is kept under in the settings.
QString optionalColumnKey(OptionalColumn column);
std::optional<OptionalColumn> optionalColumnFromKey(const QString& key);

// The optional column at a list column of a list of the given type: they
// follow a computer list's five columns; share lists have none.
std::optional<OptionalColumn> optionalColumnAt(TResourceType type, int column);
constexpr int listColumnOf(OptionalColumn column) {
    return ComputerColumnCount + static_cast<int>(column);
}

// The text of a row in an optional column. The vendor comes from the MAC
// column through `vendors`; none is shown while they are not known.
QString optionalCellText(const ResultRow& row, OptionalColumn column, const MacVendors* vendors);

} // namespace norvane
