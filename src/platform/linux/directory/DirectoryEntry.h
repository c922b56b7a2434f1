#pragma once

// One computer object as the directory sent it, and how it becomes a
// computer record. Every value is untrusted text of bounded length.

#include "records/ComputerRecord.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

namespace norvane::directory {

// Each value cut to MaxValueBytes when it was read.
struct DirectoryEntry {
    QByteArray distinguishedName;
    QByteArray name;
    QByteArray samAccountName;
    QByteArray description;
    QByteArray dnsHostName;
    QByteArray operatingSystem;
    QByteArray operatingSystemVersion;
    QByteArray userAccountControl;
    QByteArray lastLogonTimestamp;
    QByteArray objectGuid;
};

struct MappedEntry {
    std::optional<ComputerRecord> record; // nothing when the entry is left out
    QString note; // why it was left out, or what is odd about it; empty when nothing is
};

// A NetBIOS computer name: 1 to 15 characters, none of them a control
// character or one of \ / : * ? " < > |.
bool isValidNetBiosName(const QString& name);

// The organisational units of a distinguished name, outermost first,
// joined by '/'; empty for a DN that cannot be read.
QString organisationalUnitPath(const QByteArray& distinguishedName);

// objectGUID's 16 bytes as the usual text, the first three fields little-endian.
QString guidText(const QByteArray& bytes);

class DirectoryEntryMapper {
public:
    DirectoryEntryMapper(QString group, std::chrono::system_clock::time_point now)
        : m_group(std::move(group)), m_now(now) {}

    // Disabled accounts and entries without a usable name are left out; an
    // account whose last log-on is older than StaleAge is marked stale; a name
    // that is not a valid NetBIOS name is kept as given, with a note.
    MappedEntry map(const DirectoryEntry& entry) const;

private:
    QString m_group;
    std::chrono::system_clock::time_point m_now;
};

} // namespace norvane::directory
