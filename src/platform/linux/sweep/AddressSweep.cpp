#include "AddressSweep.h"

#include "SmbIdentityProbe.h"
#include "linux/Logging.h"
#include "linux/UdpSocket.h"
#include "nbns/NbnsCodec.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <memory>
#include <random>
#include <unordered_map>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;

// Descriptors kept free for the rest of the process.
constexpr rlim_t ReservedDescriptors = 64;
constexpr int MaxEventsPerWait = 256;
// The name service socket's send buffer (the kernel caps it at wmem_max).
constexpr int SweepSendBufferBytes = 4 * 1024 * 1024;
// Datagrams read per readiness report, so that a flood of them does not
// hold back the connections.
constexpr std::size_t DatagramsPerWake = 64;
// epoll tags in the upper half of the event data; the lower half holds an
// address.
constexpr std::uint64_t TagConnection = 0;
constexpr std::uint64_t TagNameService = 1ull << 32;
constexpr std::uint64_t TagStop = 2ull << 32;

// One address in flight.
struct Probe {
    std::uint32_t address = 0; // network byte order
    std::uint16_t transactionId = 0;
    int attemptsLeft = 0;
    bool nameServiceDone = false;
    Clock::time_point nameServiceDeadline;
    std::optional<nbns::NodeStatus> status;
    std::unique_ptr<SmbIdentityProbe> smb;
    Clock::time_point smbDeadline;
    bool smbAccepted = false;
    std::optional<smb2::NtlmChallenge> challenge;
};

struct Deadline {
    Clock::time_point at;
    std::uint32_t address;
};

std::size_t connectionLimit(std::size_t wanted) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::max<std::size_t>(wanted, 1);
    const rlim_t usable =
        limit.rlim_cur > ReservedDescriptors * 2 ? (limit.rlim_cur - ReservedDescriptors) / 2 : 1;
    return std::clamp<std::size_t>(static_cast<std::size_t>(usable), 1,
                                   std::max<std::size_t>(wanted, 1));
}

class SweepRun {
public:
    SweepRun(const SweepOptions& options, int stopFd, const AddressSweep::Found& found)
        : m_options(options), m_found(found),
          m_interval(std::chrono::nanoseconds(std::chrono::seconds(1)) /
                     std::max(options.probesPerSecond, 1)),
          m_maxConnections(connectionLimit(options.maxOpenConnections)),
          m_epoll(epoll_create1(EPOLL_CLOEXEC)), m_random(std::random_device{}()) {
        std::generate(m_guid.begin(), m_guid.end(), [&] { return randomByte(); });
        std::generate(m_salt.begin(), m_salt.end(), [&] { return randomByte(); });
        m_ready = m_epoll >= 0 && m_socket.valid() && prepareSocket() && watch(stopFd, TagStop) &&
                  (m_options.abandonFd < 0 || watch(m_options.abandonFd, TagStop)) &&
                  watch(m_socket.fd(), TagNameService);
    }
    SweepRun(const SweepRun&) = delete;
    SweepRun& operator=(const SweepRun&) = delete;
    ~SweepRun() {
        // The probes close their sockets before the epoll set goes.
        m_inFlight.clear();
        if (m_epoll >= 0)
            close(m_epoll);
    }

