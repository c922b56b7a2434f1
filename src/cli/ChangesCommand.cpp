#include "ChangesCommand.h"

#include "ChangesOutput.h"
#include "store/StoreError.h"

#include <QFileInfo>

namespace norvane {

namespace {
// The most scans back a comparison reaches.
constexpr int MaxScansBack = 100000;

struct Reader {
    const QStringList& arguments;
    int index = 1;

    // The value of `--name VALUE` or `--name=VALUE` at the current argument.
    std::optional<QString> value(const QString& argument, const QString& name, QString* error) {
        const QString prefix = QStringLiteral("--") + name;
        if (argument.startsWith(prefix + QLatin1Char('=')))
            return argument.mid(prefix.size() + 1);
        if (index + 1 >= arguments.size()) {
            *error = QStringLiteral("option '%1' needs a value").arg(prefix);
            return std::nullopt;
        }
        return arguments.at(++index);
    }
};

bool isOption(const QString& argument, const char* name) {
    const QString prefix = QStringLiteral("--") + QLatin1String(name);
    return argument == prefix || argument.startsWith(prefix + QLatin1Char('='));
}

std::optional<QDateTime> parseDate(const QString& text) {
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid())
        return date.startOfDay();
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (time.isValid())
        return time;
    return std::nullopt;
}
} // namespace

bool wantsChanges(const QStringList& arguments) {
    return arguments.mid(1).contains(QStringLiteral("--changes"));
}

std::variant<ChangesOptions, QString> parseChangesOptions(const QStringList& arguments) {
    ChangesOptions options;
    bool scansGiven = false;
    Reader reader{arguments};
    QString error;
    for (; reader.index < arguments.size(); ++reader.index) {
        const QString argument = arguments.at(reader.index);
        if (argument == QLatin1String("--changes"))
            continue;
        std::optional<QString> value;
        if (isOption(argument, "since")) {
            if (!(value = reader.value(argument, QStringLiteral("since"), &error)))
                return error;
            options.query.since = parseDate(*value);
            if (!options.query.since)
                return QStringLiteral("'%1' is not a date (YYYY-MM-DD or YYYY-MM-DDTHH:MM)")
                    .arg(*value);
        } else if (isOption(argument, "scans")) {
            if (!(value = reader.value(argument, QStringLiteral("scans"), &error)))
                return error;
            bool ok = false;
            options.query.scansBack = value->toInt(&ok);
            if (!ok || options.query.scansBack < 1 || options.query.scansBack > MaxScansBack)
                return QStringLiteral("'%1' is not a number of scans from 1 to %2")
                    .arg(*value)
                    .arg(MaxScansBack);
            scansGiven = true;
        } else if (isOption(argument, "site")) {
            if (!(value = reader.value(argument, QStringLiteral("site"), &error)))
                return error;
            options.query.site = *value;
        } else if (isOption(argument, "type")) {
            if (!(value = reader.value(argument, QStringLiteral("type"), &error)))
                return error;
            options.query.resourceType = resourceFromWord(*value);
            if (!options.query.resourceType)
                return QStringLiteral("'%1' is not computers, folders or printers").arg(*value);
        } else if (isOption(argument, "format")) {
            if (!(value = reader.value(argument, QStringLiteral("format"), &error)))
                return error;
            if (*value == QLatin1String("report"))
                options.format = ChangesFormat::Report;
            else if (*value == QLatin1String("csv"))
                options.format = ChangesFormat::Csv;
            else if (*value == QLatin1String("json"))
                options.format = ChangesFormat::Json;
            else
                return QStringLiteral("'%1' is not report, csv or json").arg(*value);
        } else if (isOption(argument, "store")) {
            if (!(value = reader.value(argument, QStringLiteral("store"), &error)))
                return error;
            options.store = StoreLocation::parse(*value, &error);
            if (!options.store)
                return error;
        } else {
            return QStringLiteral("'%1' does not go with --changes").arg(argument);
        }
    }
    if (scansGiven && options.query.since)
        return QStringLiteral("--since and --scans do not go together");
    return options;
}

int ChangesCommand::run(const QStringList& arguments) {
    const QString program =
        arguments.isEmpty() ? QStringLiteral("norvane") : QFileInfo(arguments.first()).fileName();
    const std::variant<ChangesOptions, QString> parsed = parseChangesOptions(arguments);
    if (const QString* mistake = std::get_if<QString>(&parsed)) {
        m_console.writeError(QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                                 .arg(program, *mistake));
        return ExitChangesUsage;
    }
    const ChangesOptions& options = std::get<ChangesOptions>(parsed);
    const StoreLocation location = options.store ? *options.store : m_settings().location;
    ChangeFindings findings;
    // Reading makes no store: a file not there yet holds no scans.
    const bool noFile =
        location.kind == StoreLocation::Kind::Sqlite && !QFileInfo::exists(location.sqlitePath);
    try {
        if (!noFile)
            findings = findChanges(*ScanStore::open(location), options.query);
    } catch (const StoreError& error) {
        m_console.writeError(
            QStringLiteral("%1: %2\n").arg(program, messageWithFullStop(error.message())));
        return ExitStoreFailed;
    }
    QByteArray bytes;
    switch (options.format) {
    case ChangesFormat::Report:
        bytes = formatChangesReport(findings);
        break;
    case ChangesFormat::Csv:
        bytes = formatChangesCsv(findings);
        break;
    case ChangesFormat::Json:
        bytes = formatChangesJson(findings);
        break;
    }
    try {
        m_console.writeOutput(bytes);
    } catch (const AppError& error) {
        m_console.writeError(
            QStringLiteral("%1: %2\n").arg(program, messageWithFullStop(error.message())));
        return ExitChangesOutputFailed;
    }
    return findings.anyChange() ? ExitChangesFound : ExitNoChanges;
}

} // namespace norvane
