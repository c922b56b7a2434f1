#include "ServerProbe.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;

class Connect {
public:
    Connect(std::uint32_t address, std::uint16_t port) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = address;
        to.sin_port = htons(port);
        if (connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
            m_error = 0;
        else if (errno != EINPROGRESS)
            m_error = errno;
    }
    Connect(const Connect&) = delete;
    Connect& operator=(const Connect&) = delete;
    Connect(Connect&& other) noexcept : m_fd(other.m_fd), m_error(other.m_error) {
        other.m_fd = -1;
    }
    ~Connect() {
        if (m_fd >= 0)
            close(m_fd);
    }

    int fd() const { return m_error == EINPROGRESS ? m_fd : -1; }
    int error() const { return m_error; }
    void finish() {
        int error = 0;
        socklen_t size = sizeof error;
        m_error = getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 ? error : errno;
    }

private:
    int m_fd = -1;
    int m_error = EINPROGRESS; // until the connect has ended
};

} // namespace

int probeSmbServer(std::uint32_t address, std::chrono::milliseconds timeout, int abandonFd) {
    std::vector<Connect> connects;
    for (const std::uint16_t port : SmbPorts)
        connects.emplace_back(address, port);
    const Clock::time_point deadline = Clock::now() + timeout;
    int lastError = ETIMEDOUT;
    for (;;) {
        std::vector<pollfd> waiting{{abandonFd, POLLIN, 0}};
        bool pending = false;
        for (const Connect& c : connects) {
            if (c.error() == 0)
                return 0;
            if (c.error() != EINPROGRESS)
                lastError = c.error();
            pending = pending || c.fd() >= 0;
            waiting.push_back({c.fd(), POLLOUT, 0});
        }
        if (!pending)
            return lastError;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return ETIMEDOUT;
        const int ready = poll(waiting.data(), waiting.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            return errno;
        if (ready <= 0)
            continue;
        if (waiting[0].revents != 0)
            return ECANCELED;
        for (std::size_t i = 0; i < connects.size(); ++i) {
            if (waiting[i + 1].revents != 0)
                connects[i].finish();
        }
    }
}

} // namespace norvane
