#pragma once

// The vendor of a network adapter from its MAC address, by the IEEE's
// registries of assigned address blocks as Debian's ieee-data package keeps
// them: large blocks (24-bit prefixes, oui.csv), medium (28-bit, mam.csv)
// and small ones (36-bit, oui36.csv). The longest matching prefix wins. An
// address whose locally-administered bit is set belongs to no vendor and
// says so. Without the registry files no vendor is known.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace norvane {

class MacVendors {
public:
    static constexpr const char* RegistryDirectory = "/usr/share/ieee-data";
    static constexpr std::array<const char*, 3> RegistryFiles = {"oui.csv", "mam.csv", "oui36.csv"};
    // The longest registry file read; the real ones are a few megabytes.
    static constexpr qint64 MaxRegistryBytes = 64 * 1024 * 1024;

    // The registries of `directory`; missing or unreadable files add nothing.
    static MacVendors load(const QString& directory);
    // The registries of the system, read once on first use from any thread.
    static const MacVendors& system();

    // Adds the blocks of one registry file's text; returns how many records
    // were taken. Header, malformed records and assignments of a length
    // other than 6, 7 or 9 hexadecimal digits are skipped.
    qsizetype addRegistry(const QByteArray& csv);

    // The vendor of a MAC address written as six hexadecimal pairs separated
    // by "-" or ":"; nothing for an unknown block or a text that is no
    // address (such as the placeholder of an address not obtained).
    std::optional<QString> vendorOf(const QString& macAddress) const;

    static QString locallyAdministered() { return QStringLiteral("Locally administered"); }

private:
    // Blocks by prefix length: 24, 28 and 36 bits.
    static constexpr std::array<int, 3> PrefixBits = {24, 28, 36};
    std::array<QHash<std::uint64_t, QString>, 3> m_blocks;
};

} // namespace norvane
