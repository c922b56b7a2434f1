#pragma once

// How the hosts that discovery sources found join the browse list: a group
// once, a name once, both compared without case, the browse list's
// spelling first.

#include "discovery/DiscoveredHost.h"
#include "discovery/SmbEntry.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

bool sameNameIgnoringCase(std::string_view a, std::string_view b);
// The name in upper case, as names are compared.
std::string nameKey(std::string_view name);

// The hosts of several sources as one list: a name once, and an answering
// address once. For a name, a host an authenticated source named wins over
// any answer that claimed it. Answers that claim one name from one address
// add their sources to one host; answers that claim it from two addresses
// make it HostReach::Contested, trusted at neither address, whatever their
// order; each such claim is added to `contests` for the caller to log.
struct ContestedClaim {
    std::string name;
    std::uint32_t heldAt = 0;    // the earlier claim's address; 0: already contested
    std::uint32_t claimedAt = 0; // network byte order
    FoundBySet heldBy;
    FoundBySet claimedBy;
};
std::vector<DiscoveredHost> uniteHosts(std::span<const std::vector<DiscoveredHost>> sources,
                                       std::vector<ContestedClaim>* contests = nullptr);

// The browse list's workgroups followed by every group only discovery knows.
std::vector<SmbEntry> mergeWorkgroups(std::vector<SmbEntry> browsed,
                                      std::span<const DiscoveredHost> found);

// The browse list's servers of `group` followed by every discovered host of
// that group the browse list does not name.
std::vector<SmbEntry> mergeServers(std::vector<SmbEntry> browsed, std::string_view group,
                                   std::span<const DiscoveredHost> found);

// The discovered host of that name, or nothing.
const DiscoveredHost* findHost(std::span<const DiscoveredHost> found, std::string_view name);

} // namespace norvane
