#pragma once

// A computer as a discovery source (WS-Discovery, DNS-SD, ...) reported it:
// an unauthenticated answer from the network, to be checked before it
// joins the list.

#include "records/ComputerRecord.h"

#include <cstdint>
#include <string>

namespace norvane {

struct DiscoveredHost {
    // The computer's name as NetBIOS would show it.
    std::string name;
    // Its workgroup or domain, as the host gives it.
    std::string group;
    // The address it answered from, in network byte order.
    std::uint32_t address = 0;
    // The sources that reported it.
    FoundBySet foundBy;

    bool operator==(const DiscoveredHost&) const = default;
};

} // namespace norvane
