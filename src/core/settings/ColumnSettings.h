#pragma once

// Which optional columns the computer list shows, kept between runs under
// "Columns/Shown" as the columns' keys. None is shown until the user
// chooses one; a key this program does not know is ignored.

#include "scan/OptionalColumns.h"

#include <QSettings>

#include <set>

namespace norvane {

namespace settingsnames {
inline constexpr const char* ColumnsShown = "Columns/Shown";
} // namespace settingsnames

struct ColumnSettings {
    std::set<OptionalColumn> shown;

    static ColumnSettings read(const QSettings& settings);
    void write(QSettings& settings) const;

    bool operator==(const ColumnSettings&) const = default;
};

} // namespace norvane
