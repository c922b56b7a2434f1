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

} // namespace norvane
