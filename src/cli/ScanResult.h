#pragma once

// A finished scan as the command line writes it out.

#include "scan/ResultRow.h"

#include <QDateTime>

namespace norvane {

struct ScanResult {
    TResourceType resourceType = rtComputer;
    QDateTime started; // local time
    ResultRows rows;   // in the order the walk found them
};

} // namespace norvane
