#pragma once

// Whether a server takes SMB connections: TCP connects to its SMB ports at
// once, the first that succeeds answers. A host that has gone (no neighbour
// answer) or drops everything costs at most the connect time-out, and the
// wait ends at once when look-ups are abandoned, which the SMB library's
// own connect cannot do.

#include <array>
#include <chrono>
#include <cstdint>

namespace norvane {

constexpr std::array<std::uint16_t, 2> SmbPorts{445, 139};

// 0 when a port accepted; otherwise ECONNREFUSED (nothing listens),
// ETIMEDOUT, EHOSTUNREACH or another connect error, or ECANCELED when
// `abandonFd` became readable first. The address is in network byte order.
int probeSmbServer(std::uint32_t address, std::chrono::milliseconds timeout, int abandonFd);

} // namespace norvane
