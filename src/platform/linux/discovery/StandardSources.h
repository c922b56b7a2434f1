#pragma once

// The discovery sources a platform runs beside the browse list.

#include "linux/discovery/DiscoverySource.h"

namespace norvane {

DiscoverySources standardDiscoverySources();

} // namespace norvane
