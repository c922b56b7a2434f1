#pragma once

// The log-on of the share listings a walk makes ahead of its rows, per
// group: the walk sets it from its log-on policy after each listing, the
// look-up jobs read it for each listing they make. Credentials a computer refused as a wrong
// name or password in a listing ahead are withdrawn for the rest of the
// walk, so that listings ahead stop trying them before the walk reaches that
// computer.

#include "common/Credentials.h"

#include <QString>

#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace norvane {

class AheadLogOn {
public:
    using LogOn = std::optional<Credentials>; // none: ticket or anonymous

    // Nothing: no listing ahead for the group.
    void set(const QString& group, std::optional<LogOn> logOn);
    std::optional<LogOn> current(const QString& group) const;
    void withdraw(const Credentials& credentials);

private:
    bool withdrawn(const LogOn& logOn) const; // with m_mutex held

    mutable std::mutex m_mutex;
    std::map<QString, std::optional<LogOn>> m_byGroup;
    std::vector<Credentials> m_withdrawn;
};

} // namespace norvane
