#pragma once

// A UDP socket on an ephemeral port of every IPv4 address, closed with its
// owner: what the name service, node status sweeps and multicast DNS send
// their queries from and wait on for answers.

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace norvane {

// The largest datagram a wait takes in: a multicast DNS message may fill a
// jumbo frame.
constexpr std::size_t MaxUdpDatagram = 9000;

struct UdpSocketOptions {
    bool broadcast = false;
    std::optional<int> multicastTtl; // hops a multicast query may take
};

class UdpSocket {
public:
    using Clock = std::chrono::steady_clock;
    // Gets each datagram with its sender; true ends the wait.
    using Accept = std::function<bool(std::span<const std::uint8_t>, const sockaddr_in&)>;

    // How a wait ended.
    enum class Received {
        Taken,   // a datagram was accepted
        Ended,   // the deadline passed, or the wait was given up
        Refused, // the connected peer said no one listens on its port
    };

    explicit UdpSocket(UdpSocketOptions options = {});
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    ~UdpSocket();

    bool valid() const { return m_fd >= 0; }
    // For an owner that polls many descriptors at once.
    int fd() const { return m_fd; }

    // From now on only datagrams from `address`:`port` (network byte order
    // address) arrive, and an ICMP port unreachable from there is reported.
    bool connectTo(std::uint32_t address, std::uint16_t port) const;
    // Multicasts leave through the adapter with this address.
    bool setMulticastInterface(std::uint32_t address) const;

    // A lost datagram is what a query's next attempt is for: sending
    // reports nothing but a refusal of the connected peer (false).
    void sendTo(std::span<const std::uint8_t> packet, std::uint32_t address,
                std::uint16_t port) const;
    bool send(std::span<const std::uint8_t> packet) const;

    // Waits until `deadline` for a datagram that `accept` takes. Gives up
    // when `giveUpFd` becomes readable (-1: only the deadline ends it).
    Received receiveUntil(Clock::time_point deadline, int giveUpFd, const Accept& accept) const;
    // Hands `accept` the datagrams that have arrived, at most `limit`,
    // without waiting for more.
    void receiveAvailable(std::size_t limit, const Accept& accept) const;

private:
    int m_fd = -1;
};

} // namespace norvane
