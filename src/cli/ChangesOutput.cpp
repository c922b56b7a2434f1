#include "ChangesOutput.h"

#include "CsvExport.h"
#include "JsonExport.h"
#include "common/CsvReader.h"
#include "common/VisibleText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace norvane {

namespace {
constexpr int JsonVersion = 1;

QString changeWord(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::New:
        return QStringLiteral("new");
    case ChangeKind::Gone:
        return QStringLiteral("gone");
    case ChangeKind::Changed:
        return QStringLiteral("changed");
    }
    return QString();
}

QString localTime(const QDateTime& time) {
    return isoTimestampWithOffset(time.toLocalTime());
}

QString computerLine(const ComputerRecord& computer) {
    QString line = visibleText(computer.name);
    if (!computer.group.isEmpty())
        line += QStringLiteral(" (") + visibleText(computer.group) + QLatin1Char(')');
    if (computer.address)
        line += QLatin1Char(' ') + addressText(*computer.address);
    if (computer.mac)
        line += QLatin1Char(' ') + macAddressText(*computer.mac);
    if (!computer.comment.isEmpty())
        line += QStringLiteral(" \"") + visibleText(computer.comment) + QLatin1Char('"');
    return line;
}

QString shareLine(const ShareRecord& share) {
    QString line = QStringLiteral("\\\\") + visibleText(share.computer) + QLatin1Char('\\') +
                   visibleText(share.name);
    if (!share.comment.isEmpty())
        line += QStringLiteral(" \"") + visibleText(share.comment) + QLatin1Char('"');
    return line;
}

template <typename Change, typename Line>
void reportChanges(QString& text, const std::vector<Change>& changes, Line line) {
    for (ChangeKind kind : {ChangeKind::New, ChangeKind::Gone, ChangeKind::Changed}) {
        QString block;
        for (const Change& change : changes) {
            if (change.kind != kind)
                continue;
            block += QStringLiteral("  ") + line(change.current()) + QLatin1Char('\n');
            for (const FieldChange& field : change.fields)
                block += QStringLiteral("    %1: \"%2\" -> \"%3\"\n")
                             .arg(field.field, visibleText(field.before), visibleText(field.after));
        }
        if (!block.isEmpty()) {
            QString heading = changeWord(kind);
            heading[0] = heading[0].toUpper();
            text += heading + QStringLiteral(":\n") + block;
        }
    }
}

QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonObject computerJson(const ComputerRecord& computer) {
    return QJsonObject{
        {QStringLiteral("name"), computer.name},
        {QStringLiteral("group"), computer.group},
        {QStringLiteral("comment"), computer.comment},
        {QStringLiteral("ipAddress"), computer.address ? QJsonValue(addressText(*computer.address))
                                                       : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("macAddress"),
         computer.mac ? QJsonValue(macAddressText(*computer.mac)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("vendor"), textOrNull(computer.vendor)},
        {QStringLiteral("dnsName"), textOrNull(computer.dnsName)},
        {QStringLiteral("os"), textOrNull(computer.operatingSystem)},
        {QStringLiteral("osVersion"), textOrNull(computer.osVersion)},
        {QStringLiteral("directoryGuid"),
         computer.directory ? textOrNull(computer.directory->guid) : QJsonValue(QJsonValue::Null)},
    };
}

QJsonObject shareJson(const ShareRecord& share) {
    return QJsonObject{
        {QStringLiteral("computer"), share.computer},
        {QStringLiteral("name"), share.name},
        {QStringLiteral("kind"),
         share.kind == ShareKind::Printer ? QStringLiteral("printer") : QStringLiteral("disk")},
        {QStringLiteral("group"), share.group},
        {QStringLiteral("comment"), share.comment},
    };
}

template <typename Change, typename ToJson>
QJsonArray changesJson(const std::vector<Change>& changes, const QString& key, ToJson toJson) {
    QJsonArray array;
    for (const Change& change : changes) {
        QJsonObject entry{{QStringLiteral("change"), changeWord(change.kind)},
                          {key, toJson(change.current())}};
        if (change.kind == ChangeKind::Changed) {
            QJsonArray fields;
            for (const FieldChange& field : change.fields)
                fields.append(QJsonObject{{QStringLiteral("field"), field.field},
                                          {QStringLiteral("before"), field.before},
                                          {QStringLiteral("after"), field.after}});
            entry.insert(QStringLiteral("fields"), fields);
        }
        array.append(entry);
    }
    return array;
}

QJsonObject scanJson(const StoredScan& scan) {
    return QJsonObject{{QStringLiteral("id"), scan.id},
                       {QStringLiteral("started"), localTime(scan.header.started)}};
}

void addCsvRecord(QString& text, const QStringList& fields) {
    QStringList quoted;
    for (const QString& field : fields)
        quoted << spreadsheetCell(field);
    text += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}
} // namespace

