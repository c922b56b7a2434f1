#include "UdpSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace norvane {

UdpSocket::UdpSocket(UdpSocketOptions options) {
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    const int on = 1;
    const int ttl = options.multicastTtl.value_or(0);
    if ((options.broadcast && setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) ||
        (options.multicastTtl &&
         setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) ||
        bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close(m_fd);
        m_fd = -1;
    }
}

UdpSocket::~UdpSocket() {
    if (m_fd >= 0)
        close(m_fd);
}

bool UdpSocket::connectTo(std::uint32_t address, std::uint16_t port) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    return connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

bool UdpSocket::setMulticastInterface(std::uint32_t address) const {
    in_addr out{};
    out.s_addr = address;
    return setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) == 0;
}

void UdpSocket::sendTo(std::span<const std::uint8_t> packet, std::uint32_t address,
                       std::uint16_t port) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    (void)sendto(m_fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
}

bool UdpSocket::send(std::span<const std::uint8_t> packet) const {
    return ::send(m_fd, packet.data(), packet.size(), 0) >= 0 || errno != ECONNREFUSED;
}

UdpSocket::Received UdpSocket::receiveUntil(Clock::time_point deadline, int giveUpFd,
                                            const Accept& accept) const {
    std::vector<std::uint8_t> buffer(MaxUdpDatagram);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Received::Ended;
        // poll() passes over a negative descriptor.
        std::array<pollfd, 2> waiting{{{m_fd, POLLIN, 0}, {giveUpFd, POLLIN, 0}}};
        const int ready = poll(waiting.data(), waiting.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || waiting[1].revents != 0)
            return Received::Ended;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0 && errno == ECONNREFUSED)
            return Received::Refused;
        if (got < 0 || fromSize < sizeof from || from.sin_family != AF_INET)
            continue;
        if (accept(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)),
                   from))
            return Received::Taken;
    }
}

void UdpSocket::receiveAvailable(std::size_t limit, const Accept& accept) const {
    std::vector<std::uint8_t> buffer(MaxUdpDatagram);
    for (std::size_t count = 0; count < limit; ++count) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0 && errno == EINTR)
            continue;
        // An ICMP error queued on the socket ends the call like an empty queue.
        if (got < 0)
            return;
        if (fromSize < sizeof from || from.sin_family != AF_INET)
            continue;
        accept(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)), from);
    }
}

} // namespace norvane
