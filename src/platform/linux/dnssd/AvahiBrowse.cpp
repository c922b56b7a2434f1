#include "AvahiBrowse.h"

#include "MdnsQuery.h"
#include "linux/Logging.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <arpa/inet.h>

#include <algorithm>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;

QString addressText(std::uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return QString::fromLatin1(text);
}

// The first label of a host name as the daemon writes it ("nas.local");
// a dot escaped with a backslash belongs to the label.
std::string firstLabel(const char* hostName) {
    std::string label;
    for (const char* c = hostName; *c != '\0' && *c != '.'; ++c) {
        if (*c == '\\' && c[1] != '\0')
            label += *c++;
        label += *c;
    }
    return label;
}

// One browse with its client, browser and resolvers, all freed with it.
class AvahiRound {
public:
    AvahiRound(const std::vector<Adapter>& adapters, const AvahiSettings& settings,
               RoundCancel& cancel)
        : m_adapters(adapters), m_settings(settings), m_cancel(cancel),
          m_poll(avahi_simple_poll_new()) {}
    AvahiRound(const AvahiRound&) = delete;
    AvahiRound& operator=(const AvahiRound&) = delete;
    ~AvahiRound() {
        m_cancel.setWake({});
        // Freeing the client frees its browser and resolvers too.
        if (m_client)
            avahi_client_free(m_client);
        if (m_poll)
            avahi_simple_poll_free(m_poll);
    }

    std::optional<std::vector<ResolvedService>> run() {
        if (!m_poll)
            return std::nullopt;
        int error = 0;
        m_client = avahi_client_new(avahi_simple_poll_get(m_poll), AvahiClientFlags(0),
                                    &AvahiRound::clientChanged, this, &error);
        if (!m_client) {
            qCDebug(lcDnsSd) << "no Avahi daemon:" << avahi_strerror(error);
            return std::nullopt;
        }
        AvahiSimplePoll* simplePoll = m_poll;
        m_cancel.setWake([simplePoll] { avahi_simple_poll_wakeup(simplePoll); });
        if (!avahi_service_browser_new(m_client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET,
                                       m_settings.service.c_str(), nullptr, AvahiLookupFlags(0),
                                       &AvahiRound::browsed, this)) {
            qCDebug(lcDnsSd) << "Avahi cannot browse:"
                             << avahi_strerror(avahi_client_errno(m_client));
            return std::nullopt;
        }
        qCDebug(lcDnsSd) << "browsing" << m_settings.service.c_str() << "through Avahi";
        runUntil(Clock::now() + m_settings.browseWindow, [this] { return m_browseDone; });
        runUntil(Clock::now() + m_settings.resolveWindow, [this] { return m_resolving == 0; });
        if (m_resolving > 0)
            qCDebug(lcDnsSd) << m_resolving << "instances left out: not resolved in time";
        if (m_failed)
            return std::nullopt;
        return std::move(m_services);
    }

private:
    template <typename Done> void runUntil(Clock::time_point deadline, Done done) {
        while (!done() && !m_failed && !m_cancel.cancelled()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 ||
                avahi_simple_poll_iterate(m_poll, static_cast<int>(left.count())) != 0)
                return;
        }
    }

    static void clientChanged(AvahiClient*, AvahiClientState state, void* self) {
        if (state == AVAHI_CLIENT_FAILURE) {
            qCDebug(lcDnsSd) << "the Avahi daemon went away";
            static_cast<AvahiRound*>(self)->m_failed = true;
        }
    }

    static void browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                        AvahiBrowserEvent event, const char* name, const char* type,
                        const char* domain, AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<AvahiRound*>(data);
        switch (event) {
        case AVAHI_BROWSER_NEW:
            self->resolve(interface, protocol, name, type, domain);
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
            qCDebug(lcDnsSd) << "Avahi has browsed all for now";
            self->m_browseDone = true;
            break;
        case AVAHI_BROWSER_FAILURE:
            qCDebug(lcDnsSd) << "Avahi browsing failed:"
                             << avahi_strerror(avahi_client_errno(self->m_client));
            self->m_browseDone = true;
            break;
        case AVAHI_BROWSER_REMOVE:
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            break;
        }
    }

    void resolve(AvahiIfIndex interface, AvahiProtocol protocol, const char* name, const char* type,
                 const char* domain) {
        if (m_started >= MaxServiceInstances) {
            qCDebug(lcDnsSd) << "ignored instance" << name << ": more than" << MaxServiceInstances
                             << "instances";
            return;
        }
        qCDebug(lcDnsSd) << "instance" << name << "in" << domain;
        if (avahi_service_resolver_new(m_client, interface, protocol, name, type, domain,
                                       AVAHI_PROTO_INET, AvahiLookupFlags(0), &AvahiRound::resolved,
                                       this)) {
            ++m_started;
            ++m_resolving;
        }
    }

    static void resolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol,
                         AvahiResolverEvent event, const char* name, const char*,
                         const char* domain, const char* hostName, const AvahiAddress* address,
                         std::uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<AvahiRound*>(data);
        --self->m_resolving;
        if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET)
            self->take(name, domain, hostName, address->data.ipv4.address, port);
        else
            qCDebug(lcDnsSd) << "instance" << name << "left out: not resolved";
        avahi_service_resolver_free(resolver);
    }

    void take(const char* name, const char* domain, const char* hostName, std::uint32_t address,
              std::uint16_t port) {
        if (std::none_of(m_adapters.begin(), m_adapters.end(),
                         [&](const Adapter& adapter) { return adapter.onLink(address); })) {
            qCDebug(lcDnsSd) << "instance" << name << "left out: address" << addressText(address)
                             << "not on an adapter's network";
            return;
        }
        qCDebug(lcDnsSd) << "instance" << name << "is on" << hostName << addressText(address)
                         << "port" << port;
        m_services.push_back({name, firstLabel(hostName), domain, address, port});
    }

    const std::vector<Adapter>& m_adapters;
    const AvahiSettings& m_settings;
    RoundCancel& m_cancel;
    AvahiSimplePoll* m_poll = nullptr;
    AvahiClient* m_client = nullptr;
    bool m_browseDone = false;
    bool m_failed = false;
    std::size_t m_started = 0;
    std::size_t m_resolving = 0;
    std::vector<ResolvedService> m_services;
};

} // namespace

std::optional<std::vector<ResolvedService>> browseWithAvahi(const std::vector<Adapter>& adapters,
                                                            const AvahiSettings& settings,
                                                            RoundCancel& cancel) {
    AvahiRound round(adapters, settings, cancel);
    return round.run();
}

} // namespace norvane
