#pragma once

// What a discovery round may add to the list. Any device on the link can
// answer a multicast query with any name and any address, so a source's
// answers are checked before a single packet goes to them: a name that is
// really an address, the local host, or hides characters is refused; an
// address no host can have is refused; one answering address stands for
// one computer; and a round adds a bounded number of computers.

#include "discovery/DiscoveredHost.h"
#include "discovery/Subnet.h"

#include <QString>

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace norvane {

// At most this many computers from one source in one round.
constexpr std::size_t MaxHostsPerSourceRound = 1024;

// Why a discovered name cannot name a computer, or nothing when it can:
// it is empty or too long, not UTF-8, an address in any form that the
// system's resolver takes (dotted, a single number, hexadecimal, octal,
// IPv6), the local host, or it holds control, format (zero-width and
// direction marks) or other invisible characters that let it pass for
// another name.
std::optional<QString> discoveredNameRefusal(std::string_view name);

struct RefusedHost {
    DiscoveredHost host;
    QString reason;
};

struct Admission {
    std::vector<DiscoveredHost> admitted;
    std::vector<RefusedHost> refused;
};

// The hosts of one source's round that may join the list, in their order:
// each with an acceptable name and, where it answered from an address, an
// address that can be a host's on `subnets`, the first name of each
// address only; at most `maxHosts` of them. A host an authenticated source
// named (HostReach::Named) has no answering address to check.
Admission admitHosts(std::span<const DiscoveredHost> found, std::span<const Subnet> subnets,
                     std::size_t maxHosts = MaxHostsPerSourceRound);

} // namespace norvane
