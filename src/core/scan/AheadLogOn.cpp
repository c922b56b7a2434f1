#include "AheadLogOn.h"

#include <algorithm>

namespace norvane {

void AheadLogOn::set(const QString& group, std::optional<LogOn> logOn) {
    const std::lock_guard lock(m_mutex);
    m_byGroup[group] = std::move(logOn);
}

std::optional<AheadLogOn::LogOn> AheadLogOn::current(const QString& group) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_byGroup.find(group);
    if (found == m_byGroup.end() || !found->second || withdrawn(*found->second))
        return std::nullopt;
    return found->second;
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
