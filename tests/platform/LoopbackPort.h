#pragma once

// A TCP port on the loopback address that refuses, stays silent or takes
// connections, for tests of how the platform connects to SMB servers.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace norvane {

// A listening socket on the loopback address; `backlog` -1 leaves it bound
// and not listening, so that connects to it are refused.
class Port {
public:
    explicit Port(int backlog) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            (backlog < 0 || ::listen(m_fd, backlog) == 0) &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            number = ntohs(address.sin_port);
    }
    ~Port() {
        if (m_taker.joinable()) {
            ::close(m_stop[1]);
            m_taker.join();
            ::close(m_stop[0]);
        }
        for (const int client : m_held)
            ::close(client);
        ::close(m_fd);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Whether a connection waits to be accepted.
    bool connected() const {
        pollfd wait{m_fd, POLLIN, 0};
        return ::poll(&wait, 1, 0) == 1;
    }
    // Fills the queue of connections waiting to be accepted, so that the
    // kernel drops further connects unanswered. The connections that fill
    // it are closed on this side: they wait in the queue all the same, and
    // no established connection to the port is left to tell of a server.
    void fill() {
        std::vector<int> clients;
        for (int i = 0; i < 4; ++i) {
            const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            to.sin_port = htons(number);
            ::connect(client, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            clients.push_back(client);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (const int client : clients)
            ::close(client);
    }
    // From now on accepts every connection, counting them in `accepted`,
    // and closes it at once, or holds it unanswered while the port lasts.
    void accept(bool hold = false) {
        if (::pipe2(m_stop, O_CLOEXEC) != 0)
            return;
        m_taker = std::thread([this, hold] {
            for (;;) {
                pollfd waits[2] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
                if (::poll(waits, 2, -1) < 0 || waits[1].revents != 0)
                    return;
                const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (client < 0)
                    continue;
                ++accepted;
                if (hold)
                    m_held.push_back(client);
                else
                    ::close(client);
            }
        });
    }

    std::uint16_t number = 0;
    std::atomic<int> accepted = 0;

private:
    int m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::vector<int> m_held; // by the accepting thread until it ends
    int m_stop[2] = {-1, -1};
    std::thread m_taker;
};

} // namespace norvane
