#pragma once

// A scan as the store keeps it: when and where it ran, what it listed,
// whether it ran to its end, and its rows with every fact they carry.

#include "records/ComputerRecord.h"
#include "scan/ResultRow.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace norvane {

struct ScanHeader {
    QDateTime started; // kept in UTC, to the millisecond
    QString site;
    TResourceType resourceType = rtComputer;
    // A stopped scan is kept but marked partial: what it did not reach is
    // not gone.
    bool complete = true;
};

// A scan's rows: computers for a computer scan, shares otherwise.
struct ScanContents {
    ScanHeader header;
    std::vector<ComputerRecord> computers;
    std::vector<ShareRecord> shares;
};

// A recorded scan as a list of scans shows it.
struct StoredScan {
    qint64 id = 0;
    ScanHeader header;
    int rowCount = 0;
};

// "computers", "folders", "printers": the store's and the command line's
// word for a resource type.
QString resourceWord(TResourceType type);
std::optional<TResourceType> resourceFromWord(const QString& word);

} // namespace norvane
