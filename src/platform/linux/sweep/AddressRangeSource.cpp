#include "AddressRangeSource.h"

#include "linux/Logging.h"

#include <QScopeGuard>

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

AddressRangeSource::AddressRangeSource(SweepOptions sweep)
    : m_sweep(sweep),
      m_runner([this](const std::vector<Adapter>&, RoundCancel& cancel) { return round(cancel); }) {
}

void AddressRangeSource::configure(const SourceOptions& options) {
    const std::lock_guard lock(m_optionsMutex);
    m_ranges = options.ranges;
    m_sweep.probesPerSecond = static_cast<int>(
        std::clamp<unsigned>(options.probesPerSecond, 1, std::numeric_limits<int>::max()));
    m_maxHosts = static_cast<std::size_t>(AddressSequence(m_ranges).total());
}

std::size_t AddressRangeSource::maxHostsPerRound() const {
    return m_maxHosts;
}

// The ranges name the addresses; the adapters add nothing to them.
void AddressRangeSource::start(const std::vector<Adapter>& adapters) {
    m_runner.start(adapters);
}

std::vector<DiscoveredHost> AddressRangeSource::results() {
    return m_runner.results();
}

void AddressRangeSource::cancel() {
    m_runner.cancel();
}

std::optional<NodeStatusReply> AddressRangeSource::askedNodeStatus(std::uint32_t address) {
    const std::lock_guard lock(m_answersMutex);
    const auto found = m_nodeStatus.find(address);
    if (found == m_nodeStatus.end())
        return std::nullopt;
    return NodeStatusReply{.status = found->second, .refused = false};
}

std::vector<DiscoveredHost> AddressRangeSource::round(RoundCancel& cancel) {
    SweepOptions options;
    std::vector<AddressRange> ranges;
    {
        const std::lock_guard lock(m_optionsMutex);
        options = m_sweep;
        ranges = m_ranges;
    }
    std::vector<DiscoveredHost> found;
    std::unordered_map<std::uint32_t, std::optional<nbns::NodeStatus>> answers;
    const auto keepAnswers = qScopeGuard([&] {
        const std::lock_guard lock(m_answersMutex);
        m_nodeStatus = std::move(answers);
    });
    if (ranges.empty())
        return found;
    AddressSequence addresses(ranges);
    AddressSweep sweep(options);
    // A cancel before the run, or during it, ends the run at once.
    cancel.setWake([&sweep] { sweep.stop(); });
    const SweepSummary summary = sweep.run(addresses, [&](const SweptHost& swept) {
        if (auto host = discoveredFromSweep(swept)) {
            answers.emplace(swept.address, swept.status);
            found.push_back(std::move(*host));
        } else
            qCDebug(lcSweep) << "an answer from" << hostOrderAddressText(ntohl(swept.address))
                             << "gave no name";
    });
    cancel.setWake({});
    qCDebug(lcSweep) << "swept" << summary.addressesStarted << "addresses:" << found.size()
                     << "computers" << (summary.stopped ? "(stopped)" : "");
    return found;
}

} // namespace norvane
