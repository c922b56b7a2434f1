#include "ScanComparison.h"

#include <QHash>
#include <QtEndian>

#include <functional>

namespace norvane {

namespace {
QString guidKey(const ComputerRecord& computer) {
    return computer.directory && !computer.directory->guid.isEmpty()
               ? computer.directory->guid.toLower()
               : QString();
}

QString macKey(const ComputerRecord& computer) {
    return computer.mac && isGlobalMac(*computer.mac) ? macAddressText(*computer.mac) : QString();
}

QString nameKey(const ComputerRecord& computer) {
    return computer.group.toUpper() + QLatin1Char('\\') + computer.name.toUpper();
}

// Pairs each newer row with at most one older row: in each pass, by the
// pass's key, among the rows neither earlier pass paired. Rows whose keys
// of an earlier pass are both known (and so differ) are not paired later.
using KeyOf = std::function<QString(const ComputerRecord&)>;

std::vector<int> pairComputers(const std::vector<ComputerRecord>& older,
                               const std::vector<ComputerRecord>& newer) {
    std::vector<int> partner(newer.size(), -1);
    std::vector<bool> olderTaken(older.size(), false);
    const KeyOf passes[] = {guidKey, macKey, nameKey};
    for (std::size_t pass = 0; pass < std::size(passes); ++pass) {
        QMultiHash<QString, int> byKey;
        for (int i = static_cast<int>(older.size()) - 1; i >= 0; --i) {
            const QString key = passes[pass](older[static_cast<std::size_t>(i)]);
            if (!olderTaken[static_cast<std::size_t>(i)] && !key.isEmpty())
                byKey.insert(key, i);
        }
        for (std::size_t n = 0; n < newer.size(); ++n) {
            if (partner[n] >= 0)
                continue;
            const QString key = passes[pass](newer[n]);
            if (key.isEmpty())
                continue;
            for (auto it = byKey.find(key); it != byKey.end() && it.key() == key; ++it) {
                const auto o = static_cast<std::size_t>(it.value());
                if (olderTaken[o])
                    continue;
                bool distinct = false;
                for (std::size_t earlier = 0; earlier < pass; ++earlier) {
                    const QString a = passes[earlier](older[o]);
                    const QString b = passes[earlier](newer[n]);
                    distinct = distinct || (!a.isEmpty() && !b.isEmpty());
                }
                if (distinct)
                    continue;
                partner[n] = it.value();
                olderTaken[o] = true;
                break;
            }
        }
    }
    return partner;
}

void addField(std::vector<FieldChange>& fields, const char* field, const QString& before,
              const QString& after) {
    fields.push_back(FieldChange{.field = QLatin1String(field), .before = before, .after = after});
}

std::vector<FieldChange> computerFields(const ComputerRecord& before, const ComputerRecord& after) {
    std::vector<FieldChange> fields;
    if (before.name.compare(after.name, Qt::CaseInsensitive) != 0)
        addField(fields, "name", before.name, after.name);
    if (before.address && after.address && *before.address != *after.address)
        addField(fields, "address", addressText(*before.address), addressText(*after.address));
    // Randomised (locally administered) addresses change all the time.
    if (before.mac && after.mac && *before.mac != *after.mac &&
        (isGlobalMac(*before.mac) || isGlobalMac(*after.mac)))
        addField(fields, "mac", macAddressText(*before.mac), macAddressText(*after.mac));
    if (before.group.compare(after.group, Qt::CaseInsensitive) != 0)
        addField(fields, "group", before.group, after.group);
    if (before.comment != after.comment)
        addField(fields, "comment", before.comment, after.comment);
    const QString osBefore = operatingSystemText(before);
    const QString osAfter = operatingSystemText(after);
    if (!osBefore.isEmpty() && !osAfter.isEmpty() && osBefore != osAfter)
        addField(fields, "os", osBefore, osAfter);
    return fields;
}

QString shareKey(const ShareRecord& share) {
    return share.computer.toUpper() + QLatin1Char('\\') + share.name.toUpper();
}

QString shareKindText(ShareKind kind) {
    return kind == ShareKind::Printer ? QStringLiteral("printer") : QStringLiteral("disk");
}

// Pairs each newer share with the first unpaired older one of the same
// computer and name.
std::vector<int> pairShares(const std::vector<ShareRecord>& older,
                            const std::vector<ShareRecord>& newer) {
    QMultiHash<QString, int> olderByKey;
    for (int i = static_cast<int>(older.size()) - 1; i >= 0; --i)
        olderByKey.insert(shareKey(older[static_cast<std::size_t>(i)]), i);
    std::vector<bool> olderTaken(older.size(), false);
    std::vector<int> partner(newer.size(), -1);
    for (std::size_t n = 0; n < newer.size(); ++n) {
        const QString key = shareKey(newer[n]);
        for (auto it = olderByKey.find(key); it != olderByKey.end() && it.key() == key; ++it) {
            if (olderTaken[static_cast<std::size_t>(it.value())])
                continue;
            partner[n] = it.value();
            olderTaken[static_cast<std::size_t>(it.value())] = true;
            break;
        }
    }
    return partner;
}

std::vector<std::size_t> unpaired(const std::vector<int>& partner) {
    std::vector<std::size_t> rows;
    for (std::size_t n = 0; n < partner.size(); ++n) {
        if (partner[n] < 0)
            rows.push_back(n);
    }
    return rows;
}

std::vector<FieldChange> shareFields(const ShareRecord& before, const ShareRecord& after) {
    std::vector<FieldChange> fields;
    if (before.kind != after.kind)
        addField(fields, "kind", shareKindText(before.kind), shareKindText(after.kind));
    if (before.group.compare(after.group, Qt::CaseInsensitive) != 0)
        addField(fields, "group", before.group, after.group);
    if (before.comment != after.comment)
        addField(fields, "comment", before.comment, after.comment);
    return fields;
}
} // namespace

bool isGlobalMac(const MacAddress& mac) {
    if ((mac[0] & 0x03) != 0)
        return false;
    for (std::uint8_t octet : mac) {
        if (octet != 0)
            return true;
    }
    return false;
}

QString addressText(std::uint32_t address) {
    const std::uint32_t host = qFromBigEndian(address);
    return QStringLiteral("%1.%2.%3.%4")
        .arg(host >> 24)
        .arg((host >> 16) & 0xFF)
        .arg((host >> 8) & 0xFF)
        .arg(host & 0xFF);
}

QString macAddressText(const MacAddress& mac) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(17);
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('-');
        text += QLatin1Char(Digits[mac[i] >> 4]);
        text += QLatin1Char(Digits[mac[i] & 0x0F]);
    }
    return text;
}


