#pragma once

// Which recorded scans to compare, and their changes: for each site and
// resource type, the latest complete scan against the complete one before
// it, the one a number of complete scans back, or the state at a date (the
// latest complete scan started before it). Partial scans take no part.

#include "ScanComparison.h"
#include "ScanStore.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace norvane {

struct ChangeQuery {
    std::optional<QString> site;               // nothing: every site
    std::optional<QDateTime> since;            // compare with the state at this time
    int scansBack = 1;                         // otherwise with this many complete scans back
    std::optional<TResourceType> resourceType; // nothing: every type
};

// One site's changes of one resource type.
struct ChangeSection {
    QString site;
    TResourceType resourceType = rtComputer;
    StoredScan older;
    StoredScan newer;
    std::vector<ComputerChange> computers;
    std::vector<ShareChange> shares;

    ChangeCounts counts() const {
        return resourceType == rtComputer ? countChanges(computers) : countChanges(shares);
    }
};

struct ChangeFindings {
    std::vector<ChangeSection> sections;
    // Site and type pairs with a complete scan but none to compare it with,
    // as "site: computers".
    QStringList uncompared;

    bool anyChange() const;
};

// Throws StoreError.
ChangeFindings findChanges(const ScanStore& store, const ChangeQuery& query);

} // namespace norvane
