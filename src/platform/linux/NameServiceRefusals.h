#pragma once

// The hosts that said lately that no one listens on their name service
// port. A host says so with an ICMP port unreachable, and hosts send few of
// those (Linux: a burst of six, then one a second), so a scan started soon
// after another may hear no refusal at all and wait out every attempt of
// its node status query and of the name query that follows. A refusal
// heard is kept for NameServiceRefusalLifetime: within it, a query to that
// host answers at once without a packet, which also leaves the host's
// budget of refusals to the next time it is asked. A host that starts its
// name service is heard again once its refusal has expired.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace norvane {

constexpr std::chrono::seconds NameServiceRefusalLifetime{30};
// Refusing hosts kept at once: expired ones go first, all when none has.
constexpr std::size_t RefusingHostsKept = 4096;

class NameServiceRefusals {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    explicit NameServiceRefusals(Now now = Clock::now) : m_now(std::move(now)) {}

    // The one the platform's queries share: a host limits its refusals to
    // this machine, whoever asks.
    static NameServiceRefusals& shared();

    // Addresses in network byte order, ports in host byte order.
    void remember(std::uint32_t address, std::uint16_t port);
    bool refused(std::uint32_t address, std::uint16_t port) const;

private:
    using Key = std::pair<std::uint32_t, std::uint16_t>;

    Now m_now;
    mutable std::mutex m_mutex;
    std::map<Key, Clock::time_point> m_refusedAt;
};

} // namespace norvane
