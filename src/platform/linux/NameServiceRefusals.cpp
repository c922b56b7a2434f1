#include "NameServiceRefusals.h"

namespace norvane {

NameServiceRefusals& NameServiceRefusals::shared() {
    static NameServiceRefusals refusals;
    return refusals;
}

void NameServiceRefusals::remember(std::uint32_t address, std::uint16_t port) {
    const Clock::time_point now = m_now();
    const std::lock_guard lock(m_mutex);
    if (m_refusedAt.size() >= RefusingHostsKept) {
        std::erase_if(m_refusedAt, [&](const auto& entry) {
            return now - entry.second >= NameServiceRefusalLifetime;
        });
        if (m_refusedAt.size() >= RefusingHostsKept)
            m_refusedAt.clear();
    }
    m_refusedAt[{address, port}] = now;
}

bool NameServiceRefusals::refused(std::uint32_t address, std::uint16_t port) const {
    const Clock::time_point now = m_now();
    const std::lock_guard lock(m_mutex);
    const auto found = m_refusedAt.find({address, port});
    return found != m_refusedAt.end() && now - found->second < NameServiceRefusalLifetime;
}

} // namespace norvane
