#include "DirectoryZone.h"

#include <cstring>

namespace norvane::directory {

namespace {

constexpr qsizetype RecordHeaderBytes = 24;
constexpr std::uint16_t TypeA = 1;
constexpr std::uint8_t RecordVersion = 5;
constexpr std::uint16_t AddressBytes = 4;

std::uint16_t littleEndian16(const QByteArray& bytes, qsizetype at) {
    return std::uint16_t(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8);
}

} // namespace

std::optional<std::uint32_t> addressOfDnsRecord(const QByteArray& record) {
    if (record.size() < RecordHeaderBytes + AddressBytes)
        return std::nullopt;
    const std::uint16_t dataLength = littleEndian16(record, 0);
    const std::uint16_t type = littleEndian16(record, 2);
    if (type != TypeA || std::uint8_t(record[4]) != RecordVersion || dataLength != AddressBytes ||
        record.size() != RecordHeaderBytes + dataLength)
        return std::nullopt;
    std::uint32_t address = 0;
    std::memcpy(&address, record.constData() + RecordHeaderBytes, AddressBytes);
    return address;
}

DirectoryZone::DirectoryZone(const QString& zone)
    : m_zone(zone.toLower()), m_suffix(QLatin1Char('.') + m_zone) {}

void DirectoryZone::addNode(const QByteArray& nodeName, std::optional<std::uint32_t> address) {
    if (!address || nodeName.isEmpty())
        return;
    const QString key = QString::fromUtf8(nodeName).toLower();
    if (!m_addresses.contains(key))
        m_addresses.insert(key, *address);
}

bool DirectoryZone::holds(const QString& dnsName) const {
    return dnsName.endsWith(m_suffix, Qt::CaseInsensitive) && dnsName.size() > m_suffix.size();
}

std::optional<std::uint32_t> DirectoryZone::addressOf(const QString& dnsName) const {
    if (!holds(dnsName))
        return std::nullopt;
    const auto found = m_addresses.find(dnsName.left(dnsName.size() - m_suffix.size()).toLower());
    if (found == m_addresses.end())
        return std::nullopt;
    return *found;
}

} // namespace norvane::directory
