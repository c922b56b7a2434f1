#pragma once

// The machine's LAN adapters as NetBIOS sees them, and the link-layer
// addresses the kernel knows for its neighbours.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

using MacAddress = std::array<std::uint8_t, 6>;

// An IPv4 interface; addresses in network byte order.
struct Adapter {
    std::string name;
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    bool canBroadcast = false;
    std::uint32_t broadcast = 0; // when it can broadcast

    bool onLink(std::uint32_t host) const { return (host & netmask) == (address & netmask); }
};

// IPv4 interfaces that are up and not loopback, in the kernel's order, one
// entry per interface: also a point-to-point link (a VPN tunnel) and an
// interface still waiting for its carrier. Their positions are the adapter
// numbers.
std::vector<Adapter> listAdapters();

// The hardware address of `address` on `device` in the text of
// /proc/net/arp; only complete entries count.
std::optional<MacAddress> macFromArpTable(std::string_view table, std::uint32_t address,
                                          std::string_view device);

// The hardware address of a local interface.
std::optional<MacAddress> interfaceMac(const std::string& device);

} // namespace norvane
