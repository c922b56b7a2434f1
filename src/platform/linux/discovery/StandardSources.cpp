#include "StandardSources.h"

#include "linux/directory/DirectorySource.h"
#include "linux/dnssd/DnsSdSource.h"
#include "linux/sweep/AddressRangeSource.h"
#include "linux/wsd/WsdSource.h"

namespace norvane {

DiscoverySources standardDiscoverySources() {
    DiscoverySources sources;
    sources.push_back(std::make_unique<WsdSource>());
    sources.push_back(std::make_unique<DnsSdSource>());
    sources.push_back(std::make_unique<DirectorySource>());
    sources.push_back(std::make_unique<AddressRangeSource>());
    return sources;
}

} // namespace norvane
