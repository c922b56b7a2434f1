#include "DirectorySource.h"

#include "DirectoryLimits.h"
#include "DirectoryReader.h"

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

DirectorySource::~DirectorySource() {
    cancel();
    results();
}

void DirectorySource::configure(const SourceOptions& options) {
    const std::lock_guard lock(m_roundMutex);
    m_domain = options.domain.trimmed();
}

void DirectorySource::start(const std::vector<Adapter>& adapters) {
    // Controllers are found by DNS and reached through the routing table,
    // whatever adapters the round has.
    (void)adapters;
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
    m_thread = std::thread([this, domain = m_domain, cancelRound] {
        auto found = round(domain, *cancelRound);
        // results() joins this thread before it reads, so no lock is needed
        // to hand the list over.
        m_results = std::move(found);
    });
}

std::vector<DiscoveredHost> DirectorySource::round(const QString& domain, RoundCancel& cancel) {
    const directory::DirectoryRead read = directory::DirectoryReader(cancel.fd()).read(domain);
    std::vector<DiscoveredHost> found;
    found.reserve(read.computers.size());
    for (const ComputerRecord& computer : read.computers)
        found.push_back(discoveredFromDirectory(computer, read.group));
    return found;
}

std::vector<DiscoveredHost> DirectorySource::results() {
    const std::lock_guard lock(m_roundMutex);
    if (m_thread.joinable())
        m_thread.join();
    return m_results;
}

void DirectorySource::cancel() {
    const std::lock_guard lock(m_cancelMutex);
    if (m_cancel)
        m_cancel->cancel();
}

std::size_t DirectorySource::maxHostsPerRound() const {
    return directory::MaxComputers;
}

} // namespace norvane
