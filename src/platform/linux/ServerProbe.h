#pragma once

// Whether a server takes SMB connections: TCP connects to its SMB ports,
// the first that succeeds answers. A host that has gone (no neighbour
// answer) or drops everything costs at most the connect time-out, and the
// wait ends at once when look-ups are abandoned, which the SMB library's
// own connect cannot do.

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

namespace norvane {

constexpr std::array<std::uint16_t, 2> SmbPorts{445, 139};

// How long a port may leave its connect unanswered before the next one is
// tried beside it. A server forks a session process for every connection it
// accepts, even one closed at once, so the next port is only tried when
// the first is refused or slow; a LAN host answers a connect within a
// millisecond.
constexpr std::chrono::milliseconds NextSmbPortDelay{25};

struct ProbeAnswer {
    // 0 when a port accepted; otherwise ECONNREFUSED (nothing listens),
    // ETIMEDOUT, EHOSTUNREACH or another connect error, or ECANCELED when
    // `abandonFd` became readable first.
    int error = 0;
    // The port that accepted; 0 when none did.
    std::uint16_t port = 0;
};

// Tries `ports` in order, each once the one before has been refused or has
// gone unanswered for `nextPortDelay`. The address is in network byte order.
ProbeAnswer probeSmbServer(std::uint32_t address, std::chrono::milliseconds timeout, int abandonFd,
                           std::span<const std::uint16_t> ports = SmbPorts,
                           std::chrono::milliseconds nextPortDelay = NextSmbPortDelay);

// Whether a TCP connection of this network namespace to `address`:`port`
// (network byte order, host order) is established, from the kernel's table
// of them: tells that a server answered a connection already under way,
// without a connection of its own.
bool connectionEstablished(std::uint32_t address, std::uint16_t port);

} // namespace norvane
