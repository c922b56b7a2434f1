#pragma once

// Discovered hosts and browse entries written as short texts, for the
// tests of how discovery joins the browse list.

#include "discovery/DiscoveredHost.h"
#include "discovery/SmbEntry.h"

#include <QStringList>

#include <arpa/inet.h>

#include <vector>

namespace norvane::test {

// "NAME@GROUP@a.b.c.d" items, as a host list.
inline std::vector<DiscoveredHost> hostsFrom(const QStringList& items) {
    std::vector<DiscoveredHost> hosts;
    for (const QString& item : items) {
        const QStringList parts = item.split(QLatin1Char('@'));
        DiscoveredHost host{.name = parts[0].toStdString(),
                            .group = parts[1].toStdString(),
                            .address = 0,
                            .foundBy = FoundBy::WsDiscovery};
        if (parts.size() > 2)
            host.address = inet_addr(parts[2].toLatin1().constData());
        hosts.push_back(host);
    }
    return hosts;
}

inline std::vector<SmbEntry> entriesFrom(unsigned type, const QStringList& names) {
    std::vector<SmbEntry> entries;
    for (const QString& name : names)
        entries.push_back({type, name.toStdString(), {}});
    return entries;
}

inline QStringList namesOf(const std::vector<SmbEntry>& entries) {
    QStringList names;
    for (const SmbEntry& entry : entries)
        names << QString::fromStdString(entry.name);
    return names;
}

} // namespace norvane::test
