#pragma once

// norvane --changes: what changed between recorded scans, per site and
// resource type, as a report, CSV or JSON on standard output.
//
//   --changes [--since DATE | --scans N] [--site S]
//             [--type computers|folders|printers]
//             [--format report|csv|json] [--store URL]
//
// The exit status tells whether anything changed, so that a cron job can
// act on it: 0 no changes, 1 changes found, 2 a usage mistake, 3 the output
// could not be written, 4 the store could not be opened or read.

#include "Console.h"
#include "store/ChangeFinder.h"
#include "store/StoreSettings.h"

#include <QStringList>

#include <functional>
#include <variant>

namespace norvane {

constexpr int ExitNoChanges = 0;
constexpr int ExitChangesFound = 1;
constexpr int ExitChangesUsage = 2;
constexpr int ExitChangesOutputFailed = 3;
constexpr int ExitStoreFailed = 4;

enum class ChangesFormat { Report, Csv, Json };

struct ChangesOptions {
    ChangeQuery query;
    ChangesFormat format = ChangesFormat::Report;
    std::optional<StoreLocation> store; // nothing: the settings' store
};

// Whether the arguments ask for --changes.
bool wantsChanges(const QStringList& arguments);

// Reads the arguments, the program name first; a mistake comes back as its
// message.
std::variant<ChangesOptions, QString> parseChangesOptions(const QStringList& arguments);

class ChangesCommand {
public:
    ChangesCommand(Console& console, std::function<StoreSettings()> settings)
        : m_console(console), m_settings(std::move(settings)) {}

    // `arguments` as the program got them, its name first; returns the exit
    // status.
    int run(const QStringList& arguments);

private:
    Console& m_console;
    std::function<StoreSettings()> m_settings;
};

} // namespace norvane
