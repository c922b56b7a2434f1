#pragma once

// The name query and node status of every host a discovery round found,
// asked side by side as soon as the round ends, so that the walk, which
// looks up one host after the other, does not wait out each unanswered
// query of a host with NetBIOS switched off on its own.
//
// The name query also tells whether a discovered name belongs to another
// computer: any device may claim any name, and the name service answer
// decides. A host that refuses the name service port has no NetBIOS name
// of its own, so its name is asked once, briefly: a computer that owns the
// name answers a broadcast within a round trip. A host whose node status a
// source already asked (an address sweep) is not asked again: that answer
// is kept, and its name is asked briefly. A contested name is only asked
// in full, having no address of its own.

#include "linux/NbnsClient.h"
#include "linux/discovery/DiscoverySource.h"
#include "scan/LookupPool.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace norvane {

// Hosts looked up at once; the others wait for a free thread.
constexpr std::size_t PrefetchThreadLimit = 64;
// How long a host's name query waits for its node status to be refused: a
// host on the LAN that runs no name service says so within a round trip.
// A silent host's name query starts this much later.
constexpr std::chrono::milliseconds NameServiceRefusalWindow{200};

class IdentityPrefetch {
public:
    using Hosts = std::function<std::vector<DiscoveredHost>()>;
    // The name's address by the name service; `brief` asks once, briefly.
    using NameQuery = std::function<std::optional<std::uint32_t>(const std::string&, bool brief)>;
    using NodeStatusQuery = std::function<NodeStatusReply(std::uint32_t)>;
    // The node status a source already asked an address for, if any.
    using AskedNodeStatus = std::function<std::optional<NodeStatusReply>(std::uint32_t)>;

    IdentityPrefetch() = default;
    IdentityPrefetch(const IdentityPrefetch&) = delete;
    IdentityPrefetch& operator=(const IdentityPrefetch&) = delete;
    ~IdentityPrefetch();

    // Waits for `hosts` in a thread of its own, then asks both queries for
    // each host (see above). Returns at once.
    void start(Hosts hosts, NameQuery nameQuery, NodeStatusQuery nodeStatusQuery,
               AskedNodeStatus asked = {});

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
    void finish();

    std::thread m_thread;
    std::unique_ptr<LookupPool> m_pool;
    std::mutex m_mutex;
    std::condition_variable m_known;
    bool m_hostsKnown = true;
    std::vector<Entry> m_entries;
};

} // namespace norvane
