#include "AheadLogOn.h"

#include <algorithm>

namespace norvane {

void AheadLogOn::set(std::optional<LogOn> logOn) {
    const std::lock_guard lock(m_mutex);
    m_current = std::move(logOn);
}

std::optional<AheadLogOn::LogOn> AheadLogOn::current() const {
    const std::lock_guard lock(m_mutex);
    if (!m_current || withdrawn(*m_current))
        return std::nullopt;
    return m_current;
}

void AheadLogOn::withdraw(const Credentials& credentials) {
    const std::lock_guard lock(m_mutex);
    if (!withdrawn(credentials))
        m_withdrawn.push_back(credentials);
}

bool AheadLogOn::withdrawn(const LogOn& logOn) const {
    return logOn && std::find(m_withdrawn.begin(), m_withdrawn.end(), *logOn) != m_withdrawn.end();
}

} // namespace norvane
