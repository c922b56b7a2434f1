#include "ReportWriter.h"

#include "ReportFile.h"
#include "common/VisibleText.h"

#include <algorithm>
#include <array>
#include <span>

namespace norvane {

namespace {
constexpr std::array<qsizetype, 5> ComputerFieldWidths = {17, 15, 15, 48, 17};
constexpr std::array<qsizetype, 3> ShareFieldWidths = {48, 15, 48};
constexpr QLatin1StringView LineEnd("\r\n");
constexpr QChar FieldSeparator = QLatin1Char(' ');
constexpr QChar RuleChar = QLatin1Char('=');

// The texts left-aligned in their fields, padded with spaces to the
// field's width in display columns, never cut, separated by one space.
// Missing texts count as empty. Control and reordering characters are shown
// as replacements, so that no text breaks the line or moves the columns.
QString layOut(std::span<const qsizetype> widths, const QStringList& texts) {
    QString line;
    for (std::size_t field = 0; field < widths.size(); ++field) {
        if (field > 0)
            line += FieldSeparator;
        const auto index = static_cast<qsizetype>(field);
        const QString text = index < texts.size() ? visibleText(texts.at(index)) : QString();
        line += text;
        const qsizetype padding = widths[field] - displayWidth(text);
        if (padding > 0)
            line += QString(padding, QLatin1Char(' '));
    }
    return line;
}

QString ruleLine(std::span<const qsizetype> widths) {
    QStringList runs;
    for (const qsizetype width : widths)
        runs << QString(width, RuleChar);
    return runs.join(FieldSeparator);
}

// The long time format without its time zone: "t" runs outside quoted
// text are removed with the blanks that set them apart.
QString timeFormatWithoutZone(const QString& format) {
    QString result;
    bool quoted = false;
    bool skipBlanks = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
                ++i;
            while (result.endsWith(QLatin1Char(' ')))
                result.chop(1);
            skipBlanks = result.isEmpty();
            continue;
        }
        if (skipBlanks && c == QLatin1Char(' '))
            continue;
        skipBlanks = false;
        result += c;
    }
    return result;
}
// The short date format with the year in four digits: reports collect
// over years, and a two-digit year leaves the century to guessing.
QString dateFormatWithFullYear(const QString& format) {
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('y')) {
            result += c;
            continue;
        }
        qsizetype run = 1;
        while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('y')) {
            ++i;
            ++run;
        }
        result += QString(std::max<qsizetype>(run, 4), QLatin1Char('y'));
    }
    return result;
}
} // namespace

QString reportTimestamp(const QDateTime& time, const QLocale& locale) {
    return locale.toString(time.date(),
                           dateFormatWithFullYear(locale.dateFormat(QLocale::ShortFormat))) +
           QLatin1Char(' ') +
           locale.toString(time.time(), timeFormatWithoutZone(locale.timeFormat()));
}

QByteArray formatReport(TResourceType resourceType, const QStringList& captions,
                        const ResultRows& rows, const QDateTime& time, const QLocale& locale) {
    const std::span<const qsizetype> widths = resourceType == rtComputer
                                                  ? std::span<const qsizetype>(ComputerFieldWidths)
                                                  : std::span<const qsizetype>(ShareFieldWidths);
    QString block;
    block += LineEnd;
    block += QStringLiteral("*** ") + resourceTypePlural(resourceType) + QStringLiteral(" (") +
             reportTimestamp(time, locale) + QStringLiteral(") ***") + LineEnd;
    block += LineEnd;
    block += layOut(widths, captions) + LineEnd;
    block += ruleLine(widths) + LineEnd;
    for (const ResultRow& row : rows)
        block += layOut(widths, QStringList{row.caption} + row.subItems) + LineEnd;
    return block.toUtf8();
}

void SaveReport(const QString& fileName, bool overwrite, TResourceType resourceType,
                const QStringList& captions, const ResultRows& rows, const QLocale& locale) {
    ReportFile file(fileName, overwrite);
    file.write(formatReport(resourceType, captions, rows, QDateTime::currentDateTime(), locale));
    file.close();
}

} // namespace norvane
