#pragma once

// The domain's DNS zone as the directory holds it. A zone integrated into
// Active Directory is a container of dnsNode objects, one per name, whose
// dnsRecord values are the records the domain's DNS servers serve; it is
// read over the same signed and sealed bind as the computers, in one paged
// search instead of one DNS question per computer. Every value is
// untrusted and bounds-checked.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>

namespace norvane::directory {

// The IPv4 address (network byte order) of one dnsRecord value: a 24-byte
// header (data length, type, version 5, rank, flags, serial, TTL, reserved,
// time stamp), then the data, which for an A record is the address.
// Nothing for another type, another version or a malformed value.
std::optional<std::uint32_t> addressOfDnsRecord(const QByteArray& record);

class DirectoryZone {
public:
    // zone: the zone's DNS name, such as "krb.lab".
    explicit DirectoryZone(const QString& zone);

    const QString& name() const { return m_zone; }
    // Adds a node's first IPv4 address; a node with none (a tombstone, a
    // name with other records only) is left out, as DNS would.
    void addNode(const QByteArray& nodeName, std::optional<std::uint32_t> address);
    std::size_t size() const { return std::size_t(m_addresses.size()); }

    // Whether `dnsName` lies in this zone (compared without case).
    bool holds(const QString& dnsName) const;
    // The zone's address for a name it holds; nothing when it has none.
    std::optional<std::uint32_t> addressOf(const QString& dnsName) const;

private:
    QString m_zone;                            // lower case
    QString m_suffix;                          // "." + m_zone
    QHash<QString, std::uint32_t> m_addresses; // lower-case node name
};

} // namespace norvane::directory
