#pragma once

// A finished scan as the command line writes it out.

#include "scan/ScanModel.h"

#include <QDateTime>

namespace norvane {

struct ScanResult {
    TResourceType resourceType = rtComputer;
    QDateTime started; // local time
    ResultRows rows;   // in the order the walk found them
};

// The cells of a computer row, by position among its texts.
enum ComputerCell : int { CellIpAddress = 0, CellGroup = 1, CellComment = 2, CellMacAddress = 3 };
// The cells of a share row.
enum ShareCell : int { CellShareGroup = 0, CellShareComment = 1 };

} // namespace norvane
