#pragma once

// A UDP responder on a loopback address for the codec, platform and source
// tests: each datagram goes to the script, whose answers go back to the
// sender from the responder's port, from a second port, or from the same
// port number on another loopback address. Answers nothing until start().

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace norvane::test {

class UdpResponder {
public:
    // The answers to one request (none: stay silent); `count` counts the
    // requests from 1.
    using Script = std::function<QList<QByteArray>(const QByteArray& request, int count)>;

    // Answers from `replyAddress` (network byte order) with the responder's
    // port number, instead of from its own socket.
    in_addr_t replyAddress = htonl(INADDR_LOOPBACK);

    explicit UdpResponder(Script script = {}, in_addr_t bindAddress = htonl(INADDR_LOOPBACK))
        : m_script(std::move(script)), m_fd(openSocket(bindAddress, 0)),
          m_otherFd(openSocket(bindAddress, 0)) {}
    UdpResponder(const UdpResponder&) = delete;
    UdpResponder& operator=(const UdpResponder&) = delete;
    ~UdpResponder() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        close(m_fd);
        close(m_otherFd);
    }

    std::uint16_t port() const { return portOf(m_fd); }
    int requests() const { return m_count; }
    void setScript(Script script) { m_script = std::move(script); }
    // Answers then come from another port than the one asked.
    void replyFromOtherPort() { m_fromOther = true; }

    void start() {
        m_thread = std::thread([this] { serve(); });
    }

private:
    static int openSocket(in_addr_t address, std::uint16_t port) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = address;
        local.sin_port = htons(port);
        bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        return fd;
    }
    static std::uint16_t portOf(int fd) {
        sockaddr_in local{};
        socklen_t size = sizeof local;
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
        return ntohs(local.sin_port);
    }

    void serve() {
        char buffer[65536];
        while (!m_stop) {
            pollfd wait{m_fd, POLLIN, 0};
            if (poll(&wait, 1, 20) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = recvfrom(m_fd, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (got <= 0)
                continue;
            const QList<QByteArray> answers = m_script(QByteArray(buffer, int(got)), ++m_count);
            int out = m_fromOther ? m_otherFd : m_fd;
            if (replyAddress != htonl(INADDR_LOOPBACK))
                out = openSocket(replyAddress, port());
            for (const QByteArray& answer : answers)
                sendto(out, answer.constData(), std::size_t(answer.size()), 0,
                       reinterpret_cast<const sockaddr*>(&from), fromSize);
            if (out != m_fd && out != m_otherFd)
                close(out);
        }
    }

    Script m_script;
    int m_fd = -1;
    int m_otherFd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_fromOther{false};
    std::atomic<int> m_count{0};
    std::thread m_thread;
};

} // namespace norvane::test
