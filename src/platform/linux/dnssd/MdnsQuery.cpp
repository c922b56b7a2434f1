#include "MdnsQuery.h"

#include "dns/DnsCodec.h"
#include "linux/Logging.h"
#include "linux/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <optional>
#include <random>

namespace norvane {

namespace {

using Clock = UdpSocket::Clock;
// The largest message a multicast DNS responder may send.
static_assert(MaxUdpDatagram >= 9000);
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
    }
    MulticastBrowse(const MulticastBrowse&) = delete;
    MulticastBrowse& operator=(const MulticastBrowse&) = delete;

    std::vector<ResolvedService> run() {
        if (!m_socket.valid() || m_service.empty() || m_adapters.empty())
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
        for (const Adapter& adapter : m_adapters) {
            if (!m_socket.setMulticastInterface(adapter.address))
                continue;
            qCDebug(lcDnsSd) << "asking" << text(questions.front().name) << "type"
                             << questions.front().type << "out of" << adapter.name.c_str();
            // A lost query costs only its answers; the round goes on.
            m_socket.sendTo(*message, htonl(m_settings.group), m_settings.port);
        }
    }

    void receiveFor(std::chrono::milliseconds window) {
        m_socket.receiveUntil(
            Clock::now() + window, m_cancel.fd(),
            [this](std::span<const std::uint8_t> packet, const sockaddr_in& from) {
                take(packet, from);
                return m_cancel.cancelled();
            });
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
    const UdpSocket m_socket{UdpSocketOptions{.broadcast = false, .multicastTtl = MdnsTtl}};
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
