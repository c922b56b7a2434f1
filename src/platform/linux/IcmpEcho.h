#pragma once

// ICMP echo over Linux sockets: a datagram ICMP socket where the system's
// ping group range allows it, a raw socket otherwise. Handles index a table
// of open sockets.

#include "platform/NetworkPlatform.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

namespace norvane {

enum class IcmpSocketKind { Datagram, Raw };

class IcmpEcho {
public:
    IcmpEcho() = default;
    IcmpEcho(const IcmpEcho&) = delete;
    IcmpEcho& operator=(const IcmpEcho&) = delete;
    ~IcmpEcho();

    // A new handle, or InvalidIcmpHandle when no ICMP socket can be had.
    IcmpHandle open();
    bool close(IcmpHandle handle);
    std::optional<IcmpSocketKind> kind(IcmpHandle handle) const;

    // One request and its answer; 1 with the reply record written, or 0
    // with `status` set to the echo status.
    DWORD send(IcmpHandle handle, std::uint32_t destination, const void* data,
               std::uint16_t dataSize, const IpOptionInformation* options, void* replyBuffer,
               DWORD replySize, DWORD timeoutMs, DWORD& status);

private:
    struct Socket {
        int fd = -1;
        IcmpSocketKind kind = IcmpSocketKind::Raw;
        std::uint16_t identifier = 0; // used by raw sockets; the kernel sets it otherwise
        std::uint16_t sequence = 0;
    };

    mutable std::mutex m_mutex;
    std::map<IcmpHandle, Socket> m_sockets;
    IcmpHandle m_nextHandle = 1;
};

} // namespace norvane
