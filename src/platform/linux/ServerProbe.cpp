#include "ServerProbe.h"

#include "ProcText.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;

// The kernel's state number of an established TCP connection.
constexpr unsigned TcpEstablished = 1;

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

ProbeAnswer probeSmbServer(std::uint32_t address, std::chrono::milliseconds timeout, int abandonFd,
                           std::span<const std::uint16_t> ports,
                           std::chrono::milliseconds nextPortDelay) {
    std::vector<Connect> connects;
    connects.reserve(ports.size());
    const Clock::time_point deadline = Clock::now() + timeout;
    Clock::time_point nextPortAt = Clock::now();
    int lastError = ETIMEDOUT;
    for (;;) {
        const bool morePorts = connects.size() < ports.size();
        if (morePorts && Clock::now() >= nextPortAt) {
            connects.emplace_back(address, ports[connects.size()]);
            nextPortAt = Clock::now() + nextPortDelay;
        }
        std::vector<pollfd> waiting{{abandonFd, POLLIN, 0}};
        bool pending = false;
        for (std::size_t i = 0; i < connects.size(); ++i) {
            if (connects[i].error() == 0)
                return {0, ports[i]};
            if (connects[i].error() != EINPROGRESS)
                lastError = connects[i].error();
            pending = pending || connects[i].fd() >= 0;
            waiting.push_back({connects[i].fd(), POLLOUT, 0});
        }
        if (!pending && connects.size() < ports.size()) {
            // Every port tried so far refused: the next goes at once.
            nextPortAt = Clock::now();
            continue;
        }
        if (!pending)
            return {lastError, 0};
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return {ETIMEDOUT, 0};
        const Clock::time_point wakeAt =
            connects.size() < ports.size() ? std::min(deadline, nextPortAt) : deadline;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now);
        const int ready = poll(waiting.data(), waiting.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            return {errno, 0};
        if (ready <= 0)
            continue;
        if (waiting[0].revents != 0)
            return {ECANCELED, 0};
        for (std::size_t i = 0; i < connects.size(); ++i) {
            if (waiting[i + 1].revents != 0)
                connects[i].finish();
        }
    }
}

bool connectionEstablished(std::uint32_t address, std::uint16_t port) {
    // Lines: "sl local_address rem_address st ...", an address as the
    // kernel holds it (network byte order) and a port in host order, both
    // in hexadecimal: "0100007F:01BD".
    std::ifstream lines("/proc/net/tcp");
    std::string text;
    std::getline(lines, text);
    while (std::getline(lines, text)) {
        std::string_view line = text;
        nextField(line);
        nextField(line);
        const std::string_view remote = nextField(line);
        const std::string_view state = nextField(line);
        const std::size_t colon = remote.find(':');
        std::uint32_t remoteAddress = 0;
        std::uint16_t remotePort = 0;
        unsigned stateNumber = 0;
        if (colon == std::string_view::npos ||
            !parseNumber(remote.substr(0, colon), remoteAddress, 16) ||
            !parseNumber(remote.substr(colon + 1), remotePort, 16) ||
            !parseNumber(state, stateNumber, 16))
            continue;
        if (remoteAddress == address && remotePort == port && stateNumber == TcpEstablished)
            return true;
    }
    return false;
}

} // namespace norvane
