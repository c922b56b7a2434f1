#pragma once

// Node status queries to many hosts at once from one socket, so that a list
// of hosts costs the time of one exchange rather than one per host.

#include "linux/NbnsClient.h"
#include "linux/discovery/RoundCancel.h"

#include <cstdint>
#include <map>
#include <span>

namespace norvane {

// The node status answers of those of `addresses` that answered, each
// accepted only from the address it was sent to, from the name service
// port, with the request's id; unanswered hosts are asked again up to the
// exchange's number of attempts. A host the exchange's refusals hold is
// not asked.
std::map<std::uint32_t, nbns::NodeStatus> sweepNodeStatus(std::span<const std::uint32_t> addresses,
                                                          const NbnsExchange& exchange,
                                                          const RoundCancel& cancel);

} // namespace norvane
