#include "DnsSdSource.h"

#include "linux/Logging.h"
#include "linux/NetbiosIdentity.h"
#include "linux/discovery/NodeStatusSweep.h"

#include <algorithm>
#include <strings.h>

namespace norvane {

DnsSdSource::DnsSdSource(DnsSdSettings settings)
    : m_settings(std::move(settings)),
      m_runner([this](const std::vector<Adapter>& adapters, RoundCancel& cancel) {
          return round(adapters, cancel);
      }) {}

void DnsSdSource::start(const std::vector<Adapter>& adapters) {
    m_runner.start(adapters);
}

std::vector<DiscoveredHost> DnsSdSource::results() {
    return m_runner.results();
}

void DnsSdSource::cancel() {
    m_runner.cancel();
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
