#pragma once

// A recorded scan's rows as the list shows them: the caption, image and
// cells the walk gives a row, each row with its record.

#include "StoredScan.h"

namespace norvane {

ResultRows rowsOfScan(const ScanContents& scan);

} // namespace norvane
