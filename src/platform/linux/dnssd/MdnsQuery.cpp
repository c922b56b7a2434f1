#include "MdnsQuery.h"

#include "DnsCodec.h"
#include "linux/Logging.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <random>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;
// The largest message a multicast DNS responder may send.
constexpr std::size_t MaxMdnsMessage = 9000;
// Multicast DNS packets carry the largest TTL, so that a receiver can tell
// that they came from the local link.
constexpr int MdnsTtl = 255;
constexpr std::uint16_t RcodeMask = 0x000F;
constexpr unsigned OpcodeShift = 11;
constexpr std::uint16_t OpcodeMask = 0x000F;

QString addressText(std::uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return QString::fromLatin1(text);
}

QString text(const dns::Name& name) {
    return QString::fromStdString(dns::nameText(name));
}

struct Instance {
    dns::Name name;
    std::optional<dns::SrvData> service;
};

struct HostAddress {
    dns::Name host;
    std::uint32_t address = 0;
};

class MulticastBrowse {
public:
    MulticastBrowse(const std::vector<Adapter>& adapters, const MdnsSettings& settings,
                    const RoundCancel& cancel)
        : m_adapters(adapters), m_settings(settings), m_cancel(cancel),
          m_id(static_cast<std::uint16_t>(std::random_device{}() & 0xFFFF)) {
        m_service =
            dns::nameFromText(settings.service + '.' + settings.domain).value_or(dns::Name{});
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        const int ttl = MdnsTtl;
        if (setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
            bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    MulticastBrowse(const MulticastBrowse&) = delete;
    MulticastBrowse& operator=(const MulticastBrowse&) = delete;
    ~MulticastBrowse() {
        if (m_fd >= 0)
            close(m_fd);
    }

    std::vector<ResolvedService> run() {
        if (m_fd < 0 || m_service.empty() || m_adapters.empty())
            return {};
        ask({{m_service, dns::TypePTR}});
        receiveFor(m_settings.browseWindow);
        // Answers usually carry the service and address records as
        // additional records; what is missing is asked for, services
        // first, then the addresses of the hosts they name.
        for (int round = 0; round < 2 && !m_cancel.cancelled(); ++round) {
            std::vector<dns::Question> missing;
            const auto add = [&](const dns::Name& name, std::uint16_t type) {
                if (std::none_of(missing.begin(), missing.end(), [&](const dns::Question& q) {
                        return q.type == type && dns::sameName(q.name, name);
                    }))
                    missing.push_back({name, type});
            };
            for (const Instance& instance : m_instances) {
                if (!instance.service)
                    add(instance.name, dns::TypeSRV);
                else if (!addressOf(instance.service->target))
                    add(instance.service->target, dns::TypeA);
            }
            if (missing.empty())
                break;
            for (const dns::Question& question : missing)
                ask({question});
            receiveFor(m_settings.resolveWindow);
        }
        return resolved();
    }

private:
    void ask(std::vector<dns::Question> questions) {
        const auto message = dns::queryMessage(m_id, questions);
        if (!message)
            return;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(m_settings.group);
        to.sin_port = htons(m_settings.port);
        for (const Adapter& adapter : m_adapters) {
            in_addr out{};
            out.s_addr = adapter.address;
            if (setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) != 0)
                continue;
            qCDebug(lcDnsSd) << "asking" << text(questions.front().name) << "type"
                             << questions.front().type << "out of" << adapter.name.c_str();
            // A lost query costs only its answers; the round goes on.
            (void)sendto(m_fd, message->data(), message->size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
    }

    void receiveFor(std::chrono::milliseconds window) {
        const auto deadline = Clock::now() + window;
        std::array<std::uint8_t, MaxMdnsMessage> buffer{};
        while (!m_cancel.cancelled()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return;
            std::array<pollfd, 2> waits{pollfd{m_fd, POLLIN, 0}, pollfd{m_cancel.fd(), POLLIN, 0}};
            const int ready =
                poll(waits.data(), m_cancel.fd() >= 0 ? 2 : 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || (waits[0].revents & POLLIN) == 0)
                return;
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (got < 0 || fromSize < sizeof from || from.sin_family != AF_INET)
                continue;
            take(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)), from);
        }
    }

    bool onAdapterNetwork(std::uint32_t address) const {
        return std::any_of(m_adapters.begin(), m_adapters.end(),
                           [&](const Adapter& adapter) { return adapter.onLink(address); });
    }

    void take(std::span<const std::uint8_t> packet, const sockaddr_in& from) {
        const QString sender = addressText(from.sin_addr.s_addr);
        if (from.sin_port != htons(m_settings.port) || !onAdapterNetwork(from.sin_addr.s_addr)) {
            qCDebug(lcDnsSd) << "ignored a datagram from" << sender << "port"
                             << ntohs(from.sin_port) << ": not a responder on our networks";
            return;
        }
        const dns::ParseResult parsed = dns::parseMessage(packet);
        if (!parsed.message) {
            qCDebug(lcDnsSd) << "ignored a malformed answer from" << sender << ":"
                             << dns::errorText(parsed.error);
            return;
        }
        const dns::Message& message = *parsed.message;
        if (!message.isResponse() || message.id != m_id || (message.flags & RcodeMask) != 0 ||
            ((message.flags >> OpcodeShift) & OpcodeMask) != 0) {
            qCDebug(lcDnsSd) << "ignored a message from" << sender << ": no answer to our query (id"
                             << message.id << ")";
            return;
        }
        qCDebug(lcDnsSd) << "answer from" << sender << "with" << message.records.size()
                         << "records";
        // Pointers first, then services, then addresses, so that the order
        // of records in the message does not matter.
        for (const dns::Record& record : message.records)
            if (const auto* pointer = std::get_if<dns::PtrData>(&record.data))
                takePointer(record, *pointer, sender);
        for (const dns::Record& record : message.records)
            if (const auto* service = std::get_if<dns::SrvData>(&record.data))
                takeService(record, *service);
        for (const dns::Record& record : message.records)
            if (const auto* address = std::get_if<dns::AddressData>(&record.data))
                takeAddress(record, *address);
    }

    Instance* instanceNamed(const dns::Name& name) {
        const auto found =
            std::find_if(m_instances.begin(), m_instances.end(),
                         [&](const Instance& i) { return dns::sameName(i.name, name); });
        return found == m_instances.end() ? nullptr : &*found;
    }

    std::optional<std::uint32_t> addressOf(const dns::Name& host) const {
        for (const HostAddress& known : m_addresses)
            if (dns::sameName(known.host, host))
                return known.address;
        return std::nullopt;
    }

    void takePointer(const dns::Record& record, const dns::PtrData& pointer,
                     const QString& sender) {
        if (record.rrClass != dns::ClassIN || !dns::sameName(record.name, m_service)) {
            qCDebug(lcDnsSd) << "ignored a pointer from" << sender << "for" << text(record.name)
                             << ": not asked";
            return;
        }
        if (pointer.target.empty() || instanceNamed(pointer.target))
            return;
        if (m_instances.size() >= MaxServiceInstances) {
            qCDebug(lcDnsSd) << "ignored instance" << text(pointer.target) << ": more than"
                             << MaxServiceInstances << "instances";
            return;
        }
        qCDebug(lcDnsSd) << "instance" << text(pointer.target) << "from" << sender;
        m_instances.push_back({pointer.target, std::nullopt});
    }

    void takeService(const dns::Record& record, const dns::SrvData& service) {
        Instance* instance = instanceNamed(record.name);
        if (record.rrClass != dns::ClassIN || !instance || instance->service ||
            service.target.empty())
            return;
        qCDebug(lcDnsSd) << "instance" << text(record.name) << "is on" << text(service.target)
                         << "port" << service.port;
        instance->service = service;
    }

    void takeAddress(const dns::Record& record, const dns::AddressData& address) {
        const bool asked =
            std::any_of(m_instances.begin(), m_instances.end(), [&](const Instance& i) {
                return i.service && dns::sameName(i.service->target, record.name);
            });
        if (record.rrClass != dns::ClassIN || !asked || addressOf(record.name))
            return;
        if (!onAdapterNetwork(address.address)) {
            qCDebug(lcDnsSd) << "ignored address" << addressText(address.address) << "of"
                             << text(record.name) << ": not on an adapter's network";
            return;
        }
        m_addresses.push_back({record.name, address.address});
    }

    std::vector<ResolvedService> resolved() const {
        std::vector<ResolvedService> services;
        for (const Instance& instance : m_instances) {
            const auto address =
                instance.service ? addressOf(instance.service->target) : std::nullopt;
            if (!address) {
                qCDebug(lcDnsSd) << "instance" << text(instance.name) << "left out: unresolved";
                continue;
            }
            services.push_back({instance.name.front(), instance.service->target.front(),
                                m_settings.domain, *address, instance.service->port});
        }
        return services;
    }

    const std::vector<Adapter>& m_adapters;
    const MdnsSettings& m_settings;
    const RoundCancel& m_cancel;
    const std::uint16_t m_id;
    dns::Name m_service;
    int m_fd = -1;
    std::vector<Instance> m_instances;
    std::vector<HostAddress> m_addresses;
};

} // namespace

std::vector<ResolvedService> browseByMulticast(const std::vector<Adapter>& adapters,
                                               const MdnsSettings& settings,
                                               const RoundCancel& cancel) {
    MulticastBrowse browse(adapters, settings, cancel);
    return browse.run();
}

} // namespace norvane
