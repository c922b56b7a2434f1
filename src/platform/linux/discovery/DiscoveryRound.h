#pragma once

// The discovery sources of the platform and their latest round: started
// when a scan opens the provider level, its hosts kept for the workgroup
// and server levels that follow, until the next round starts.

#include "discovery/Subnet.h"
#include "linux/discovery/DiscoverySource.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace norvane {

class DiscoveryRound {
public:
    explicit DiscoveryRound(DiscoverySources sources);
    DiscoveryRound(const DiscoveryRound&) = delete;
    DiscoveryRound& operator=(const DiscoveryRound&) = delete;
    ~DiscoveryRound();

    // Starts a round of every source with the user's options; returns at
    // once.
    void start(const std::vector<Adapter>& adapters, const SourceOptions& options = {});
    // Waits for the round to end and returns what all sources found that
    // passed their checks (see admitHosts), a name once. Empty before the
    // first round.
    std::vector<DiscoveredHost> hosts();
    // Waits for the round to end like hosts() and returns why sources left
    // out what the user asked for (DiscoverySource::shortfall), one line
    // each.
    std::vector<std::string> shortfalls();
    // What the latest round found if it has ended; never waits.
    std::vector<DiscoveredHost> knownHosts();
    // The host of that name (compared without case) the latest round found
    // if it has ended; never waits.
    std::optional<DiscoveredHost> knownHost(std::string_view name);
    // The node status a source of the round that ended last already asked
    // `address` for (see DiscoverySource::askedNodeStatus); never waits.
    std::optional<NodeStatusReply> askedNodeStatus(std::uint32_t address);
    // Ends a running round early.
    void cancel();

private:
    // Collects the round's results once it has ended; m_roundMutex held.
    void collect();

    DiscoverySources m_sources;
    std::mutex m_roundMutex; // held while a round starts or is collected
    bool m_collected = true;
    std::vector<Subnet> m_subnets; // of the adapters of the round
    std::mutex m_hostsMutex;
    std::vector<DiscoveredHost> m_hosts;
    std::vector<std::string> m_shortfalls;
    // Upper-case name to position in m_hosts: a directory round holds
    // thousands of hosts, each looked up several times by the walk.
    std::unordered_map<std::string, std::size_t> m_byName;
};

} // namespace norvane
