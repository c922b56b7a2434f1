#include "StandardSources.h"

#include "linux/dnssd/DnsSdSource.h"

namespace norvane {

DiscoverySources standardDiscoverySources() {
    DiscoverySources sources;
    sources.push_back(std::make_unique<DnsSdSource>());
    return sources;
}

} // namespace norvane
