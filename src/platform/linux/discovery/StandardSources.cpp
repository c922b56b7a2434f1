#include "StandardSources.h"

namespace norvane {

DiscoverySources standardDiscoverySources() {
    DiscoverySources sources;
    return sources;
}

} // namespace norvane
