#include "IcmpEcho.h"

#include "ErrorMap.h"

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t IcmpEchoReplyType = 0;
constexpr std::uint8_t IcmpEchoRequestType = 8;
constexpr std::uint8_t IcmpDestUnreachable = 3;
constexpr std::uint8_t IcmpSourceQuench = 4;
constexpr std::uint8_t IcmpTimeExceeded = 11;
constexpr std::uint8_t IcmpParameterProblem = 12;
constexpr std::size_t IcmpHeaderBytes = 8;
constexpr std::size_t IpHeaderMinBytes = 20;
constexpr std::size_t ReceiveBufferBytes = 65536 + 128;
constexpr std::size_t ControlBufferBytes = 512;

std::uint16_t checksum(const std::uint8_t* data, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2 != 0)
        sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

bool isIcmpError(std::uint8_t type) {
    return type == IcmpDestUnreachable || type == IcmpSourceQuench || type == IcmpTimeExceeded ||
           type == IcmpParameterProblem;
}

// Reads pending datagrams and queued errors left over from earlier requests.
void drain(int fd) {
    std::vector<std::uint8_t> buffer(ReceiveBufferBytes);
    while (recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT) >= 0) {
    }
    while (recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_ERRQUEUE) >= 0) {
    }
}

struct Received {
    std::uint32_t from = 0;
    std::uint8_t ttl = 0;
    std::size_t size = 0;
};

// One datagram with its source and, where the kernel gives it, its TTL.
std::optional<Received> receive(int fd, std::vector<std::uint8_t>& buffer, int flags,
                                std::optional<sock_extended_err>* error) {
    sockaddr_in from{};
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) std::uint8_t control[ControlBufferBytes];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(fd, &message, flags | MSG_DONTWAIT);
    if (got < 0)
        return std::nullopt;
    Received received;
    received.from = from.sin_addr.s_addr;
    received.size = static_cast<std::size_t>(got);
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_IP)
            continue;
        if (c->cmsg_type == IP_TTL && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
            int ttl = 0;
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            received.ttl = static_cast<std::uint8_t>(ttl);
        } else if (c->cmsg_type == IP_RECVERR && error != nullptr &&
                   c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
            sock_extended_err extended{};
            std::memcpy(&extended, CMSG_DATA(c), sizeof extended);
            *error = extended;
        }
    }
    return received;
}

DWORD statusFromExtendedError(const sock_extended_err& error) {
    if (error.ee_origin == SO_EE_ORIGIN_ICMP)
        return echoStatusFromIcmp(error.ee_type, error.ee_code);
    return echoStatusFromErrno(static_cast<int>(error.ee_errno));
}

} // namespace

IcmpEcho::~IcmpEcho() {
    for (auto& [handle, socket] : m_sockets)
        ::close(socket.fd);
}

IcmpHandle IcmpEcho::open() {
    Socket socket;
    socket.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    socket.kind = IcmpSocketKind::Datagram;
    if (socket.fd < 0) {
        socket.fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        socket.kind = IcmpSocketKind::Raw;
    }
    if (socket.fd < 0)
        return InvalidIcmpHandle;
    const int on = 1;
    setsockopt(socket.fd, SOL_IP, IP_RECVERR, &on, sizeof on);
    setsockopt(socket.fd, SOL_IP, IP_RECVTTL, &on, sizeof on);
    std::random_device random;
    socket.identifier = static_cast<std::uint16_t>(random() & 0xFFFF);
    const std::lock_guard lock(m_mutex);
    const IcmpHandle handle = m_nextHandle++;
    m_sockets.emplace(handle, socket);
    return handle;
}

bool IcmpEcho::close(IcmpHandle handle) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_sockets.find(handle);
    if (it == m_sockets.end())
        return false;
    ::close(it->second.fd);
    m_sockets.erase(it);
    return true;
}

std::optional<IcmpSocketKind> IcmpEcho::kind(IcmpHandle handle) const {
    const std::lock_guard lock(m_mutex);
    const auto it = m_sockets.find(handle);
    if (it == m_sockets.end())
        return std::nullopt;
    return it->second.kind;
}

