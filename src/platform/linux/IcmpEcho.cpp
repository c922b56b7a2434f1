#include "IcmpEcho.h"

#include "ErrorMap.h"
#include "icmp/IcmpCodec.h"
#include "Logging.h"

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t ReceiveBufferBytes = 65536 + 128;
constexpr std::size_t ControlBufferBytes = 512;

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

// Time to live, type of service and don't-fragment of the next request.
void applyOptions(int fd, const IpOptionInformation* options) {
    const int ttl = options != nullptr ? options->ttl : IPDEFTTL;
    const int tos = options != nullptr ? options->tos : 0;
    const int discover = options != nullptr && (options->flags & IP_FLAG_DF) != 0
                             ? IP_PMTUDISC_DO
                             : IP_PMTUDISC_DONT;
    setsockopt(fd, SOL_IP, IP_TTL, &ttl, sizeof ttl);
    setsockopt(fd, SOL_IP, IP_TOS, &tos, sizeof tos);
    setsockopt(fd, SOL_IP, IP_MTU_DISCOVER, &discover, sizeof discover);
    qCDebug(lcEcho) << "options: ttl" << ttl << "tos" << tos << "don't fragment"
                    << (discover == IP_PMTUDISC_DO);
}

// The reply record, then as much of the echoed data as the buffer holds. The
// record counts only the bytes it hands over, so that a reply longer than
// the request cannot make a reader run past the buffer.
void writeReply(std::span<std::uint8_t> out, std::uint32_t from, std::uint8_t ttl,
                std::chrono::milliseconds elapsed, std::span<const std::uint8_t> data) {
    const std::size_t copied = std::min(data.size(), out.size() - IcmpEchoReplySize);
    IcmpEchoReply reply{};
    reply.address = from;
    reply.status = IP_SUCCESS;
    reply.roundTripTime = static_cast<std::uint32_t>(elapsed.count());
    reply.dataSize = static_cast<std::uint16_t>(copied);
    reply.dataOffset = static_cast<std::uint32_t>(IcmpEchoReplySize);
    reply.options.ttl = ttl;
    std::memcpy(out.data(), &reply, sizeof reply);
    std::memcpy(out.data() + IcmpEchoReplySize, data.data(), copied);
    if (copied < data.size())
        qCDebug(lcEcho) << "reply carries" << data.size() << "bytes of data; kept" << copied;
}

std::string addressText(std::uint32_t address) {
    return NetworkPlatform::inetNtoa(address);
}

QLatin1String reasonText(icmp::IgnoreReason reason) {
    const std::string_view text = icmp::describe(reason);
    return QLatin1String(text.data(), static_cast<qsizetype>(text.size()));
}

// Reads what comes back until the answer to `request` or the deadline: 1
// with the reply written, or 0 with `status` set.
DWORD awaitAnswer(int fd, icmp::Framing framing, const icmp::Request& request,
                  Clock::time_point start, DWORD timeoutMs, std::span<std::uint8_t> replyBuffer,
                  DWORD& status) {
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> buffer(ReceiveBufferBytes);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        if ((waiting.revents & POLLERR) != 0) {
            std::optional<sock_extended_err> error;
            if (receive(fd, buffer, MSG_ERRQUEUE, &error) && error) {
                status = statusFromExtendedError(*error);
                qCDebug(lcEcho) << "error queue: origin" << int(error->ee_origin) << "type"
                                << int(error->ee_type) << "code" << int(error->ee_code) << "errno"
                                << error->ee_errno << "-> status" << status;
                return 0;
            }
            continue;
        }
        const auto received = receive(fd, buffer, 0, nullptr);
        if (!received)
            continue;
        const auto answer = icmp::classify(std::span(buffer).first(received->size), framing,
                                           received->from, request);
        switch (answer.verdict) {
        case icmp::Verdict::Ignored:
            qCDebug(lcEcho).nospace().noquote()
                << "ignored " << received->size << " bytes from "
                << addressText(received->from).c_str() << " (type " << int(answer.type) << " code "
                << int(answer.code) << "): " << reasonText(answer.reason);
            continue;
        case icmp::Verdict::Error:
            status = echoStatusFromIcmp(answer.type, answer.code);
            qCDebug(lcEcho) << "ICMP error from" << addressText(received->from).c_str() << "type"
                            << int(answer.type) << "code" << int(answer.code) << "-> status"
                            << status;
            return 0;
        case icmp::Verdict::EchoReply: {
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
            const std::uint8_t ttl = answer.ttl.value_or(received->ttl);
            qCDebug(lcEcho) << "echo reply from" << addressText(received->from).c_str() << "with"
                            << answer.data.size() << "bytes, ttl" << int(ttl) << "after"
                            << elapsed.count() << "ms";
            writeReply(replyBuffer, received->from, ttl, elapsed, answer.data);
            status = IP_SUCCESS;
            return 1;
        }
        }
    }
    qCDebug(lcEcho) << "no answer within" << timeoutMs << "ms";
    status = IP_REQ_TIMED_OUT;
    return 0;
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
    applyOptions(socket.fd, options);
    drain(socket.fd);

    const icmp::Request request{destination, socket.identifier, socket.sequence};
    const auto packet = icmp::echoRequest(request.identifier, request.sequence,
                                          {static_cast<const std::uint8_t*>(data), dataSize});
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;
    const auto start = Clock::now();
    if (sendto(socket.fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) < 0) {
        const int error = errno;
        status = echoStatusFromErrno(error);
        qCDebug(lcEcho) << "sending to" << addressText(destination).c_str() << "failed, errno"
                        << error << "-> status" << status;
        return 0;
    }
    qCDebug(lcEcho) << "echo request to" << addressText(destination).c_str() << "identifier"
                    << request.identifier << "sequence" << request.sequence << "with" << dataSize
                    << "bytes, waiting" << timeoutMs << "ms";
    const auto framing =
        socket.kind == IcmpSocketKind::Raw ? icmp::Framing::IpDatagram : icmp::Framing::IcmpMessage;
    return awaitAnswer(socket.fd, framing, request, start, timeoutMs,
                       {static_cast<std::uint8_t*>(replyBuffer), replySize}, status);
}

} // namespace norvane
