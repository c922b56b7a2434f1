#pragma once

// The name query and node status of every host a discovery round found,
// asked all at once as soon as the round ends, so that the walk, which
// looks up one host after the other, does not wait out each unanswered
// query of a host with NetBIOS switched off on its own. A host that refuses
// the name service port has no NetBIOS name to look for: its name query is
// not sent.

#include "linux/NbnsClient.h"
#include "linux/discovery/DiscoverySource.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace norvane {

// Hosts of one round looked up at once; the rest are looked up as they come.
constexpr std::size_t MaxPrefetchedHosts = 32;
// How long a host's name query waits for its node status to be refused: a
// host on the LAN that runs no name service says so within a round trip.
// A silent host's name query starts this much later.
constexpr std::chrono::milliseconds NameServiceRefusalWindow{200};

class IdentityPrefetch {
public:
    using Hosts = std::function<std::vector<DiscoveredHost>()>;
    using NameQuery = std::function<std::optional<std::uint32_t>(const std::string&)>;
    using NodeStatusQuery = std::function<NodeStatusReply(std::uint32_t)>;

    IdentityPrefetch() = default;
    IdentityPrefetch(const IdentityPrefetch&) = delete;
    IdentityPrefetch& operator=(const IdentityPrefetch&) = delete;
    ~IdentityPrefetch();

    // Waits for `hosts` in a thread of its own, then asks both queries for
    // each host. Returns at once.
    void start(Hosts hosts, NameQuery nameQuery, NodeStatusQuery nodeStatusQuery);

    // The name query's answer for a host of the round; nothing for a name
    // the round did not find.
    std::optional<std::optional<std::uint32_t>> nameQuery(const std::string& name);
    // The node status of a host's discovered address; nothing for another
    // address.
    std::optional<std::optional<nbns::NodeStatus>> nodeStatus(std::uint32_t address);

private:
    struct Entry {
        std::string name;
        std::uint32_t address = 0;
        std::shared_future<std::optional<std::uint32_t>> nameAnswer;
        std::shared_future<NodeStatusReply> statusAnswer;
    };

    const Entry* waitForEntry(const std::function<bool(const Entry&)>& wanted,
                              std::unique_lock<std::mutex>& lock);

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_known;
    bool m_hostsKnown = true;
    std::vector<Entry> m_entries;
};

} // namespace norvane
