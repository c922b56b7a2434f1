#include "DiscoveryMerge.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

namespace norvane {

namespace {

bool listed(const std::vector<SmbEntry>& entries, unsigned type, std::string_view name) {
    return std::any_of(entries.begin(), entries.end(), [&](const SmbEntry& entry) {
        return entry.type == type && sameNameIgnoringCase(entry.name, name);
    });
}

// A second address claims `held`'s name: neither is trusted for it.
void contest(DiscoveredHost& held, const DiscoveredHost& claim,
             std::vector<ContestedClaim>* contests) {
    if (contests)
        contests->push_back({.name = claim.name,
                             .heldAt = held.address,
                             .claimedAt = claim.address,
                             .heldBy = held.foundBy,
                             .claimedBy = claim.foundBy});
    // What the first answer said of itself is as unproven as its address.
    held = DiscoveredHost{.name = held.name,
                          .group = held.group,
                          .address = 0,
                          .foundBy = held.foundBy,
                          .reach = HostReach::Contested};
}

} // namespace

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

std::string nameKey(std::string_view name) {
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
}

std::vector<DiscoveredHost> uniteHosts(std::span<const std::vector<DiscoveredHost>> sources,
                                       std::vector<ContestedClaim>* contests) {
    std::vector<DiscoveredHost> united;
    // A directory names thousands of computers: names and addresses are
    // looked up in hash tables, not in the list.
    std::unordered_map<std::string, std::size_t> byName;
    std::unordered_set<std::uint32_t> answering;
    // Named hosts first, so that no answer can take a name a directory gave.
    for (const HostReach reach : {HostReach::Named, HostReach::AnsweredFrom}) {
        for (const std::vector<DiscoveredHost>& hosts : sources) {
            for (const DiscoveredHost& host : hosts) {
                if (host.reach != reach)
                    continue;
                const auto [known, added] = byName.try_emplace(nameKey(host.name), united.size());
                if (!added) {
                    DiscoveredHost& other = united[known->second];
                    if (other.reach == HostReach::Named)
                        continue;
                    if (other.reach == HostReach::AnsweredFrom && other.address != host.address) {
                        contest(other, host, contests);
                    } else if (other.reach == HostReach::Contested && contests) {
                        contests->push_back({.name = host.name,
                                             .heldAt = 0,
                                             .claimedAt = host.address,
                                             .heldBy = other.foundBy,
                                             .claimedBy = host.foundBy});
                    }
                    other.foundBy |= host.foundBy;
                    continue;
                }
                // One answering address stands for one computer.
                if (reach == HostReach::AnsweredFrom && !answering.insert(host.address).second) {
                    byName.erase(known);
                    continue;
                }
                united.push_back(host);
            }
        }
    }
    return united;
}

std::vector<SmbEntry> mergeWorkgroups(std::vector<SmbEntry> browsed,
                                      std::span<const DiscoveredHost> found) {
    for (const DiscoveredHost& host : found) {
        if (!listed(browsed, SmbWorkgroup, host.group))
            browsed.push_back({SmbWorkgroup, host.group, {}});
    }
    return browsed;
}

std::vector<SmbEntry> mergeServers(std::vector<SmbEntry> browsed, std::string_view group,
                                   std::span<const DiscoveredHost> found) {
    std::unordered_set<std::string> names;
    for (const SmbEntry& entry : browsed) {
        if (entry.type == SmbServer)
            names.insert(nameKey(entry.name));
    }
    for (const DiscoveredHost& host : found) {
        if (sameNameIgnoringCase(host.group, group) && names.insert(nameKey(host.name)).second)
            browsed.push_back({SmbServer, host.name, host.comment});
    }
    return browsed;
}

const DiscoveredHost* findHost(std::span<const DiscoveredHost> found, std::string_view name) {
    const auto it = std::find_if(found.begin(), found.end(), [&](const DiscoveredHost& host) {
        return sameNameIgnoringCase(host.name, name);
    });
    return it != found.end() ? &*it : nullptr;
}

} // namespace norvane
