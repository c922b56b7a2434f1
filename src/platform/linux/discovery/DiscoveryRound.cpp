#include "DiscoveryRound.h"

#include "linux/discovery/DiscoveryMerge.h"

namespace norvane {

DiscoveryRound::DiscoveryRound(DiscoverySources sources) : m_sources(std::move(sources)) {}

DiscoveryRound::~DiscoveryRound() {
    cancel();
}

void DiscoveryRound::cancel() {
    for (const auto& source : m_sources)
        source->cancel();
}

void DiscoveryRound::start(const std::vector<Adapter>& adapters) {
    const std::lock_guard lock(m_roundMutex);
    {
        const std::lock_guard hostsLock(m_hostsMutex);
        m_hosts.clear();
    }
    m_collected = false;
    for (const auto& source : m_sources)
        source->start(adapters);
}

std::vector<DiscoveredHost> DiscoveryRound::hosts() {
    const std::lock_guard lock(m_roundMutex);
    if (!m_collected) {
        std::vector<std::vector<DiscoveredHost>> found;
        for (const auto& source : m_sources)
            found.push_back(source->results());
        const std::lock_guard hostsLock(m_hostsMutex);
        m_hosts = uniteHosts(found);
        m_collected = true;
    }
    return knownHosts();
}

std::vector<DiscoveredHost> DiscoveryRound::knownHosts() {
    const std::lock_guard lock(m_hostsMutex);
    return m_hosts;
}

} // namespace norvane
