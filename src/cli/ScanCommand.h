#pragma once

// One scan from the command line: reads the options, runs the start-up
// checks and the walk over the platform as the window does, and writes the
// rows in the chosen format to a file or to standard output. The output file
// is opened before the walk; nothing is written unless the walk ran to its
// end. Then the scan is recorded in the scan store (a stopped one as
// partial), after the output, so that a store that fails loses nothing of
// it. Messages go to standard error with the texts the window shows in its
// boxes; those about the output name the file.

#include "AuthFile.h"
#include "CommandLine.h"
#include "Console.h"
#include "ScanResult.h"
#include "platform/NetworkPlatform.h"
#include "report/ReportFile.h"
#include "store/StoreSettings.h"
#include "vendor/MacVendors.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include <functional>

namespace norvane {

// Exit codes.
constexpr int ExitScanWritten = 0;
constexpr int ExitScanFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitOutputFailed = 3;
// The result was written, but computers are missing from it: they refused
// the log-on, or a source the user asked for (a directory) was not read.
constexpr int ExitScanIncomplete = 4;
// The result was written, but it could not be recorded in the scan store.
constexpr int ExitScanNotRecorded = 5;
// Stopped by a signal: this plus the signal's number, as shells report it.
constexpr int ExitSignalBase = 128;

struct ScanCommandContext {
    ScanCommandContext(NetworkPlatform& platform_, Console& console_)
        : platform(platform_), console(console_) {}

    NetworkPlatform& platform;
    Console& console;
    // The number of the signal that asked the scan to stop, 0 while none did.
    std::function<int()> stopSignal = [] { return 0; };
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // Where and under which site a scan is recorded unless the options say.
    std::function<StoreSettings()> storeSettings = [] { return StoreSettings(); };
    QLocale locale = QLocale::system();
    std::function<const MacVendors&()> vendors = []() -> const MacVendors& {
        return MacVendors::system();
    };
};

class ScanCommand {
public:
    explicit ScanCommand(ScanCommandContext context) : m_context(std::move(context)) {}

    // `arguments` as the program got them, its name first; returns the exit
    // code.
    int run(const QStringList& arguments);

private:
    int scan(const CommandLineOptions& options, const QString& programName);
    // Writes to `file`, or to standard output when it is null; throws
    // AppError when the output cannot be written.
    void write(OutputFormat format, const ScanResult& result, ReportFile* file);
    // Writes the result and returns ExitScanWritten, or names the failure
    // and returns its exit code.
    int writeResult(const CommandLineOptions& options, const ScanResult& result, ReportFile* file,
                    const QString& programName);
    // Records the scan where the options and settings say; a failure is
    // named on standard error and returns false.
    bool record(const CommandLineOptions& options, const ScanResult& result, bool complete,
                const QString& programName);
    int usageError(const QString& programName, const QString& message);
    // "norvane: /path/x.csv: File not found." on standard error.
    int outputError(const QString& programName, const QString& path, const QString& message);

    ScanCommandContext m_context;
};

} // namespace norvane
