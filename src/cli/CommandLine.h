#pragma once

// The options of a scan run from the command line, read from the program's
// arguments. Reading never prints or exits: a mistake comes back as the
// text to show, and the caller chooses the exit code.

#include "platform/SourceOptions.h"
#include "scan/ResultRow.h"
#include "store/StoreLocation.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace norvane {

enum class OutputFormat { Report, Csv, Json };

struct CommandLineOptions {
    TResourceType resourceType = rtComputer;
    QString outputFile; // empty: standard output
    bool append = false;
    OutputFormat format = OutputFormat::Report;
    QString authFile; // empty: none
    bool quiet = false;
    QString site;                       // empty: the settings' site
    std::optional<StoreLocation> store; // nothing: the settings' store
    // The directory's domain (--domain; empty: the ticket's), the address
    // ranges to sweep (--range) and the probe rate (--rate).
    SourceOptions sources{};
};

struct HelpRequest {};
struct VersionRequest {};
struct UsageError {
    QString message;
};

using CommandLineRequest =
    std::variant<CommandLineOptions, HelpRequest, VersionRequest, UsageError>;

// Reads the arguments, the program name first.
CommandLineRequest parseCommandLine(const QStringList& arguments);

// Whether the arguments ask for the command line rather than the window:
// any option that is not one of the toolkit's own for a window (-platform,
// -session, ...) is among them, so that a mistyped option is a usage error
// with or without a display. Other arguments (a folder the file manager
// passes) leave the window to start.
bool wantsCommandLine(int argc, const char* const* argv);

// The --scan word of a resource type: "computers", "folders", "printers".
QString scanTypeWord(TResourceType type);

QString helpText(const QString& programName);

} // namespace norvane
