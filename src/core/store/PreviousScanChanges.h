#pragma once

// What a scan just finished changed against the previous complete scan of
// its type at its site: the rows to mark as new (by their index in the
// list) and the new, gone and changed computers or shares. A partial scan
// reports nothing gone.

#include "ScanComparison.h"
#include "ScanStore.h"

#include <optional>
#include <vector>

namespace norvane {

struct PreviousScanChanges {
    StoredScan previous;
    std::vector<std::size_t> newRows; // indexes into the list's rows
    std::vector<ComputerChange> computers;
    std::vector<ShareChange> shares;

    ChangeCounts counts() const {
        return previous.header.resourceType == rtComputer ? countChanges(computers)
                                                          : countChanges(shares);
    }
};

// `header.site` names the site. Nothing when no complete scan of the type
// started there before `header.started`. Throws StoreError.
std::optional<PreviousScanChanges>
changesSincePrevious(const ScanStore& store, const ScanHeader& header, const ResultRows& rows);

// The changes of rows against a scan's rows, without a store.
PreviousScanChanges compareWithScan(const StoredScan& previous, const ScanContents& older,
                                    const ScanHeader& header, const ResultRows& rows);

} // namespace norvane
