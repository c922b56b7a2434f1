#include "SmbIdentityProbe.h"

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace norvane {

namespace {

// What one handle() reads at most: more than any answer of the exchange.
constexpr std::size_t ReceiveChunkBytes = 4096;

} // namespace

SmbIdentityProbe::SmbIdentityProbe(std::uint32_t address, std::uint16_t port,
                                   const smb2::Guid& clientGuid, const smb2::Salt& salt)
    : m_exchange(clientGuid, salt) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_error = errno;
        m_state = State::Ended;
        return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    if (connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        connected();
    } else if (errno != EINPROGRESS) {
        m_error = errno;
        end();
    }
}

SmbIdentityProbe::~SmbIdentityProbe() {
    end();
}

std::uint32_t SmbIdentityProbe::events() const {
    if (m_state == State::Connecting || m_sent < m_outgoing.size())
        return EPOLLOUT;
    return EPOLLIN;
}

void SmbIdentityProbe::handle(std::uint32_t events) {
    if (m_state == State::Connecting) {
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = errno;
        if (error != 0) {
            m_error = error;
            end();
            return;
        }
        if ((events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) == 0)
            return;
        connected();
        return;
    }
    if (m_state != State::Exchanging)
        return;
    if (events & EPOLLOUT)
        sendPending();
    else if (events & (EPOLLIN | EPOLLERR | EPOLLHUP))
        receive();
}

void SmbIdentityProbe::end() {
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    m_state = State::Ended;
}

void SmbIdentityProbe::connected() {
    m_accepted = true;
    m_state = State::Exchanging;
    queue(m_exchange.firstRequest());
}

void SmbIdentityProbe::queue(std::vector<std::uint8_t> request) {
    m_outgoing = std::move(request);
    m_sent = 0;
    m_frame.reset();
    sendPending();
}

void SmbIdentityProbe::sendPending() {
    while (m_sent < m_outgoing.size()) {
        const ssize_t done = send(m_fd, m_outgoing.data() + m_sent, m_outgoing.size() - m_sent,
                                  MSG_NOSIGNAL | MSG_DONTWAIT);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (done <= 0) {
            m_error = errno;
            end();
            return;
        }
        m_sent += static_cast<std::size_t>(done);
    }
}

void SmbIdentityProbe::receive() {
    std::array<std::uint8_t, ReceiveChunkBytes> buffer{};
    const ssize_t got = recv(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (got <= 0) {
        // Closed by the server, or reset: it said all it will.
        m_error = got < 0 ? errno : 0;
        end();
        return;
    }
    std::size_t taken = 0;
    const auto state = m_frame.append(
        std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)), taken);
    if (state == smb2::FrameAssembler::State::Invalid) {
        end();
        return;
    }
    if (state == smb2::FrameAssembler::State::NeedMore)
        return;
    auto next = m_exchange.take(m_frame.message());
    // Identified or failed: either way nothing more is sent.
    if (next.empty()) {
        end();
        return;
    }
    queue(std::move(next));
}

} // namespace norvane
