#include "DiscoveryRound.h"

#include "discovery/DiscoveryAdmission.h"
#include "discovery/DiscoveryMerge.h"
#include "linux/Logging.h"
#include "platform/NetworkPlatform.h"

namespace norvane {

namespace {
// A name claimed at two addresses, on the categories of both sources.
void logContest(const ContestedClaim& claim) {
    const auto log = [&](const QLoggingCategory& category) {
        if (claim.heldAt == 0)
            qCDebug(category) << QString::fromStdString(claim.name) << "also claimed at"
                              << NetworkPlatform::inetNtoa(claim.claimedAt).c_str();
        else
            qCDebug(category) << QString::fromStdString(claim.name) << "claimed at"
                              << NetworkPlatform::inetNtoa(claim.heldAt).c_str() << "and"
                              << NetworkPlatform::inetNtoa(claim.claimedAt).c_str()
                              << ": reached by the name service alone, at neither address";
    };
    const QLoggingCategory& first = discoveryCategory(claim.heldBy);
    const QLoggingCategory& second = discoveryCategory(claim.claimedBy);
    log(first);
    if (&second != &first)
        log(second);
}
} // namespace

DiscoveryRound::DiscoveryRound(DiscoverySources sources) : m_sources(std::move(sources)) {}

DiscoveryRound::~DiscoveryRound() {
    cancel();
}

void DiscoveryRound::cancel() {
    for (const auto& source : m_sources)
        source->cancel();
}

void DiscoveryRound::start(const std::vector<Adapter>& adapters, const SourceOptions& options) {
    const std::lock_guard lock(m_roundMutex);
    {
        const std::lock_guard hostsLock(m_hostsMutex);
        m_hosts.clear();
        m_shortfalls.clear();
        m_byName.clear();
    }
    m_collected = false;
    m_subnets.clear();
    for (const Adapter& adapter : adapters)
        m_subnets.push_back({adapter.address & adapter.netmask, adapter.netmask});
    for (const auto& source : m_sources) {
        source->configure(options);
        source->start(adapters);
    }
}

std::vector<DiscoveredHost> DiscoveryRound::hosts() {
    {
        const std::lock_guard lock(m_roundMutex);
        collect();
    }
    return knownHosts();
}

std::vector<std::string> DiscoveryRound::shortfalls() {
    const std::lock_guard lock(m_roundMutex);
    collect();
    const std::lock_guard hostsLock(m_hostsMutex);
    return m_shortfalls;
}

void DiscoveryRound::collect() {
    if (!m_collected) {
        std::vector<std::vector<DiscoveredHost>> found;
        std::vector<std::string> shortfalls;
        for (const auto& source : m_sources) {
            const std::vector<DiscoveredHost> results = source->results();
            if (std::optional<std::string> shortfall = source->shortfall())
                shortfalls.push_back(std::move(*shortfall));
            Admission admission = admitHosts(results, m_subnets, source->maxHostsPerRound());
            for (const RefusedHost& refused : admission.refused)
                qCDebug(discoveryCategory(refused.host.foundBy))
                    << "left out" << QString::fromStdString(refused.host.name) << "at"
                    << NetworkPlatform::inetNtoa(refused.host.address).c_str() << ":"
                    << refused.reason;
            found.push_back(std::move(admission.admitted));
        }
        std::vector<ContestedClaim> contests;
        std::vector<DiscoveredHost> united = uniteHosts(found, &contests);
        for (const ContestedClaim& claim : contests)
            logContest(claim);
        const std::lock_guard hostsLock(m_hostsMutex);
        m_hosts = std::move(united);
        m_shortfalls = std::move(shortfalls);
        m_byName.clear();
        for (std::size_t i = 0; i < m_hosts.size(); ++i)
            m_byName.emplace(nameKey(m_hosts[i].name), i);
        m_collected = true;
    }
}

std::optional<NodeStatusReply> DiscoveryRound::askedNodeStatus(std::uint32_t address) {
    for (const auto& source : m_sources) {
        if (auto reply = source->askedNodeStatus(address))
            return reply;
    }
    return std::nullopt;
}

std::vector<DiscoveredHost> DiscoveryRound::knownHosts() {
    const std::lock_guard lock(m_hostsMutex);
    return m_hosts;
}

std::optional<DiscoveredHost> DiscoveryRound::knownHost(std::string_view name) {
    const std::string key = nameKey(name);
    const std::lock_guard lock(m_hostsMutex);
    const auto found = m_byName.find(key);
    if (found == m_byName.end())
        return std::nullopt;
    return m_hosts[found->second];
}

} // namespace norvane
