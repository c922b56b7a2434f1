#pragma once

// Records a finished scan where the settings say, under the settings' site
// (the host name unless set), and drops the scans past the retention time.
// Blocks for the writes: call it on a worker thread from the window, or
// from the command line after the rows are written.

#include "ScanStore.h"
#include "StoreSettings.h"

namespace norvane {

struct RecordedScan {
    qint64 id = 0;
    int dropped = 0; // scans past the retention time dropped now
};

// `scan.header.site` is filled in when empty. Throws StoreError.
RecordedScan recordFinishedScan(const StoreSettings& settings, ScanContents scan,
                                const StorePasswordSource& password = {},
                                const QDateTime& now = QDateTime::currentDateTimeUtc());

// The records of a walk's rows under `header`: computers for a computer
// scan, shares otherwise; rows without a record are left out.
ScanContents scanContentsOf(const ScanHeader& header, const ResultRows& rows);

// The site a scan is recorded under with these settings.
QString siteOf(const StoreSettings& settings);

} // namespace norvane
