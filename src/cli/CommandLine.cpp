#include "CommandLine.h"

#include "network/DomainName.h"

#include <QCommandLineParser>

#include <algorithm>
#include <array>
#include <string_view>

namespace norvane {

namespace {

struct Option {
    const char* shortName; // nullptr: none
    const char* longName;
    const char* valueName; // nullptr: a switch
    const char* description;
    bool repeatable = false; // each use adds a value
};

const std::array<Option, 13> Options = {{
    {nullptr, "scan", "TYPE",
     "Scan once for computers, folders (shared folders) or printers (shared printers) and write "
     "the result, without a window."},
    {"o", "output", "FILE", "Write to FILE instead of standard output."},
    {"a", "append", nullptr,
     "Add the report to the end of FILE, which must exist, keeping what it holds (report "
     "format only)."},
    {"f", "format", "FORMAT", "report (as the window saves it; the default), csv or json."},
    {nullptr, "auth-file", "FILE",
     "Log on with the user name, password and domain in FILE (lines \"username = ...\", "
     "\"password = ...\", \"domain = ...\"); FILE must not be readable by group or others."},
    {nullptr, "domain", "DOMAIN",
     "Read the computers of the Active Directory domain DOMAIN (its DNS name) from its "
     "directory with the Kerberos ticket held (run kinit first); without it, the domain of the "
     "ticket."},
    {nullptr, "site", "SITE",
     "Record the scan under SITE in the scan store (by default the settings' site, else the "
     "host name)."},
    {nullptr, "store", "URL",
     "Record the scan in this store instead of the settings' one: an SQLite file or "
     "postgresql://[user@]host[:port]/database."},
    {"q", "quiet", nullptr, "Show no progress."},
    {nullptr, "range", "RANGE",
     "Sweep RANGE for SMB computers beyond the local network: a CIDR block (10.1.2.0/24), "
     "first-last (10.1.2.10-10.1.2.90) or one address, at most 65536 addresses. May be given "
     "more than once.",
     true},
    {nullptr, "rate", "N", "Send at most N new probes a second while sweeping (default 1000)."},
    {"h", "help", nullptr, "Show this help and exit."},
    {nullptr, "version", nullptr, "Show the version and exit."},
}};

// The options that the window's toolkit reads itself (the session manager
// restarts the program with -session, a user may give -platform or -style).
// Any other option leads to the command line, which refuses what it does
// not know.
struct WindowOption {
    std::string_view name;
    bool takesValue;
};

constexpr std::array<WindowOption, 21> WindowOptions = {{
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowicon", true},
    {"icon", true},
    {"qwindowtitle", true},
    {"title", true},
    {"session", true},
    {"display", true},
    {"name", true},
    {"style", true},
    {"stylesheet", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
    {"qmljsdebugger", false},
}};

const std::array<const char*, ResourceTypeCount> ScanTypeWords = {"computers", "folders",
                                                                  "printers"};

QStringList names(const Option& option) {
    QStringList list;
    if (option.shortName)
        list << QLatin1String(option.shortName);
    list << QLatin1String(option.longName);
    return list;
}

std::optional<OutputFormat> formatFromWord(const QString& word) {
    if (word == QLatin1String("report"))
        return OutputFormat::Report;
    if (word == QLatin1String("csv"))
        return OutputFormat::Csv;
    if (word == QLatin1String("json"))
        return OutputFormat::Json;
    return std::nullopt;
}

std::optional<TResourceType> typeFromWord(const QString& word) {
    for (int type = 0; type < ResourceTypeCount; ++type) {
        if (word == QLatin1String(ScanTypeWords.at(static_cast<std::size_t>(type))))
            return static_cast<TResourceType>(type);
    }
    return std::nullopt;
}

constexpr qsizetype HelpIndent = 24;
constexpr qsizetype HelpWidth = 79;

// The option's names, then its description wrapped into the column after
// them; names too long for their column put the description on a line of
// its own.
QString wrapped(const QString& names, const QString& description) {
    QString text;
    QString line = names.leftJustified(HelpIndent - 1);
    const QString indent(HelpIndent, QLatin1Char(' '));
    for (const QString& word : description.split(QLatin1Char(' '))) {
        if (line.size() + 1 + word.size() > HelpWidth) {
            text += line + QLatin1Char('\n');
            line = indent + word;
        } else {
            line += QLatin1Char(' ') + word;
        }
    }
    return text + line + QLatin1Char('\n');
}

} // namespace

QString scanTypeWord(TResourceType type) {
    return QLatin1String(ScanTypeWords.at(static_cast<std::size_t>(resourceTypeFromIndex(type))));
}

CommandLineRequest parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const Option& option : Options) {
        QCommandLineOption parsed(names(option), QString::fromUtf8(option.description));
        if (option.valueName)
            parsed.setValueName(QLatin1String(option.valueName));
        parser.addOption(parsed);
    }
    if (!parser.parse(arguments))
        return UsageError{parser.errorText()};
    if (parser.isSet(QStringLiteral("help")))
        return HelpRequest{};
    if (parser.isSet(QStringLiteral("version")))
        return VersionRequest{};
    if (!parser.positionalArguments().isEmpty())
        return UsageError{QStringLiteral("Unexpected argument '%1'.")
                              .arg(parser.positionalArguments().constFirst())};
    // An option given twice would leave one of its values unused.
    for (const Option& option : Options) {
        if (option.valueName && !option.repeatable &&
            parser.values(QLatin1String(option.longName)).size() > 1)
            return UsageError{
                QStringLiteral("--%1 was given more than once.").arg(option.longName)};
    }
    if (!parser.isSet(QStringLiteral("scan")))
        return UsageError{
            QStringLiteral("--scan TYPE is missing: computers, folders or printers.")};

