#include "DiscoveryMerge.h"

#include <algorithm>
#include <cctype>

namespace norvane {

namespace {

bool listed(const std::vector<SmbEntry>& entries, unsigned type, std::string_view name) {
    return std::any_of(entries.begin(), entries.end(), [&](const SmbEntry& entry) {
        return entry.type == type && sameNameIgnoringCase(entry.name, name);
    });
}

} // namespace

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

std::vector<DiscoveredHost> uniteHosts(std::span<const std::vector<DiscoveredHost>> sources) {
    std::vector<DiscoveredHost> united;
    // Named hosts first, so that no answer can take a name a directory gave.
    for (const HostReach reach : {HostReach::Named, HostReach::AnsweredFrom}) {
        for (const std::vector<DiscoveredHost>& hosts : sources) {
            for (const DiscoveredHost& host : hosts) {
                if (host.reach != reach)
                    continue;
                const auto known =
                    std::find_if(united.begin(), united.end(), [&](const auto& other) {
                        return sameNameIgnoringCase(other.name, host.name);
                    });
                if (known != united.end()) {
                    if (known->reach == reach && known->address == host.address)
                        known->foundBy |= host.foundBy;
                    continue;
                }
                // One answering address stands for one computer.
                if (reach == HostReach::Named ||
                    std::none_of(united.begin(), united.end(), [&](const auto& other) {
                        return other.reach == HostReach::AnsweredFrom &&
                               other.address == host.address;
                    }))
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
    for (const DiscoveredHost& host : found) {
        if (sameNameIgnoringCase(host.group, group) && !listed(browsed, SmbServer, host.name))
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
