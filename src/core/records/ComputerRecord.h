#pragma once

// One computer as a scan found it, whatever source reported it: what the
// walk emits and what the list, the report, CSV, JSON and the scan store
// read. Texts are as the list shows them: control and reordering
// characters from the network already replaced.

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace norvane {

using MacAddress = std::array<std::uint8_t, 6>;

// How a computer was found; a computer may be found several ways.
enum class FoundBy : std::uint8_t {
    BrowseList = 1u << 0,
    WsDiscovery = 1u << 1,
    DnsSd = 1u << 2,
    Directory = 1u << 3,
    AddressRange = 1u << 4,
};

class FoundBySet {
public:
    constexpr FoundBySet() = default;
    constexpr FoundBySet(FoundBy source) : m_bits(static_cast<std::uint8_t>(source)) {}
    constexpr FoundBySet& operator|=(FoundBySet other) {
        m_bits = static_cast<std::uint8_t>(m_bits | other.m_bits);
        return *this;
    }
    constexpr bool contains(FoundBy source) const {
        return (m_bits & static_cast<std::uint8_t>(source)) != 0;
    }
    constexpr bool empty() const { return m_bits == 0; }
    constexpr std::uint8_t bits() const { return m_bits; }
    static constexpr FoundBySet fromBits(std::uint8_t bits) {
        FoundBySet set;
        set.m_bits = bits;
        return set;
    }
    bool operator==(const FoundBySet&) const = default;

private:
    std::uint8_t m_bits = 0;
};

// "browse list", "WS-Discovery", "DNS-SD", "directory", "address range", in
// that order.
QStringList foundByNames(FoundBySet sources);

// What a domain's directory knows of a computer account.
struct DirectoryFacts {
    QString guid;   // objectGUID, as text
    QString ouPath; // the organisational units above the account, outermost first
    // The last log-on the directory recorded is older than the stale limit.
    bool stale = false;

    bool operator==(const DirectoryFacts&) const = default;
};

struct ComputerRecord {
    QString name;
    QString group;
    QString comment;
    // IPv4 address in network byte order; nothing when the name did not resolve.
    std::optional<std::uint32_t> address;
    std::optional<MacAddress> mac;
    QString vendor; // of the MAC's registered block, where known
    QString dnsName;
    QString operatingSystem;
    QString osVersion;
    FoundBySet foundBy;
    std::optional<DirectoryFacts> directory;

    bool operator==(const ComputerRecord&) const = default;
};

// The operating system and its version as one text ("Windows Server 2022
// 10.0"); empty when neither is known.
QString operatingSystemText(const ComputerRecord& computer);

enum class ShareKind : std::uint8_t { Disk, Printer };

struct ShareRecord {
    QString computer;
    QString name;
    ShareKind kind = ShareKind::Disk;
    QString group;
    QString comment;

    bool operator==(const ShareRecord&) const = default;
};

} // namespace norvane
