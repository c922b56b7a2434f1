#include "DirectoryEntry.h"

#include "DirectoryLimits.h"

#include <ldap.h>

namespace norvane::directory {

namespace {

constexpr std::uint32_t AccountDisable = 0x2;
// Seconds between 1601-01-01, where the directory's times start, and 1970-01-01.
constexpr std::int64_t FileTimeEpochOffsetS = 11644473600;
constexpr std::int64_t FileTimeTicksPerSecond = 10000000;

QString text(const QByteArray& value) {
    return QString::fromUtf8(value);
}

bool isStale(const QByteArray& lastLogon, std::chrono::system_clock::time_point now) {
    bool ok = false;
    const qint64 ticks = lastLogon.toLongLong(&ok);
    if (!ok || ticks <= 0)
        return false; // never recorded: nothing says the account is old
    const std::chrono::seconds since1970(ticks / FileTimeTicksPerSecond - FileTimeEpochOffsetS);
    return now - std::chrono::system_clock::time_point(since1970) > StaleAge;
}

} // namespace

bool isValidNetBiosName(const QString& name) {
    if (name.isEmpty() || name.size() > NetBiosNameLength)
        return false;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            QStringView(u"\\/:*?\"<>|").contains(c))
            return false;
    }
    return true;
}

QString organisationalUnitPath(const QByteArray& distinguishedName) {
    LDAPDN dn = nullptr;
    berval value{.bv_len = ber_len_t(distinguishedName.size()),
                 .bv_val = const_cast<char*>(distinguishedName.constData())};
    if (ldap_bv2dn(&value, &dn, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || dn == nullptr)
        return {};
    QStringList units;
    for (int i = 0; dn[i] != nullptr; ++i) {
        const LDAPAVA* const ava = dn[i][0];
        if (ava == nullptr || dn[i][1] != nullptr)
            continue; // multi-valued RDNs are no organisational units
        const QByteArray type(ava->la_attr.bv_val, qsizetype(ava->la_attr.bv_len));
        if (type.compare("OU", Qt::CaseInsensitive) == 0)
            units.prepend(QString::fromUtf8(ava->la_value.bv_val, qsizetype(ava->la_value.bv_len)));
    }
    ldap_dnfree(dn);
    return units.join(QLatin1Char('/'));
}

QString guidText(const QByteArray& bytes) {
    if (bytes.size() != 16)
        return {};
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    return QString::asprintf("%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                             b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10],
                             b[11], b[12], b[13], b[14], b[15]);
}

MappedEntry DirectoryEntryMapper::map(const DirectoryEntry& entry) const {
    QString name = text(entry.name);
    if (name.isEmpty()) {
        name = text(entry.samAccountName);
        if (name.endsWith(QLatin1Char('$')))
            name.chop(1);
    }
    if (name.isEmpty())
        return {.record = std::nullopt, .note = QStringLiteral("left out: no name")};
    if (name.size() > MaxNameLength)
        return {.record = std::nullopt,
                .note = QStringLiteral("left out: a name of %1 characters").arg(name.size())};
    bool ok = false;
    const auto control = std::uint32_t(entry.userAccountControl.toLongLong(&ok));
    if (ok && (control & AccountDisable) != 0)
        return {.record = std::nullopt, .note = QStringLiteral("left out: account disabled")};

    const bool stale = isStale(entry.lastLogonTimestamp, m_now);
    MappedEntry mapped{
        .record =
            ComputerRecord{
                .name = name,
                .group = m_group,
                .comment = text(entry.description),
                .address = std::nullopt,
                .mac = std::nullopt,
                .vendor = {},
                .dnsName = text(entry.dnsHostName).toLower(),
                .operatingSystem = text(entry.operatingSystem),
                .osVersion = text(entry.operatingSystemVersion),
                .foundBy = FoundBy::Directory,
                .directory =
                    DirectoryFacts{
                        .guid = guidText(entry.objectGuid),
                        .ouPath = organisationalUnitPath(entry.distinguishedName),
                        .stale = stale,
                    },
            },
        .note = {},
    };
    if (!isValidNetBiosName(name))
        mapped.note = QStringLiteral("not a valid NetBIOS name, shown as given");
    else if (!ok && !entry.userAccountControl.isEmpty())
        mapped.note = QStringLiteral("unreadable userAccountControl, taken as enabled");
    return mapped;
}

} // namespace norvane::directory
