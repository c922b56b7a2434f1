#include "WsdSource.h"

#include "linux/Logging.h"
#include "wsd/WsdCodec.h"

#include <QUuid>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <list>
#include <map>
#include <set>
#include <utility>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t ReceiveChunkBytes = 4096;

std::string newMessageId() {
    return "urn:uuid:" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

std::string dotted(std::uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

wsd::Bytes bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A file descriptor closed with its owner.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0)
            close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

// One metadata fetch: connect, send the Get, read the answer.
struct Fetch {
    Fd fd;
    std::uint32_t from = 0;
    std::string url;
    std::string messageId;
    std::string request;
    std::size_t sent = 0;
    bool connected = false;
    std::string received;
    Clock::time_point deadline;
};

struct Resolving {
    std::string endpoint;
    std::uint32_t from = 0; // where the match without transport address came from
    std::string messageId;
    Clock::time_point deadline;
};

// One round over the adapters, in the thread that runs it.
class Round {
    struct Socket {
        Fd fd;
        std::string adapter;
    };

public:
    Round(const WsdSettings& settings, int cancelFd) : m_settings(settings), m_cancelFd(cancelFd) {}

    std::vector<DiscoveredHost> run(const std::vector<Adapter>& adapters) {
        if (inet_pton(AF_INET, m_settings.destination.c_str(), &m_destination) != 1)
            return {};
        for (const Adapter& adapter : adapters)
            openSocket(adapter);
        if (m_sockets.empty())
            return {};
        m_probeId = newMessageId();
        const auto start = Clock::now();
        const auto collectEnd = start + m_settings.collectTime;
        const auto repeatAt = start + WsdRepeatDelay;
        bool repeated = false;
        multicast(wsd::probeMessage(m_probeId), "Probe for wsdp:Device");
        for (;;) {
            const auto now = Clock::now();
            m_collecting = now < collectEnd;
            if (!repeated && now >= repeatAt) {
                multicast(wsd::probeMessage(m_probeId), "Probe repeated");
                repeated = true;
            }
            expire(now);
            if (!m_collecting && m_resolving.empty() && m_fetches.empty())
                break;
            auto wakeAt = m_collecting ? collectEnd : Clock::time_point::max();
            if (!repeated)
                wakeAt = std::min(wakeAt, repeatAt);
            for (const Resolving& resolving : m_resolving)
                wakeAt = std::min(wakeAt, resolving.deadline);
            for (const Fetch& fetch : m_fetches)
                wakeAt = std::min(wakeAt, fetch.deadline);
            if (!waitAndHandle(wakeAt - now))
                break;
        }
        return m_found;
    }

private:
    void openSocket(const Adapter& adapter) {
        Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = adapter.address;
        const in_addr interface { adapter.address };
        const unsigned char ttl = 1;
        if (fd.get() < 0 ||
            bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            setsockopt(fd.get(), IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface) != 0 ||
            setsockopt(fd.get(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
            qCDebug(lcWsd) << "no socket on" << adapter.name.c_str() << ":" << strerror(errno);
            return;
        }
        m_sockets.push_back({std::move(fd), adapter.name});
    }

    void multicast(const std::string& message, const char* what) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = m_destination;
        to.sin_port = htons(m_settings.port);
        for (const Socket& socket : m_sockets) {
            const bool sent = sendto(socket.fd.get(), message.data(), message.size(), 0,
                                     reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0;
            qCDebug(lcWsd).noquote()
                << what << (sent ? "sent" : "not sent") << "on" << socket.adapter.c_str() << "to"
                << dotted(m_destination).c_str() << m_settings.port;
        }
    }

    void expire(Clock::time_point now) {
        std::erase_if(m_resolving, [&](const Resolving& resolving) {
            if (now < resolving.deadline)
                return false;
            qCDebug(lcWsd).noquote()
                << "left out" << resolving.endpoint.c_str() << ": no answer to its Resolve";
            return true;
        });
        m_fetches.remove_if([&](const Fetch& fetch) {
            if (now < fetch.deadline)
                return false;
            qCDebug(lcWsd).noquote() << "left out" << dotted(fetch.from).c_str() << ": fetch of"
                                     << fetch.url.c_str() << "timed out";
            return true;
        });
    }

    // False when the round was cancelled.
    bool waitAndHandle(Clock::duration wait) {
        std::vector<pollfd> fds;
        fds.push_back({m_cancelFd, POLLIN, 0});
        for (const Socket& socket : m_sockets)
            fds.push_back({socket.fd.get(), POLLIN, 0});
        for (const Fetch& fetch : m_fetches) {
            const bool writing = !fetch.connected || fetch.sent < fetch.request.size();
            fds.push_back({fetch.fd.get(), static_cast<short>(writing ? POLLOUT : POLLIN), 0});
        }
        const auto waitMs =
            std::chrono::ceil<std::chrono::milliseconds>(std::max(wait, Clock::duration::zero()));
        const int ready = poll(fds.data(), fds.size(),
                               static_cast<int>(std::min<long long>(waitMs.count(), 60000)));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            return true;
        if (fds[0].revents != 0)
            return false;
        for (std::size_t i = 0; i < m_sockets.size(); ++i) {
            if (fds[1 + i].revents != 0)
                receive(m_sockets[i]);
        }
        // Fetches started above are not among the polled descriptors yet.
        auto fetch = m_fetches.begin();
        for (std::size_t i = 1 + m_sockets.size(); i < fds.size(); ++i) {
            const bool done = fds[i].revents != 0 && !advance(*fetch, fds[i].revents);
            fetch = done ? m_fetches.erase(fetch) : std::next(fetch);
        }
        return true;
    }

    void receive(const Socket& socket) {
        std::array<std::uint8_t, wsd::MaxDatagramBytes + 1> buffer;
        for (;;) {
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t got = recvfrom(socket.fd.get(), buffer.data(), buffer.size(), MSG_TRUNC,
                                         reinterpret_cast<sockaddr*>(&from), &size);
            if (got < 0)
                return;
            const std::uint32_t address = from.sin_addr.s_addr;
            if (static_cast<std::size_t>(got) > wsd::MaxDatagramBytes) {
                qCDebug(lcWsd) << "dropped a datagram of" << got << "bytes from"
                               << dotted(address).c_str();
                continue;
            }
            handleDatagram(wsd::Bytes(buffer.data(), static_cast<std::size_t>(got)), address);
        }
    }

    void handleDatagram(wsd::Bytes datagram, std::uint32_t from) {
        const std::string source = dotted(from);
        if (m_collecting) {
            const wsd::MatchesReply probe =
                wsd::parseMatches(datagram, wsd::MatchKind::Probe, m_probeId);
            if (probe.problem.empty()) {
                for (const wsd::Match& match : probe.matches)
                    takeProbeMatch(match, from);
                return;
            }
            if (m_resolving.empty()) {
                qCDebug(lcWsd).noquote()
                    << "ignored a datagram from" << source.c_str() << ":" << probe.problem.c_str();
                return;
            }
        }
        for (auto it = m_resolving.begin(); it != m_resolving.end(); ++it) {
            if (it->from != from)
                continue;
            const wsd::MatchesReply resolve =
                wsd::parseMatches(datagram, wsd::MatchKind::Resolve, it->messageId);
            if (!resolve.problem.empty())
                continue;
            const Resolving resolving = *it;
            m_resolving.erase(it);
            for (const wsd::Match& match : resolve.matches) {
                if (match.endpoint == resolving.endpoint)
                    takeTransportAddresses(match, from);
            }
            return;
        }
        qCDebug(lcWsd).noquote() << "ignored a datagram from" << source.c_str()
                                 << ": relates to no Probe or Resolve of this round";
    }

    void takeProbeMatch(const wsd::Match& match, std::uint32_t from) {
        // Hosts send every reply twice. The same endpoint from another
        // address is another device, so that no host can hide another by
        // claiming its endpoint.
        if (m_devices.count({match.endpoint, from}) != 0)
            return;
        if (m_devices.size() >= WsdMaxDevices) {
            qCDebug(lcWsd) << "ignored" << dotted(from).c_str() << ": too many devices";
            return;
        }
        if (++m_endpointsAt[from] > WsdMaxEndpointsPerAddress) {
            qCDebug(lcWsd) << "ignored" << match.endpoint.c_str() << "from" << dotted(from).c_str()
                           << ": too many endpoints at one address";
            return;
        }
        m_devices.emplace(match.endpoint, from);
        qCDebug(lcWsd).noquote() << "ProbeMatch from" << dotted(from).c_str() << "for"
                                 << match.endpoint.c_str();
        if (!match.transportAddresses.empty()) {
            takeTransportAddresses(match, from);
            return;
        }
        Resolving resolving{match.endpoint, from, newMessageId(),
                            Clock::now() + m_settings.resolveTimeout};
        const std::string message = wsd::resolveMessage(resolving.messageId, match.endpoint);
        m_resolving.push_back(std::move(resolving));
        multicast(message, "Resolve");
    }

    // Fetches from the first transport address that is http on the address
    // the reply came from; any other is ignored, so that no answer can make
    // the client fetch from elsewhere.
    void takeTransportAddresses(const wsd::Match& match, std::uint32_t from) {
        for (const std::string& address : match.transportAddresses) {
            const auto url = wsd::parseHttpUrl(address);
            if (url && url->address == from) {
                startFetch(*url, address, match.endpoint, from);
                return;
            }
            qCDebug(lcWsd).noquote()
                << "ignored transport address" << address.c_str() << "from" << dotted(from).c_str()
                << (url ? ": another host" : ": not http to an IPv4 address");
        }
        qCDebug(lcWsd).noquote() << "left out" << dotted(from).c_str()
                                 << ": no transport address to fetch from";
    }

    void startFetch(const wsd::HttpUrl& url, const std::string& text, const std::string& endpoint,
                    std::uint32_t from) {
        Fetch fetch;
        fetch.fd = Fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        fetch.from = from;
        fetch.url = text;
        fetch.messageId = newMessageId();
        fetch.request = wsd::httpPost(url, wsd::getMessage(fetch.messageId, endpoint));
        fetch.deadline = Clock::now() + m_settings.fetchTimeout;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = url.address;
        to.sin_port = htons(url.port);
        if (fetch.fd.get() < 0 ||
            (connect(fetch.fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 &&
             errno != EINPROGRESS)) {
            qCDebug(lcWsd).noquote() << "left out" << dotted(from).c_str() << ": cannot connect to"
                                     << text.c_str() << ":" << strerror(errno);
            return;
        }
        qCDebug(lcWsd).noquote() << "fetching metadata from" << text.c_str();
        m_fetches.push_back(std::move(fetch));
    }

    // False when the fetch has ended, well or not.
    bool advance(Fetch& fetch, short events) {
        const std::string source = dotted(fetch.from);
        if (!fetch.connected) {
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(fetch.fd.get(), SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0) {
                qCDebug(lcWsd).noquote() << "left out" << source.c_str() << ": connecting to"
                                         << fetch.url.c_str() << "failed:" << strerror(error);
                return false;
            }
            fetch.connected = true;
        }
        if (fetch.sent < fetch.request.size()) {
            const ssize_t sent = send(fetch.fd.get(), fetch.request.data() + fetch.sent,
                                      fetch.request.size() - fetch.sent, MSG_NOSIGNAL);
            if (sent < 0 && errno != EAGAIN) {
                qCDebug(lcWsd).noquote() << "left out" << source.c_str() << ": sending failed";
                return false;
            }
            fetch.sent += static_cast<std::size_t>(std::max<ssize_t>(sent, 0));
            return true;
        }
        if ((events & (POLLIN | POLLHUP | POLLERR)) == 0)
            return true;
        std::array<char, ReceiveChunkBytes> chunk;
        const ssize_t got = recv(fetch.fd.get(), chunk.data(), chunk.size(), 0);
        if (got < 0 && errno == EAGAIN)
            return true;
        if (got > 0)
            fetch.received.append(chunk.data(), static_cast<std::size_t>(got));
        const wsd::HttpResponse response =
            wsd::parseHttpResponse(bytesOf(fetch.received), got <= 0);
        if (response.state == wsd::HttpState::Incomplete)
            return true;
        if (response.state == wsd::HttpState::Failed) {
            qCDebug(lcWsd).noquote() << "left out" << source.c_str() << ": fetch of"
                                     << fetch.url.c_str() << "failed:" << response.problem.c_str();
            return false;
        }
        qCDebug(lcWsd).noquote() << "fetched" << response.body.size() << "bytes of metadata from"
                                 << fetch.url.c_str();
        const wsd::MetadataReply metadata =
            wsd::parseMetadata(bytesOf(response.body), fetch.messageId);
        if (!metadata.computer) {
            qCDebug(lcWsd).noquote()
                << "left out" << source.c_str() << ":" << metadata.problem.c_str();
            return false;
        }
        const bool known = std::any_of(m_found.begin(), m_found.end(), [&](const auto& host) {
            return host.name == metadata.computer->name;
        });
        qCDebug(lcWsd).noquote() << (known ? "again:" : "found") << metadata.computer->name.c_str()
                                 << "in" << metadata.computer->group.c_str() << "at"
                                 << source.c_str();
        if (!known)
            m_found.push_back({metadata.computer->name, metadata.computer->group, fetch.from,
                               FoundBy::WsDiscovery});
        return false;
    }

    const WsdSettings& m_settings;
    int m_cancelFd;
    std::uint32_t m_destination = 0;
    std::vector<Socket> m_sockets;
    std::string m_probeId;
    bool m_collecting = true;
    std::set<std::pair<std::string, std::uint32_t>> m_devices; // endpoint, address
    std::map<std::uint32_t, std::size_t> m_endpointsAt;
    std::vector<Resolving> m_resolving;
    std::list<Fetch> m_fetches;
    std::vector<DiscoveredHost> m_found;
};

} // namespace

WsdSource::WsdSource(WsdSettings settings)
    : m_settings(std::move(settings)),
      m_runner([this](const std::vector<Adapter>& adapters, RoundCancel& cancel) {
          return Round(m_settings, cancel.fd()).run(adapters);
      }) {}

void WsdSource::start(const std::vector<Adapter>& adapters) {
    m_runner.start(adapters);
}

std::vector<DiscoveredHost> WsdSource::results() {
    return m_runner.results();
}

void WsdSource::cancel() {
    m_runner.cancel();
}

} // namespace norvane
