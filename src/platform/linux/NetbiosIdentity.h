#pragma once

// The name and group under which a host found by discovery (DNS-SD, an
// address sweep) is listed: those it gives in NetBIOS where it speaks
// NetBIOS, else names made from a host name and domain in the shape NetBIOS
// names have.

#include "nbns/NbnsCodec.h"

#include <optional>
#include <string>
#include <string_view>

namespace norvane {

struct NetbiosIdentity {
    std::string name;
    std::string group;

    bool operator==(const NetbiosIdentity&) const = default;
};

// The unique <00> name and the group <00> name of a node status answer;
// nothing when either is missing or holds a byte outside printable ASCII.
std::optional<NetbiosIdentity> identityFromNodeStatus(const nbns::NodeStatus& status);

// The host's first label upper-cased and cut to 15 characters, and the
// domain upper-cased and cut likewise; nothing when either is empty or has a
// character a host name cannot have.
std::optional<NetbiosIdentity> identityFromHostName(std::string_view host, std::string_view domain);

} // namespace norvane