DWORD IcmpEcho::send(IcmpHandle handle, std::uint32_t destination, const void* data,
                     std::uint16_t dataSize, const IpOptionInformation* options, void* replyBuffer,
                     DWORD replySize, DWORD timeoutMs, DWORD& status) {
    Socket socket;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_sockets.find(handle);
        if (it == m_sockets.end()) {
            status = win::InvalidHandle;
            return 0;
        }
        socket = it->second;
        it->second.sequence = ++socket.sequence;
    }
    if ((data == nullptr && dataSize > 0) || replyBuffer == nullptr ||
        replySize < IcmpEchoReplySize + dataSize) {
        status = IP_BUF_TOO_SMALL;
        return 0;
    }
    const int ttl = options != nullptr ? options->ttl : IPDEFTTL;
    const int tos = options != nullptr ? options->tos : 0;
    const int discover = options != nullptr && (options->flags & IP_FLAG_DF) != 0
                             ? IP_PMTUDISC_DO
                             : IP_PMTUDISC_DONT;
    setsockopt(socket.fd, SOL_IP, IP_TTL, &ttl, sizeof ttl);
    setsockopt(socket.fd, SOL_IP, IP_TOS, &tos, sizeof tos);
    setsockopt(socket.fd, SOL_IP, IP_MTU_DISCOVER, &discover, sizeof discover);
    drain(socket.fd);

    std::vector<std::uint8_t> packet(IcmpHeaderBytes + dataSize, 0);
    packet[0] = IcmpEchoRequestType;
    packet[4] = static_cast<std::uint8_t>(socket.identifier >> 8);
    packet[5] = static_cast<std::uint8_t>(socket.identifier & 0xFF);
    packet[6] = static_cast<std::uint8_t>(socket.sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(socket.sequence & 0xFF);
    if (dataSize > 0)
        std::memcpy(packet.data() + IcmpHeaderBytes, data, dataSize);
    const std::uint16_t sum = checksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum & 0xFF);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    const auto start = Clock::now();
    if (sendto(socket.fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) < 0) {
        status = echoStatusFromErrno(errno);
        return 0;
    }

    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> buffer(ReceiveBufferBytes);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd waiting{socket.fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        if ((waiting.revents & POLLERR) != 0) {
            std::optional<sock_extended_err> error;
            if (receive(socket.fd, buffer, MSG_ERRQUEUE, &error) && error) {
                status = statusFromExtendedError(*error);
                return 0;
            }
            continue;
        }
        const auto received = receive(socket.fd, buffer, 0, nullptr);
        if (!received)
            continue;
        const std::uint8_t* icmp = buffer.data();
        std::size_t icmpSize = received->size;
        std::uint8_t replyTtl = received->ttl;
        if (socket.kind == IcmpSocketKind::Raw) {
            if (icmpSize < IpHeaderMinBytes)
                continue;
            const std::size_t headerSize = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
            if (headerSize < IpHeaderMinBytes || headerSize > icmpSize)
                continue;
            replyTtl = buffer[8];
            icmp += headerSize;
            icmpSize -= headerSize;
        }
        if (icmpSize < IcmpHeaderBytes)
            continue;
        const bool raw = socket.kind == IcmpSocketKind::Raw;
        if (raw && isIcmpError(icmp[0])) {
            // The error quotes our request: its IP header and first 8 bytes.
            const std::uint8_t* quoted = icmp + IcmpHeaderBytes;
            const std::size_t quotedSize = icmpSize - IcmpHeaderBytes;
            if (quotedSize < IpHeaderMinBytes)
                continue;
            const std::size_t innerHeader = static_cast<std::size_t>(quoted[0] & 0x0F) * 4;
            if (innerHeader < IpHeaderMinBytes || innerHeader + IcmpHeaderBytes > quotedSize)
                continue;
            std::uint32_t innerDestination = 0;
            std::memcpy(&innerDestination, quoted + 16, sizeof innerDestination);
            const std::uint8_t* request = quoted + innerHeader;
            if (innerDestination == destination && request[0] == IcmpEchoRequestType &&
                u16(request + 4) == socket.identifier && u16(request + 6) == socket.sequence) {
                status = echoStatusFromIcmp(icmp[0], icmp[1]);
                return 0;
            }
            continue;
        }
        if (icmp[0] != IcmpEchoReplyType || u16(icmp + 6) != socket.sequence ||
            received->from != destination)
            continue;
        if (raw && u16(icmp + 4) != socket.identifier)
            continue;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        const std::size_t payload = icmpSize - IcmpHeaderBytes;
        IcmpEchoReply reply{};
        reply.address = received->from;
        reply.status = IP_SUCCESS;
        reply.roundTripTime = static_cast<std::uint32_t>(elapsed.count());
        reply.dataSize = static_cast<std::uint16_t>(payload);
        reply.dataOffset = static_cast<std::uint32_t>(IcmpEchoReplySize);
        reply.options.ttl = replyTtl;
        auto* out = static_cast<std::uint8_t*>(replyBuffer);
        std::memcpy(out, &reply, sizeof reply);
        const std::size_t room = replySize - IcmpEchoReplySize;
        std::memcpy(out + IcmpEchoReplySize, icmp + IcmpHeaderBytes,
                    payload < room ? payload : room);
        status = IP_SUCCESS;
        return 1;
    }
    status = IP_REQ_TIMED_OUT;
    return 0;
}

} // namespace norvane
