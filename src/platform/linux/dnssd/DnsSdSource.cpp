#include "DnsSdSource.h"

#include "linux/NetbiosIdentity.h"
#include "NodeStatusSweep.h"
#include "linux/Logging.h"

#include <algorithm>
#include <strings.h>

namespace norvane {

DnsSdSource::DnsSdSource(DnsSdSettings settings) : m_settings(std::move(settings)) {}

DnsSdSource::~DnsSdSource() {
    cancel();
    results();
}

void DnsSdSource::start(const std::vector<Adapter>& adapters) {
    cancel();
    const std::lock_guard lock(m_roundMutex);
    if (m_thread.joinable())
        m_thread.join();
    m_results.clear();
    auto cancelRound = std::make_shared<RoundCancel>();
    {
        const std::lock_guard cancelLock(m_cancelMutex);
        m_cancel = cancelRound;
    }
    m_thread = std::thread([this, adapters, cancelRound] {
        auto found = round(adapters, *cancelRound);
        // results() joins this thread before it reads, so no lock is needed
        // to hand the list over.
        m_results = std::move(found);
    });
}

std::vector<DiscoveredHost> DnsSdSource::results() {
    const std::lock_guard lock(m_roundMutex);
    if (m_thread.joinable())
        m_thread.join();
    return m_results;
}

void DnsSdSource::cancel() {
    const std::lock_guard lock(m_cancelMutex);
    if (m_cancel)
        m_cancel->cancel();
}

std::vector<DiscoveredHost> DnsSdSource::round(const std::vector<Adapter>& adapters,
                                               RoundCancel& cancel) const {
    if (adapters.empty())
        return {};
    std::optional<std::vector<ResolvedService>> services;
    if (m_settings.useAvahi)
        services = browseWithAvahi(adapters, m_settings.avahi, cancel);
    if (!services && !cancel.cancelled()) {
        qCDebug(lcDnsSd) << "browsing" << m_settings.multicast.service.c_str()
                         << "by multicast DNS";
        services = browseByMulticast(adapters, m_settings.multicast, cancel);
    }
    if (!services)
        return {};
    std::vector<std::uint32_t> addresses;
    for (const ResolvedService& service : *services)
        if (std::find(addresses.begin(), addresses.end(), service.address) == addresses.end())
            addresses.push_back(service.address);
    const auto statuses = sweepNodeStatus(addresses, m_settings.nodeStatus, cancel);

    std::vector<DiscoveredHost> hosts;
    for (const ResolvedService& service : *services) {
        const auto status = statuses.find(service.address);
        std::optional<NetbiosIdentity> identity;
        if (status != statuses.end())
            identity = identityFromNodeStatus(status->second);
        if (!identity)
            identity = identityFromHostName(service.host, service.domain);
        if (!identity) {
            qCDebug(lcDnsSd) << "instance" << service.instance.c_str() << "left out: host name"
                             << service.host.c_str() << "cannot be a NetBIOS name";
            continue;
        }
        // A host with several SMB instances, or reached on several
        // adapters, is listed once.
        const bool known = std::any_of(hosts.begin(), hosts.end(), [&](const DiscoveredHost& h) {
            return h.address == service.address ||
                   strcasecmp(h.name.c_str(), identity->name.c_str()) == 0;
        });
        if (known)
            continue;
        qCDebug(lcDnsSd) << "found" << identity->name.c_str() << "in" << identity->group.c_str()
                         << (status != statuses.end() ? "(NetBIOS)" : "(host name)");
        hosts.push_back({identity->name, identity->group, service.address, FoundBy::DnsSd});
    }
    return hosts;
}

} // namespace norvane
