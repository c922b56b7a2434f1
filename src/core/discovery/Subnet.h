#pragma once

// Which IPv4 addresses can be a host's: what every answer from the network
// that names an address is checked against before anything is sent there.

#include <cstdint>
#include <span>

namespace norvane {

// A network the machine is on; addresses in network byte order.
struct Subnet {
    std::uint32_t network = 0;
    std::uint32_t netmask = 0;
};

// Whether `address` (network byte order) can be another host's: not
// unspecified ("this network", 0/8), loopback, multicast, reserved or the
// limited broadcast, nor the network or broadcast address of one of
// `subnets` (a network of one or two addresses has neither).
bool canBeHostAddress(std::uint32_t address, std::span<const Subnet> subnets);

} // namespace norvane
