#include "ScanRecorder.h"

namespace norvane {

QString siteOf(const StoreSettings& settings) {
    return settings.site.isEmpty() ? defaultSiteName() : settings.site;
}

RecordedScan recordFinishedScan(const StoreSettings& settings, ScanContents scan,
                                const StorePasswordSource& password, const QDateTime& now) {
    if (scan.header.site.isEmpty())
        scan.header.site = siteOf(settings);
    const std::unique_ptr<ScanStore> store = ScanStore::open(settings.location, password);
    const qint64 id = store->record(scan);
    return RecordedScan{.id = id,
                        .dropped = store->dropScansBefore(now.addDays(-settings.retentionDays))};
}

ScanContents scanContentsOf(const ScanHeader& header, const ResultRows& rows) {
    ScanContents contents;
    contents.header = header;
    if (header.resourceType == rtComputer)
        contents.computers.reserve(rows.size());
    else
        contents.shares.reserve(rows.size());
    for (const ResultRow& row : rows) {
        if (header.resourceType == rtComputer && row.computer)
            contents.computers.push_back(*row.computer);
        else if (header.resourceType != rtComputer && row.share)
            contents.shares.push_back(*row.share);
    }
    return contents;
}

} // namespace norvane
