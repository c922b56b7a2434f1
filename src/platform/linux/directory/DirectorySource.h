#pragma once

// The domain's directory as a discovery source: each round reads every
// computer account of the domain (the one named in the options, else the
// ticket's realm) on a thread of its own, beside the other sources. The
// computers are named by an authenticated source, so they are reached by
// their DNS names rather than at an answering address. Without a live
// Kerberos ticket a round finds nothing and logs why on norvane.directory.

#include "DirectoryReader.h"
#include "linux/discovery/DiscoverySource.h"
#include "linux/discovery/SourceRunner.h"
#include "records/ComputerRecord.h"

#include <QString>

#include <mutex>
#include <optional>
#include <string>

namespace norvane {

class DirectorySource : public DiscoverySource {
public:
    DirectorySource();

    const char* name() const override { return "directory"; }
    void configure(const SourceOptions& options) override;
    void start(const std::vector<Adapter>& adapters) override;
    std::vector<DiscoveredHost> results() override;
    void cancel() override;
    std::optional<std::string> shortfall() override;
    std::size_t maxHostsPerRound() const override;

private:
    // One read of the domain's directory (empty: the ticket's realm).
    std::vector<DiscoveredHost> round(const QString& domain, RoundCancel& cancel);

    std::mutex m_domainMutex; // the domain and the shortfall
    QString m_domain;
    std::optional<std::string> m_shortfall;
    SourceRunner m_runner; // last: its round reads the domain
};

// A directory's computer as the discovery round takes it.
DiscoveredHost discoveredFromDirectory(const ComputerRecord& computer, const QString& group);

// What a read that held a ticket and still failed left out, for the user;
// nothing for a read, a cancelled one, or one without a ticket (the
// directory then stays silent).
std::optional<std::string> directoryShortfall(const directory::DirectoryRead& read,
                                              const QString& domainAsked);

} // namespace norvane
