#pragma once

// NetBIOS name service queries over UDP: a node status query to one
// address, and a name query broadcast on the adapters' networks. Each waits
// a bounded time per attempt and gives up after a fixed number of attempts,
// or at once when its abandon descriptor becomes readable. Queries may run
// on many threads at once; their sends are paced process-wide, so that a
// walk starting many look-ups together does not burst onto the network.

#include "NameServiceRefusals.h"
#include "nbns/NbnsCodec.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace norvane {

// The shortest time between two name service requests of this process.
constexpr std::chrono::microseconds NbnsSendInterval{1000};

struct NbnsExchange {
    std::uint16_t port = 137;
    std::chrono::milliseconds timeout{750}; // per attempt
    int attempts = 3;
    int abandonFd = -1; // readable: give up now
    // Where node status refusals are kept and looked up; none: every query
    // asks the network.
    NameServiceRefusals* refusals = nullptr;
};

// Where a name query goes, and the network whose hosts may answer it.
struct NameQueryTarget {
    std::uint32_t destination = 0; // network byte order
    std::uint32_t network = 0;
    std::uint32_t netmask = 0;
};

// What a node status query got: the status, or nothing; `refused` when the
// host answered that no one listens on the name service port, as a host
// up without NetBIOS does.
struct NodeStatusReply {
    std::optional<nbns::NodeStatus> status;
    bool refused = false;
};

// Asks `address` for its node status. Only an answer from that address and
// the asked port, with the request's transaction id, is accepted. A host
// that refuses the port is not asked again; with the exchange's refusals, a
// host that refused lately is not asked at all, and counts as refusing.
NodeStatusReply queryNodeStatus(std::uint32_t address, const NbnsExchange& exchange);

// Sends a name query to every target (broadcast allowed) and returns the
// first address that can be a host's (not unspecified, loopback, multicast,
// a broadcast address or a target network's broadcast) of the first answer
// that comes from a host of a target's network, carries the request's id,
// names the asked name and holds such an address.
std::optional<std::uint32_t> queryName(const nbns::NetbiosName& name,
                                       std::span<const NameQueryTarget> targets,
                                       const NbnsExchange& exchange);

} // namespace norvane
