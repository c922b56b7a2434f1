#pragma once

// The store's settings: where it is, the site this machine records as, and
// how long scans are kept. Read from the program's settings file (group
// "ScanStore"); no password is ever read from there.

#include "StoreLocation.h"

#include <QSettings>
#include <QString>

namespace norvane {

// Default retention of recorded scans.
constexpr int DefaultRetentionDays = 400;

struct StoreSettings {
    StoreLocation location = StoreLocation::defaultLocation();
    QString site; // empty: the host name
    int retentionDays = DefaultRetentionDays;

    // Falls back to the defaults for a missing or unreadable value.
    static StoreSettings read(const QSettings& settings);
    void write(QSettings& settings) const;
};

// This machine's host name: the site a scan is recorded under by default.
QString defaultSiteName();

} // namespace norvane
