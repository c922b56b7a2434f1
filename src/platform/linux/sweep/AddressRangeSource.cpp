#include "AddressRangeSource.h"

#include "linux/Logging.h"

#include <arpa/inet.h>

#include <algorithm>
#include <limits>

namespace norvane {

namespace {

// A NetBIOS name has at most 15 characters, a DNS name 253.
constexpr qsizetype MaxNetbiosNameLength = 15;
constexpr qsizetype MaxDnsNameLength = 253;

std::string netbiosText(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > MaxNetbiosNameLength)
        return {};
    return trimmed.toStdString();
}

} // namespace

std::optional<DiscoveredHost> discoveredFromSweep(const SweptHost& swept) {
    DiscoveredHost host{
        .name = {}, .group = {}, .address = swept.address, .foundBy = FoundBy::AddressRange};
    if (swept.netbios) {
        host.name = swept.netbios->name;
        host.group = swept.netbios->group;
    } else if (swept.ntlm) {
        host.name = netbiosText(swept.ntlm->netbiosComputer);
        host.group = netbiosText(swept.ntlm->netbiosDomain);
    }
    if (host.name.empty() || host.group.empty())
        return std::nullopt;
    if (swept.ntlm) {
        if (swept.ntlm->dnsComputer.size() <= MaxDnsNameLength)
            host.dnsName = swept.ntlm->dnsComputer.toStdString();
        if (const auto& version = swept.ntlm->version; version && version->major != 0)
            host.osVersion = QStringLiteral("%1.%2.%3")
                                 .arg(version->major)
                                 .arg(version->minor)
                                 .arg(version->build)
                                 .toStdString();
    }
    return host;
}

AddressRangeSource::AddressRangeSource(SweepOptions sweep) : m_sweep(sweep) {}

AddressRangeSource::~AddressRangeSource() {
    cancel();
    results();
}

void AddressRangeSource::configure(const SourceOptions& options) {
    const std::lock_guard lock(m_roundMutex);
    m_ranges = options.ranges;
    m_sweep.probesPerSecond = static_cast<int>(
        std::clamp<unsigned>(options.probesPerSecond, 1, std::numeric_limits<int>::max()));
    m_maxHosts = static_cast<std::size_t>(AddressSequence(m_ranges).total());
}

std::size_t AddressRangeSource::maxHostsPerRound() const {
    return m_maxHosts;
}

void AddressRangeSource::start(const std::vector<Adapter>& adapters) {
    // The ranges name the addresses; the adapters add nothing to them.
    (void)adapters;
    cancel();
    const std::lock_guard lock(m_roundMutex);
    if (m_thread.joinable())
        m_thread.join();
    m_results.clear();
    if (m_ranges.empty())
        return;
    auto cancelRound = std::make_shared<Abandonment>();
    {
        const std::lock_guard cancelLock(m_cancelMutex);
        m_cancel = cancelRound;
    }
    SweepOptions options = m_sweep;
    options.abandonFd = cancelRound->fd();
    m_thread = std::thread([this, options, ranges = m_ranges, cancelRound] {
        AddressSequence addresses(ranges);
        std::vector<DiscoveredHost> found;
        AddressSweep sweep(options);
        const SweepSummary summary = sweep.run(addresses, [&](const SweptHost& swept) {
            if (auto host = discoveredFromSweep(swept))
                found.push_back(std::move(*host));
            else
                qCDebug(lcSweep) << "an answer from" << hostOrderAddressText(ntohl(swept.address))
                                 << "gave no name";
        });
        qCDebug(lcSweep) << "swept" << summary.addressesStarted << "addresses:" << found.size()
                         << "computers" << (summary.stopped ? "(stopped)" : "");
        // results() joins this thread before it reads, so no lock is needed
        // to hand the list over.
        m_results = std::move(found);
    });
}

std::vector<DiscoveredHost> AddressRangeSource::results() {
    const std::lock_guard lock(m_roundMutex);
    if (m_thread.joinable())
        m_thread.join();
    return m_results;
}

void AddressRangeSource::cancel() {
    const std::lock_guard lock(m_cancelMutex);
    if (m_cancel)
        m_cancel->set(true);
}

} // namespace norvane
