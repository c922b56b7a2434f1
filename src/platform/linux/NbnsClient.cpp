#include "NbnsClient.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <mutex>
#include <random>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t MaxDatagram = 1500;

std::uint16_t newTransactionId() {
    thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<std::uint16_t>(generator() & 0xFFFF);
}

// Waits, unless abandoned, for this thread's turn to send: turns are handed
// out NbnsSendInterval apart. False when abandoned.
bool waitForSendTurn(int abandonFd) {
    static std::mutex mutex;
    static Clock::time_point nextTurn;
    Clock::time_point turn;
    {
        const std::lock_guard lock(mutex);
        turn = std::max(Clock::now(), nextTurn);
        nextTurn = turn + NbnsSendInterval;
    }
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(turn - Clock::now());
        if (left.count() <= 0)
            return true;
        pollfd abandon{abandonFd, POLLIN, 0};
        const int ready = poll(&abandon, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return false;
    }
}

// A UDP socket on an ephemeral port, closed with its owner.
class UdpSocket {
public:
    explicit UdpSocket(bool broadcast) {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        const int on = 1;
        if ((broadcast && setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) ||
            bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    ~UdpSocket() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool valid() const { return m_fd >= 0; }

    void sendTo(std::span<const std::uint8_t> packet, std::uint32_t address,
                std::uint16_t port) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = address;
        to.sin_port = htons(port);
        // A lost request is what the retry is for; nothing to report.
        (void)sendto(m_fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
    }

    // Waits until `deadline` for a datagram that `accept` takes. Gives up
    // when `abandonFd` becomes readable.
    bool receiveUntil(Clock::time_point deadline, int abandonFd,
                      const std::function<bool(std::span<const std::uint8_t>, const sockaddr_in&)>&
                          accept) const {
        std::array<std::uint8_t, MaxDatagram> buffer{};
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            std::array<pollfd, 2> waiting{{{m_fd, POLLIN, 0}, {abandonFd, POLLIN, 0}}};
            const int ready = poll(waiting.data(), waiting.size(), static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || waiting[1].revents != 0)
                return false;
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (got < 0 || fromSize < sizeof from || from.sin_family != AF_INET)
                continue;
            if (accept(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)),
                       from))
                return true;
        }
    }

private:
    int m_fd = -1;
};

// Whether `address` (network byte order) can be a host's: not unspecified
// ("this network", 0/8), loopback, multicast, reserved or the limited
// broadcast, nor the broadcast address of a network the query went to.
bool canBeHost(std::uint32_t address, std::span<const NameQueryTarget> targets) {
    constexpr std::uint32_t ThisNetwork = 0;
    constexpr std::uint32_t Loopback = 127;
    constexpr std::uint32_t FirstMulticast = 224; // multicast, reserved, broadcast above
    const std::uint32_t host = ntohl(address);
    const std::uint32_t firstByte = host >> 24;
    if (firstByte == ThisNetwork || firstByte == Loopback || firstByte >= FirstMulticast)
        return false;
    return std::none_of(targets.begin(), targets.end(), [&](const NameQueryTarget& target) {
        // A network of one or two addresses has no broadcast address.
        const std::uint32_t hostBits = ~ntohl(target.netmask);
        return hostBits >= 3 && host == (ntohl(target.network) | hostBits);
    });
}

} // namespace

std::optional<nbns::NodeStatus> queryNodeStatus(std::uint32_t address,
                                                const NbnsExchange& exchange) {
    const UdpSocket socket(false);
    if (!socket.valid())
        return std::nullopt;
    const std::uint16_t id = newTransactionId();
    const auto request = nbns::nodeStatusRequest(id);
    std::optional<nbns::NodeStatus> status;
    for (int attempt = 0; attempt < exchange.attempts && !status; ++attempt) {
        if (!waitForSendTurn(exchange.abandonFd))
            break;
        socket.sendTo(request, address, exchange.port);
        socket.receiveUntil(Clock::now() + exchange.timeout, exchange.abandonFd,
                            [&](std::span<const std::uint8_t> packet, const sockaddr_in& from) {
                                if (from.sin_addr.s_addr != address ||
                                    from.sin_port != htons(exchange.port))
                                    return false;
                                status = nbns::parseNodeStatusResponse(packet, id);
                                return status.has_value();
                            });
    }
    return status;
}

std::optional<std::uint32_t> queryName(const nbns::NetbiosName& name,
                                       std::span<const NameQueryTarget> targets,
                                       const NbnsExchange& exchange) {
    if (targets.empty())
        return std::nullopt;
    const UdpSocket socket(true);
    if (!socket.valid())
        return std::nullopt;
    const std::uint16_t id = newTransactionId();
    const auto request = nbns::nameQueryRequest(id, name, true);
    std::optional<std::uint32_t> address;
    for (int attempt = 0; attempt < exchange.attempts && !address; ++attempt) {
        if (!waitForSendTurn(exchange.abandonFd))
            break;
        for (const NameQueryTarget& target : targets)
            socket.sendTo(request, target.destination, exchange.port);
        socket.receiveUntil(
            Clock::now() + exchange.timeout, exchange.abandonFd,
            [&](std::span<const std::uint8_t> packet, const sockaddr_in& from) {
                bool fromTargetNetwork = false;
                for (const NameQueryTarget& target : targets)
                    fromTargetNetwork =
                        fromTargetNetwork || (from.sin_addr.s_addr & target.netmask) ==
                                                 (target.network & target.netmask);
                if (!fromTargetNetwork)
                    return false;
                const auto addresses = nbns::parseNameQueryResponse(packet, id, name);
                if (!addresses)
                    return false;
                // A forged or broken answer naming no
                // possible host is passed over; a real
                // one may still come.
                const auto usable =
                    std::find_if(addresses->begin(), addresses->end(),
                                 [&](std::uint32_t a) { return canBeHost(a, targets); });
                if (usable == addresses->end())
                    return false;
                address = *usable;
                return true;
            });
    }
    return address;
}

} // namespace norvane
