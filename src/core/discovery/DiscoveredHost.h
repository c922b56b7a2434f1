#pragma once

// A computer as a discovery source (WS-Discovery, DNS-SD, a directory, an
// address sweep) reported it, to be checked before it joins the list.

#include "records/ComputerRecord.h"

#include <cstdint>
#include <optional>
#include <string>

namespace norvane {

// How far a source's word on a host goes, which decides how it is reached.
enum class HostReach : std::uint8_t {
    // An unauthenticated answer (multicast, or a probe of an address): the
    // name is only a claim. Reached at `address`, the address that answered,
    // and only while no name service puts the name elsewhere.
    AnsweredFrom,
    // An authenticated source (a directory read over a signed, sealed bind)
    // named the computer: reached by its DNS name like a browsed computer.
    // `address` is 0 until a look-up resolves the name.
    Named,
    // Unauthenticated answers put the name at two or more addresses (an
    // impostor, or a host with two adapters): neither address is trusted
    // for it. Reached by the name service alone, like a browsed name;
    // `address` is 0. Only the merge of sources makes a host contested.
    Contested,
};

struct DiscoveredHost {
    // The computer's name as NetBIOS would show it.
    std::string name;
    // Its workgroup or domain, as the host gives it.
    std::string group;
    // The address it answered from, in network byte order.
    std::uint32_t address = 0;
    // The sources that reported it.
    FoundBySet foundBy;
    HostReach reach = HostReach::AnsweredFrom;
    // What the source knows beyond name and address, as given (checked and
    // made printable before it is shown).
    std::string comment{};
    std::string dnsName{};
    std::string operatingSystem{};
    std::string osVersion{};
    std::optional<DirectoryFacts> directory{};
    // For a host a directory named whose DNS name lies in a zone the
    // directory itself holds (read over the same authenticated bind, the
    // records the domain's DNS serves): the zone's address for it, in
    // network byte order, 0 when the zone has none. Unset: DNS decides.
    std::optional<std::uint32_t> zoneAddress{};

    bool operator==(const DiscoveredHost&) const = default;
};

} // namespace norvane