std::vector<ComputerChange> compareComputers(const std::vector<ComputerRecord>& older,
                                             const std::vector<ComputerRecord>& newer,
                                             bool newerComplete) {
    const std::vector<int> partner = pairComputers(older, newer);
    std::vector<bool> olderSeen(older.size(), false);
    std::vector<ComputerChange> changes;
    for (std::size_t n = 0; n < newer.size(); ++n) {
        if (partner[n] < 0) {
            changes.push_back(ComputerChange{
                .kind = ChangeKind::New, .before = std::nullopt, .after = newer[n], .fields = {}});
            continue;
        }
        const ComputerRecord& before = older[static_cast<std::size_t>(partner[n])];
        olderSeen[static_cast<std::size_t>(partner[n])] = true;
        std::vector<FieldChange> fields = computerFields(before, newer[n]);
        if (!fields.empty())
            changes.push_back(ComputerChange{.kind = ChangeKind::Changed,
                                             .before = before,
                                             .after = newer[n],
                                             .fields = std::move(fields)});
    }
    if (newerComplete) {
        for (std::size_t o = 0; o < older.size(); ++o) {
            if (!olderSeen[o])
                changes.push_back(ComputerChange{.kind = ChangeKind::Gone,
                                                 .before = older[o],
                                                 .after = std::nullopt,
                                                 .fields = {}});
        }
    }
    return changes;
}

std::vector<std::size_t> newComputerRows(const std::vector<ComputerRecord>& older,
                                         const std::vector<ComputerRecord>& newer) {
    return unpaired(pairComputers(older, newer));
}

std::vector<std::size_t> newShareRows(const std::vector<ShareRecord>& older,
                                      const std::vector<ShareRecord>& newer) {
    return unpaired(pairShares(older, newer));
}

std::vector<ShareChange> compareShares(const std::vector<ShareRecord>& older,
                                       const std::vector<ShareRecord>& newer, bool newerComplete) {
    const std::vector<int> partner = pairShares(older, newer);
    std::vector<bool> olderSeen(older.size(), false);
    std::vector<ShareChange> changes;
    for (std::size_t n = 0; n < newer.size(); ++n) {
        const ShareRecord& share = newer[n];
        if (partner[n] < 0) {
            changes.push_back(ShareChange{
                .kind = ChangeKind::New, .before = std::nullopt, .after = share, .fields = {}});
            continue;
        }
        const ShareRecord& before = older[static_cast<std::size_t>(partner[n])];
        olderSeen[static_cast<std::size_t>(partner[n])] = true;
        std::vector<FieldChange> fields = shareFields(before, share);
        if (!fields.empty())
            changes.push_back(ShareChange{.kind = ChangeKind::Changed,
                                          .before = before,
                                          .after = share,
                                          .fields = std::move(fields)});
    }
    if (newerComplete) {
        for (std::size_t o = 0; o < older.size(); ++o) {
            if (!olderSeen[o])
                changes.push_back(ShareChange{.kind = ChangeKind::Gone,
                                              .before = older[o],
                                              .after = std::nullopt,
                                              .fields = {}});
        }
    }
    return changes;
}

} // namespace norvane
