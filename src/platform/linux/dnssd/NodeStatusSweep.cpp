#include "NodeStatusSweep.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <random>

namespace norvane {

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::size_t MaxDatagram = 1500;
} // namespace

std::map<std::uint32_t, nbns::NodeStatus> sweepNodeStatus(std::span<const std::uint32_t> addresses,
                                                          const NbnsExchange& exchange,
                                                          const RoundCancel& cancel) {
    std::map<std::uint32_t, nbns::NodeStatus> answers;
    if (addresses.empty())
        return answers;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return answers;
    const auto id = static_cast<std::uint16_t>(std::random_device{}() & 0xFFFF);
    const auto request = nbns::nodeStatusRequest(id);
    std::array<std::uint8_t, MaxDatagram> buffer{};
    const auto asked = [&](std::uint32_t address) {
        return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
    };
    for (int attempt = 0;
         attempt < exchange.attempts && answers.size() < addresses.size() && !cancel.cancelled();
         ++attempt) {
        for (const std::uint32_t address : addresses) {
            if (answers.contains(address))
                continue;
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = address;
            to.sin_port = htons(exchange.port);
            // A lost request is what the next attempt is for.
            (void)sendto(fd, request.data(), request.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
        const auto deadline = Clock::now() + exchange.timeout;
        while (answers.size() < addresses.size() && !cancel.cancelled()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            std::array<pollfd, 2> waits{pollfd{fd, POLLIN, 0}, pollfd{cancel.fd(), POLLIN, 0}};
            const int ready =
                poll(waits.data(), cancel.fd() >= 0 ? 2 : 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || (waits[0].revents & POLLIN) == 0)
                break;
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (got < 0 || fromSize < sizeof from || from.sin_family != AF_INET ||
                from.sin_port != htons(exchange.port) || !asked(from.sin_addr.s_addr) ||
                answers.contains(from.sin_addr.s_addr))
                continue;
            if (auto status = nbns::parseNodeStatusResponse(
                    std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)),
                    id))
                answers.emplace(from.sin_addr.s_addr, std::move(*status));
        }
    }
    close(fd);
    return answers;
}

} // namespace norvane
