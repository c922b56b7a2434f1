#include "NodeStatusSweep.h"

#include "linux/UdpSocket.h"

#include <algorithm>
#include <random>
#include <vector>

namespace norvane {

std::map<std::uint32_t, nbns::NodeStatus> sweepNodeStatus(std::span<const std::uint32_t> addresses,
                                                          const NbnsExchange& exchange,
                                                          const RoundCancel& cancel) {
    std::map<std::uint32_t, nbns::NodeStatus> answers;
    // A host that refused the port lately has no name service to ask, and
    // asking would spend its budget of refusals (see NameServiceRefusals).
    std::vector<std::uint32_t> asked;
    for (const std::uint32_t address : addresses) {
        if (exchange.refusals == nullptr || !exchange.refusals->refused(address, exchange.port))
            asked.push_back(address);
    }
    if (asked.empty())
        return answers;
    const UdpSocket socket;
    if (!socket.valid())
        return answers;
    const auto id = static_cast<std::uint16_t>(std::random_device{}() & 0xFFFF);
    const auto request = nbns::nodeStatusRequest(id);
    const auto wasAsked = [&](std::uint32_t address) {
        return std::find(asked.begin(), asked.end(), address) != asked.end();
    };
    for (int attempt = 0;
         attempt < exchange.attempts && answers.size() < asked.size() && !cancel.cancelled();
         ++attempt) {
        for (const std::uint32_t address : asked) {
            if (!answers.contains(address))
                socket.sendTo(request, address, exchange.port);
        }
        socket.receiveUntil(UdpSocket::Clock::now() + exchange.timeout, cancel.fd(),
                            [&](std::span<const std::uint8_t> packet, const sockaddr_in& from) {
                                if (from.sin_port != htons(exchange.port) ||
                                    !wasAsked(from.sin_addr.s_addr) ||
                                    answers.contains(from.sin_addr.s_addr))
                                    return false;
                                if (auto status = nbns::parseNodeStatusResponse(packet, id))
                                    answers.emplace(from.sin_addr.s_addr, std::move(*status));
                                return answers.size() == asked.size();
                            });
    }
    return answers;
}

} // namespace norvane