    CommandLineOptions options;
    const QString typeWord = parser.value(QStringLiteral("scan"));
    const std::optional<TResourceType> type = typeFromWord(typeWord);
    if (!type)
        return UsageError{QStringLiteral("Unknown scan type '%1': computers, folders or printers.")
                              .arg(typeWord)};
    options.resourceType = *type;
    if (parser.isSet(QStringLiteral("format"))) {
        const QString word = parser.value(QStringLiteral("format"));
        const std::optional<OutputFormat> format = formatFromWord(word);
        if (!format)
            return UsageError{
                QStringLiteral("Unknown format '%1': report, csv or json.").arg(word)};
        options.format = *format;
    }
    options.outputFile = parser.value(QStringLiteral("output"));
    if (parser.isSet(QStringLiteral("output")) && options.outputFile.isEmpty())
        return UsageError{QStringLiteral("--output needs a file name.")};
    options.append = parser.isSet(QStringLiteral("append"));
    if (options.append && options.outputFile.isEmpty())
        return UsageError{QStringLiteral("--append needs --output FILE.")};
    // A CSV table or a JSON document holds one scan; a second one after it
    // would make the file unreadable for the tools that read it.
    if (options.append && options.format != OutputFormat::Report)
        return UsageError{QStringLiteral("--append works with the report format only.")};
    options.authFile = parser.value(QStringLiteral("auth-file"));
    if (parser.isSet(QStringLiteral("auth-file")) && options.authFile.isEmpty())
        return UsageError{QStringLiteral("--auth-file needs a file name.")};
    options.sources.domain = parser.value(QStringLiteral("domain"));
    if (parser.isSet(QStringLiteral("domain")) && !isDomainName(options.sources.domain))
        return UsageError{
            QStringLiteral("--domain needs the DNS name of a domain, such as corp.example.com.")};
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    for (const QString& text : parser.values(QStringLiteral("range"))) {
        const AddressRangeParse range = parseAddressRange(text);
        if (!range.range)
            return UsageError{QStringLiteral("--range %1.").arg(range.error)};
        options.sources.ranges.push_back(*range.range);
    }
    if (parser.isSet(QStringLiteral("rate"))) {
        const QString word = parser.value(QStringLiteral("rate"));
        bool ok = false;
        const unsigned rate = word.toUInt(&ok);
        if (!ok || rate < MinProbesPerSecond || rate > MaxProbesPerSecond)
            return UsageError{QStringLiteral("--rate needs a number of probes a second from %1 "
                                             "to %2, not '%3'.")
                                  .arg(MinProbesPerSecond)
                                  .arg(MaxProbesPerSecond)
                                  .arg(word)};
        options.sources.probesPerSecond = rate;
    }
    options.site = parser.value(QStringLiteral("site"));
    if (parser.isSet(QStringLiteral("site")) && options.site.trimmed().isEmpty())
        return UsageError{QStringLiteral("--site needs a name.")};
    if (parser.isSet(QStringLiteral("store"))) {
        QString error;
        options.store = StoreLocation::parse(parser.value(QStringLiteral("store")), &error);
        if (!options.store)
            return UsageError{error};
    }
    return options;
}

bool wantsCommandLine(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        // Folders follow; the window takes them.
        if (argument == "--")
            return false;
        if (!argument.starts_with('-'))
            continue;
        // Qt reads its own options with one dash or two.
        const std::string_view word = argument.substr(argument.starts_with("--") ? 2 : 1);
        const std::string_view name = word.substr(0, word.find('='));
        const auto windowOption =
            std::find_if(WindowOptions.begin(), WindowOptions.end(),
                         [name](const WindowOption& option) { return name == option.name; });
        if (windowOption == WindowOptions.end())
            return true;
        if (windowOption->takesValue && name.size() == word.size())
            ++i;
    }
    return false;
}

QString helpText(const QString& programName) {
    QString text = QStringLiteral("Usage: %1 --scan computers|folders|printers [OPTION]...\n"
                                  "       %1 --changes [--since DATE | --scans N] [--site SITE]\n"
                                  "                [--type TYPE] [--format report|csv|json] "
                                  "[--store URL]\n"
                                  "       %1 [FOLDER]\n\n"
                                  "Inventories the computers, shared folders or shared printers "
                                  "of a Windows (SMB)\nnetwork. With --scan it scans once and "
                                  "writes the result without a window;\notherwise it starts its "
                                  "window.\n\nOptions:\n")
                       .arg(programName);
    for (const Option& option : Options) {
        QString names = option.shortName ? QStringLiteral("  -%1, ").arg(option.shortName)
                                         : QStringLiteral("      ");
        names += QStringLiteral("--") + QLatin1String(option.longName);
        if (option.valueName)
            names += QLatin1Char(' ') + QLatin1String(option.valueName);
        text += wrapped(names, QString::fromUtf8(option.description));
    }
    text += QStringLiteral("\nExit status: 0 a complete scan was written, 1 the scan failed, 2 "
                           "a usage error,\n3 the output could not be written, 4 written, but "
                           "computers that refused the\nlog-on or of a directory not read are "
                           "missing from it, 5 written, "
                           "but not recorded in the scan store,\n130 interrupted (Ctrl+C).\nWith "
                           "--changes: 0 no changes, 1 changes found, 2 a usage "
                           "error, 3 the output\ncould not be written, 4 the scan store could not "
                           "be read.\n");
    return text;
}

} // namespace norvane
