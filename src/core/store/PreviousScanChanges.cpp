#include "PreviousScanChanges.h"

#include <algorithm>

namespace norvane {

PreviousScanChanges compareWithScan(const StoredScan& previous, const ScanContents& older,
                                    const ScanHeader& header, const ResultRows& rows) {
    PreviousScanChanges changes{.previous = previous, .newRows = {}, .computers = {}, .shares = {}};
    // Rows without a record take no part; rowOf leads back to the list.
    std::vector<std::size_t> rowOf;
    std::vector<ComputerRecord> computers;
    std::vector<ShareRecord> shares;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (header.resourceType == rtComputer && rows[i].computer) {
            computers.push_back(*rows[i].computer);
            rowOf.push_back(i);
        } else if (header.resourceType != rtComputer && rows[i].share) {
            shares.push_back(*rows[i].share);
            rowOf.push_back(i);
        }
    }
    const std::vector<std::size_t> added = header.resourceType == rtComputer
                                               ? newComputerRows(older.computers, computers)
                                               : newShareRows(older.shares, shares);
    changes.newRows.reserve(added.size());
    for (std::size_t index : added)
        changes.newRows.push_back(rowOf[index]);
    if (header.resourceType == rtComputer)
        changes.computers = compareComputers(older.computers, computers, header.complete);
    else
        changes.shares = compareShares(older.shares, shares, header.complete);
    return changes;
}

std::optional<PreviousScanChanges>
changesSincePrevious(const ScanStore& store, const ScanHeader& header, const ResultRows& rows) {
    const std::vector<StoredScan> scans = store.scans(
        ScanFilter{.site = header.site, .resourceType = header.resourceType, .completeOnly = true});
    // Newest first; the scan itself may already be recorded.
    const auto previous = std::find_if(scans.begin(), scans.end(), [&](const StoredScan& scan) {
        return scan.header.started < header.started;
    });
    if (previous == scans.end())
        return std::nullopt;
    return compareWithScan(*previous, store.load(previous->id), header, rows);
}

} // namespace norvane