QByteArray formatChangesReport(const ChangeFindings& findings) {
    QString text;
    ChangeCounts total;
    for (const ChangeSection& section : findings.sections) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QStringLiteral("%1, %2: scan of %3 against %4\n")
                    .arg(visibleText(section.site), resourceWord(section.resourceType),
                         localTime(section.newer.header.started),
                         localTime(section.older.header.started));
        if (section.resourceType == rtComputer)
            reportChanges(text, section.computers, computerLine);
        else
            reportChanges(text, section.shares, shareLine);
        const ChangeCounts counts = section.counts();
        if (!counts.any())
            text += QStringLiteral("  No changes.\n");
        total.added += counts.added;
        total.gone += counts.gone;
        total.changed += counts.changed;
    }
    for (const QString& uncompared : findings.uncompared)
        text += QStringLiteral("%1: only one complete scan, nothing to compare with.\n")
                    .arg(visibleText(uncompared));
    if (findings.sections.empty() && findings.uncompared.isEmpty())
        text += QStringLiteral("No complete scans recorded.\n");
    text += QStringLiteral("\n%1 new, %2 gone, %3 changed.\n")
                .arg(total.added)
                .arg(total.gone)
                .arg(total.changed);
    return text.toUtf8();
}

QByteArray formatChangesCsv(const ChangeFindings& findings) {
    QString text;
    addCsvRecord(text,
                 {QStringLiteral("site"), QStringLiteral("resource"), QStringLiteral("older_scan"),
                  QStringLiteral("newer_scan"), QStringLiteral("change"),
                  QStringLiteral("computer"), QStringLiteral("group"), QStringLiteral("share"),
                  QStringLiteral("field"), QStringLiteral("before"), QStringLiteral("after")});
    for (const ChangeSection& section : findings.sections) {
        const QStringList lead{section.site, resourceWord(section.resourceType),
                               localTime(section.older.header.started),
                               localTime(section.newer.header.started)};
        const auto addRows = [&](ChangeKind kind, const QStringList& row,
                                 const std::vector<FieldChange>& fields) {
            if (fields.empty()) {
                addCsvRecord(text, lead + QStringList{changeWord(kind)} + row +
                                       QStringList{QString(), QString(), QString()});
                return;
            }
            for (const FieldChange& field : fields)
                addCsvRecord(text, lead + QStringList{changeWord(kind)} + row +
                                       QStringList{field.field, field.before, field.after});
        };
        for (const ComputerChange& change : section.computers) {
            const ComputerRecord& computer = change.current();
            addRows(change.kind, {computer.name, computer.group, QString()}, change.fields);
        }
        for (const ShareChange& change : section.shares) {
            const ShareRecord& share = change.current();
            addRows(change.kind, {share.computer, share.group, share.name}, change.fields);
        }
    }
    return text.toUtf8();
}

QByteArray formatChangesJson(const ChangeFindings& findings) {
    QJsonArray sections;
    for (const ChangeSection& section : findings.sections) {
        const ChangeCounts counts = section.counts();
        sections.append(QJsonObject{
            {QStringLiteral("site"), section.site},
            {QStringLiteral("resourceType"), resourceWord(section.resourceType)},
            {QStringLiteral("older"), scanJson(section.older)},
            {QStringLiteral("newer"), scanJson(section.newer)},
            {QStringLiteral("counts"), QJsonObject{{QStringLiteral("new"), counts.added},
                                                   {QStringLiteral("gone"), counts.gone},
                                                   {QStringLiteral("changed"), counts.changed}}},
            {QStringLiteral("changes"),
             section.resourceType == rtComputer
                 ? changesJson(section.computers, QStringLiteral("computer"), computerJson)
                 : changesJson(section.shares, QStringLiteral("share"), shareJson)},
        });
    }
    const QJsonObject document{
        {QStringLiteral("format"), QStringLiteral("norvane-changes")},
        {QStringLiteral("version"), JsonVersion},
        {QStringLiteral("changesFound"), findings.anyChange()},
        {QStringLiteral("sections"), sections},
        {QStringLiteral("uncompared"), QJsonArray::fromStringList(findings.uncompared)},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

} // namespace norvane
