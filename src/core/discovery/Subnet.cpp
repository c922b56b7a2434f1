#include "Subnet.h"

#include <QtEndian>

#include <algorithm>

namespace norvane {

bool canBeHostAddress(std::uint32_t address, std::span<const Subnet> subnets) {
    constexpr std::uint32_t ThisNetwork = 0;
    constexpr std::uint32_t Loopback = 127;
    constexpr std::uint32_t FirstMulticast = 224;         // multicast, reserved, broadcast above
    constexpr std::uint32_t SmallestNetworkWithHosts = 3; // host bits of a /30
    const std::uint32_t host = qFromBigEndian(address);
    const std::uint32_t firstByte = host >> 24;
    if (firstByte == ThisNetwork || firstByte == Loopback || firstByte >= FirstMulticast)
        return false;
    return std::none_of(subnets.begin(), subnets.end(), [&](const Subnet& subnet) {
        const std::uint32_t hostBits = ~qFromBigEndian(subnet.netmask);
        const std::uint32_t network = qFromBigEndian(subnet.network) & ~hostBits;
        if (hostBits < SmallestNetworkWithHosts || (host & ~hostBits) != network)
            return false;
        return (host & hostBits) == 0 || (host & hostBits) == hostBits;
    });
}

} // namespace norvane
