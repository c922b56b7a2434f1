#include "DirectorySource.h"

#include "DirectoryLimits.h"

namespace norvane {

DiscoveredHost discoveredFromDirectory(const ComputerRecord& computer, const QString& group) {
    return DiscoveredHost{
        .name = computer.name.toStdString(),
        .group = group.toStdString(),
        .address = 0,
        .foundBy = FoundBy::Directory,
        .reach = HostReach::Named,
        .comment = computer.comment.toStdString(),
        .dnsName = computer.dnsName.toStdString(),
        .operatingSystem = computer.operatingSystem.toStdString(),
        .osVersion = computer.osVersion.toStdString(),
        .directory = computer.directory,
    };
}

std::optional<std::string> directoryShortfall(const directory::DirectoryRead& read,
                                              const QString& domainAsked) {
    using Outcome = directory::DirectoryRead::Outcome;
    const bool failed = read.outcome == Outcome::NoController || read.outcome == Outcome::Failed ||
                        (read.outcome == Outcome::NoDomain && !domainAsked.isEmpty());
    if (!failed)
        return std::nullopt;
    const QString domain = read.domain.isEmpty() ? domainAsked : read.domain;
    return QStringLiteral("directory %1 not read: %2")
        .arg(domain, read.reason)
        .left(directory::MaxShownReasonChars)
        .toStdString();
}

DirectorySource::DirectorySource()
    : m_runner([this](const std::vector<Adapter>&, RoundCancel& cancel) {
          // Controllers are found by DNS and reached through the routing
          // table, whatever adapters the round has.
          QString domain;
          {
              const std::lock_guard lock(m_domainMutex);
              domain = m_domain;
          }
          return round(domain, cancel);
      }) {}

void DirectorySource::configure(const SourceOptions& options) {
    const std::lock_guard lock(m_domainMutex);
    m_domain = options.domain.trimmed();
}

void DirectorySource::start(const std::vector<Adapter>& adapters) {
    m_runner.start(adapters);
}

std::vector<DiscoveredHost> DirectorySource::round(const QString& domain, RoundCancel& cancel) {
    const directory::DirectoryRead read = directory::DirectoryReader(cancel.fd()).read(domain);
    {
        const std::lock_guard lock(m_domainMutex);
        m_shortfall = directoryShortfall(read, domain);
    }
    std::vector<DiscoveredHost> found;
    found.reserve(read.computers.size());
    for (const ComputerRecord& computer : read.computers) {
        DiscoveredHost host = discoveredFromDirectory(computer, read.group);
        if (read.zone && read.zone->holds(computer.dnsName))
            host.zoneAddress = read.zone->addressOf(computer.dnsName).value_or(0);
        found.push_back(std::move(host));
    }
    return found;
}

std::vector<DiscoveredHost> DirectorySource::results() {
    return m_runner.results();
}

void DirectorySource::cancel() {
    m_runner.cancel();
}

std::optional<std::string> DirectorySource::shortfall() {
    const std::lock_guard lock(m_domainMutex);
    return m_shortfall;
}

std::size_t DirectorySource::maxHostsPerRound() const {
    return directory::MaxComputers;
}

} // namespace norvane
