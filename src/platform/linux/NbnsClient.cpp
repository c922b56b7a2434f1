#include "NbnsClient.h"

#include "discovery/Subnet.h"

#include "UdpSocket.h"

#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <mutex>
#include <random>

namespace norvane {

namespace {

using Clock = UdpSocket::Clock;
using Received = UdpSocket::Received;

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

} // namespace

NodeStatusReply queryNodeStatus(std::uint32_t address, const NbnsExchange& exchange) {
    NodeStatusReply reply;
    if (exchange.refusals != nullptr && exchange.refusals->refused(address, exchange.port)) {
        reply.refused = true;
        return reply;
    }
    const UdpSocket socket;
    if (!socket.valid() || !socket.connectTo(address, exchange.port))
        return reply;
    const std::uint16_t id = newTransactionId();
    const auto request = nbns::nodeStatusRequest(id);
    for (int attempt = 0; attempt < exchange.attempts && !reply.status; ++attempt) {
        if (!waitForSendTurn(exchange.abandonFd))
            break;
        // Up, without a name service: asking again would find the same.
        if (!socket.send(request)) {
            reply.refused = true;
            break;
        }
        const Received received = socket.receiveUntil(
            Clock::now() + exchange.timeout, exchange.abandonFd,
            [&](std::span<const std::uint8_t> packet, const sockaddr_in& from) {
                if (from.sin_addr.s_addr != address || from.sin_port != htons(exchange.port))
                    return false;
                reply.status = nbns::parseNodeStatusResponse(packet, id);
                return reply.status.has_value();
            });
        if (received == Received::Refused) {
            reply.refused = true;
            break;
        }
    }
    if (reply.refused && exchange.refusals != nullptr)
        exchange.refusals->remember(address, exchange.port);
    return reply;
}

std::optional<std::uint32_t> queryName(const nbns::NetbiosName& name,
                                       std::span<const NameQueryTarget> targets,
                                       const NbnsExchange& exchange) {
    if (targets.empty())
        return std::nullopt;
    const UdpSocket socket(UdpSocketOptions{.broadcast = true, .multicastTtl = std::nullopt});
    if (!socket.valid())
        return std::nullopt;
    const std::uint16_t id = newTransactionId();
    const auto request = nbns::nameQueryRequest(id, name, true);
    std::vector<Subnet> networks;
    for (const NameQueryTarget& target : targets)
        networks.push_back({target.network, target.netmask});
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
                                 [&](std::uint32_t a) { return canBeHostAddress(a, networks); });
                if (usable == addresses->end())
                    return false;
                address = *usable;
                return true;
            });
    }
    return address;
}

} // namespace norvane