    SweepSummary run(AddressSequence& addresses) {
        if (!m_ready) {
            qCWarning(lcSweep) << "address sweep could not start: no socket or epoll set";
            return m_summary;
        }
        m_nextStart = Clock::now();
        std::array<epoll_event, MaxEventsPerWait> events{};
        for (;;) {
            const Clock::time_point now = Clock::now();
            expire(now);
            startDue(addresses, now);
            if (m_exhausted && m_inFlight.empty())
                break;
            const int ready = epoll_wait(m_epoll, events.data(), MaxEventsPerWait, waitMs(now));
            if (ready < 0 && errno != EINTR) {
                qCWarning(lcSweep) << "address sweep: epoll_wait failed, errno" << errno;
                break;
            }
            for (int i = 0; i < ready; ++i) {
                const std::uint64_t data = events[static_cast<std::size_t>(i)].data.u64;
                const std::uint64_t tag = data & ~0xFFFFFFFFull;
                if (tag == TagStop) {
                    m_summary.stopped = true;
                    return m_summary;
                }
                if (tag == TagNameService)
                    receiveNodeStatus();
                else
                    connectionEvent(static_cast<std::uint32_t>(data),
                                    events[static_cast<std::size_t>(i)].events);
            }
        }
        return m_summary;
    }

private:
    // Never blocks the loop: a query to an address whose link-layer
    // address is still unknown waits in the kernel's queue and holds send
    // buffer, so hundreds of them would fill a default buffer. The buffer
    // is made larger, and a query that finds it full is lost like a
    // dropped datagram, for the next attempt to make up.
    bool prepareSocket() const {
        const int size = SweepSendBufferBytes;
        (void)setsockopt(m_socket.fd(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        const int flags = fcntl(m_socket.fd(), F_GETFL);
        return flags >= 0 && fcntl(m_socket.fd(), F_SETFL, flags | O_NONBLOCK) == 0;
    }

    std::uint8_t randomByte() { return static_cast<std::uint8_t>(m_random() & 0xFF); }

    bool watch(int fd, std::uint64_t data, std::uint32_t events = EPOLLIN) const {
        epoll_event event{};
        event.events = events;
        event.data.u64 = data;
        return epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) == 0;
    }

    // Starts every address whose turn has come, while there is room.
    void startDue(AddressSequence& addresses, Clock::time_point now) {
        while (m_nextStart <= now && m_inFlight.size() < SweepMaxAddressesInFlight &&
               m_openConnections < m_maxConnections) {
            if (!m_pending)
                m_pending = addresses.next();
            if (!m_pending) {
                m_exhausted = true;
                return;
            }
            if (!start(htonl(*m_pending), now))
                return; // no descriptor now: wait for a connection to end
            m_pending.reset();
            m_nextStart += m_interval;
        }
        // Held back by a limit: no burst to catch up afterwards.
        if (m_nextStart + m_interval < now)
            m_nextStart = now;
    }

    bool start(std::uint32_t address, Clock::time_point now) {
        auto probe = std::make_unique<Probe>();
        probe->address = address;
        probe->smb = std::make_unique<SmbIdentityProbe>(address, m_options.smbPort, m_guid, m_salt);
        const int error = probe->smb->error();
        if ((error == EMFILE || error == ENFILE) && m_openConnections > 0) {
            // The process has no descriptor to spare: take what is open now
            // as the limit, and start again when a connection ends.
            m_maxConnections = m_openConnections;
            qCDebug(lcSweep) << "address sweep: connections limited to" << m_maxConnections;
            return false;
        }
        probe->transactionId = static_cast<std::uint16_t>(m_random() & 0xFFFF);
        probe->attemptsLeft = std::max(m_options.nodeStatusAttempts, 1);
        sendNodeStatus(*probe, now);
        ++m_summary.addressesStarted;
        if (probe->smb->state() != SmbIdentityProbe::State::Ended) {
            if (!watch(probe->smb->fd(), TagConnection | address, probe->smb->events())) {
                probe->smb->end();
            } else {
                ++m_openConnections;
                m_summary.peakOpenConnections =
                    std::max(m_summary.peakOpenConnections, m_openConnections);
                armDeadline(*probe, now);
            }
        }
        Probe& added = *m_inFlight.emplace(address, std::move(probe)).first->second;
        m_summary.peakAddressesInFlight =
            std::max(m_summary.peakAddressesInFlight, m_inFlight.size());
        smbEnded(added);
        return true;
    }

    // The connection's time-out from now: to connect, or for the exchange.
    void armDeadline(Probe& probe, Clock::time_point now) {
        const bool connecting = probe.smb->state() == SmbIdentityProbe::State::Connecting;
        probe.smbDeadline =
            now + (connecting ? m_options.connectTimeout : m_options.exchangeTimeout);
        (connecting ? m_connectDeadlines : m_exchangeDeadlines)
            .push_back({probe.smbDeadline, probe.address});
    }

    void sendNodeStatus(Probe& probe, Clock::time_point now) {
        --probe.attemptsLeft;
        m_socket.sendTo(nbns::nodeStatusRequest(probe.transactionId), probe.address,
                        m_options.nameServicePort);
        probe.nameServiceDeadline = now + m_options.nodeStatusTimeout;
        m_nameServiceDeadlines.push_back({probe.nameServiceDeadline, probe.address});
    }

    void receiveNodeStatus() {
        m_socket.receiveAvailable(
            DatagramsPerWake, [&](std::span<const std::uint8_t> packet, const sockaddr_in& from) {
                const auto found = m_inFlight.find(from.sin_addr.s_addr);
                if (from.sin_port != htons(m_options.nameServicePort) ||
                    found == m_inFlight.end() || found->second->nameServiceDone)
                    return false;
                Probe& probe = *found->second;
                probe.status = nbns::parseNodeStatusResponse(packet, probe.transactionId);
                if (!probe.status)
                    return false;
                probe.nameServiceDone = true;
                finishIfDone(probe.address);
                return true;
            });
    }

    void connectionEvent(std::uint32_t address, std::uint32_t events) {
        const auto found = m_inFlight.find(address);
        if (found == m_inFlight.end() || !found->second->smb)
            return;
        Probe& probe = *found->second;
        SmbIdentityProbe& smb = *probe.smb;
        const bool wasConnecting = smb.state() == SmbIdentityProbe::State::Connecting;
        smb.handle(events);
        if (wasConnecting && smb.state() == SmbIdentityProbe::State::Exchanging)
            armDeadline(probe, Clock::now());
        if (smb.state() != SmbIdentityProbe::State::Ended) {
            epoll_event event{};
            event.events = smb.events();
            event.data.u64 = TagConnection | address;
            epoll_ctl(m_epoll, EPOLL_CTL_MOD, smb.fd(), &event);
            return;
        }
        --m_openConnections;
        smbEnded(probe);
    }

    // Keeps what the connection learnt once it has ended, and lets its
    // address go when the name service is done too.
    void smbEnded(Probe& probe) {
        if (!probe.smb || probe.smb->state() != SmbIdentityProbe::State::Ended)
            return;
        probe.smbAccepted = probe.smb->accepted();
        probe.challenge = probe.smb->challenge();
        probe.smb.reset();
        finishIfDone(probe.address);
    }

    // Ends the probes whose time is up. Each queue holds deadlines of one
    // time-out, so they are queued in the order they fall; a deadline that
    // no longer matches its probe's is passed over.
    void expire(Clock::time_point now) {
        while (!m_nameServiceDeadlines.empty() && m_nameServiceDeadlines.front().at <= now) {
            const Deadline due = m_nameServiceDeadlines.front();
            m_nameServiceDeadlines.pop_front();
            const auto found = m_inFlight.find(due.address);
            if (found == m_inFlight.end() || found->second->nameServiceDone ||
                found->second->nameServiceDeadline != due.at)
                continue;
            Probe& probe = *found->second;
            if (probe.attemptsLeft > 0) {
                sendNodeStatus(probe, now);
                continue;
            }
            probe.nameServiceDone = true;
            finishIfDone(due.address);
        }
        expireConnections(m_connectDeadlines, now);
        expireConnections(m_exchangeDeadlines, now);
    }

    void expireConnections(std::deque<Deadline>& deadlines, Clock::time_point now) {
        while (!deadlines.empty() && deadlines.front().at <= now) {
            const Deadline due = deadlines.front();
            deadlines.pop_front();
            const auto found = m_inFlight.find(due.address);
            if (found == m_inFlight.end() || !found->second->smb ||
                found->second->smbDeadline != due.at)
                continue;
            Probe& probe = *found->second;
            probe.smb->end();
            --m_openConnections;
            smbEnded(probe);
        }
    }

    void finishIfDone(std::uint32_t address) {
        const auto found = m_inFlight.find(address);
        if (found == m_inFlight.end())
            return;
        const Probe& probe = *found->second;
        if (!probe.nameServiceDone || probe.smb)
            return;
        if (probe.status || probe.smbAccepted) {
            ++m_summary.hostsFound;
            m_found(hostOf(probe));
        }
        m_inFlight.erase(found);
    }

    static SweptHost hostOf(const Probe& probe) {
        SweptHost host{.address = probe.address,
                       .nodeStatusAnswered = probe.status.has_value(),
                       .netbios = std::nullopt,
                       .mac = std::nullopt,
                       .status = probe.status,
                       .smbAccepted = probe.smbAccepted,
                       .ntlm = probe.challenge};
        if (probe.status) {
            host.netbios = identityFromNodeStatus(*probe.status);
            const auto& unit = probe.status->unitId;
            if (std::any_of(unit.begin(), unit.end(), [](std::uint8_t b) { return b != 0; }))
                host.mac = unit;
        }
        return host;
    }

    // Until the next start or the next deadline, whichever is first.
    int waitMs(Clock::time_point now) const {
        Clock::time_point until = now + std::chrono::seconds(1);
        const bool canStart =
            m_inFlight.size() < SweepMaxAddressesInFlight && m_openConnections < m_maxConnections;
        if (canStart)
            until = std::min(until, m_nextStart);
        if (!m_nameServiceDeadlines.empty())
            until = std::min(until, m_nameServiceDeadlines.front().at);
        for (const auto* deadlines : {&m_connectDeadlines, &m_exchangeDeadlines}) {
            if (!deadlines->empty())
                until = std::min(until, deadlines->front().at);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        return static_cast<int>(std::max<std::int64_t>(left, 0));
    }

    const SweepOptions& m_options;
    const AddressSweep::Found& m_found;
    const Clock::duration m_interval;
    std::size_t m_maxConnections;
    int m_epoll = -1;
    std::mt19937 m_random;
    smb2::Guid m_guid{};
    smb2::Salt m_salt{};
    UdpSocket m_socket;
    bool m_ready = false;
    std::unordered_map<std::uint32_t, std::unique_ptr<Probe>> m_inFlight;
    std::deque<Deadline> m_nameServiceDeadlines;
    std::deque<Deadline> m_connectDeadlines;
    std::deque<Deadline> m_exchangeDeadlines;
    std::optional<std::uint32_t> m_pending; // host byte order, waiting for room
    bool m_exhausted = false;               // every address has started
    std::size_t m_openConnections = 0;
    Clock::time_point m_nextStart;
    SweepSummary m_summary;
};

} // namespace

AddressSweep::AddressSweep(SweepOptions options) : m_options(options) {}

SweepSummary AddressSweep::run(AddressSequence& addresses, const Found& found) {
    SweepRun run(m_options, m_stop.fd(), found);
    return run.run(addresses);
}

} // namespace norvane
