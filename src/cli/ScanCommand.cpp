#include "ScanCommand.h"

#include "common/Credentials.h"

#include "CsvExport.h"
#include "JsonExport.h"
#include "ProgressMeter.h"
#include "common/AppError.h"
#include "report/ReportFile.h"
#include "report/ReportWriter.h"
#include "scan/ScanWorker.h"
#include "session/NetworkSession.h"
#include "store/ScanRecorder.h"
#include "store/StoreError.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace norvane {

namespace {

// Keeps the rows of a walk and shows its progress; an error the window
// would show in a box goes to standard error.
class RowCollector : public ScanOutput {
public:
    RowCollector(Console& console, ProgressMeter& progress)
        : m_console(console), m_progress(progress) {}

    void appendRow() override {
        m_rows.emplace_back();
        m_progress.setRowCount(static_cast<qsizetype>(m_rows.size()));
    }
    void setCaption(const QString& caption) override {
        if (!m_rows.empty())
            m_rows.back().caption = caption;
    }
    void setImage(int image) override {
        if (!m_rows.empty())
            m_rows.back().image = image;
    }
    void addSubItem(const QString& text) override {
        if (!m_rows.empty())
            m_rows.back().subItems << text;
    }
    void setComputerRecord(std::shared_ptr<const ComputerRecord> record) override {
        if (!m_rows.empty())
            m_rows.back().computer = std::move(record);
    }
    void setShareRecord(std::shared_ptr<const ShareRecord> record) override {
        if (!m_rows.empty())
            m_rows.back().share = std::move(record);
    }
    void setProgressMax(int maximum) override { m_progress.setMaximum(maximum); }
    void setProgressPosition(int position) override { m_progress.setPosition(position); }
    void showError(const QString& text) override {
        m_progress.clear();
        m_console.writeError(text + QLatin1Char('\n'));
        m_failed = true;
    }
    void logOnRefused(const QString& computer) override { m_refused << computer; }
    void sourceIncomplete(const QString& reason) override { m_incompleteSources << reason; }

    ResultRows takeRows() { return std::move(m_rows); }
    bool failed() const { return m_failed; }
    const QStringList& refused() const { return m_refused; }
    const QStringList& incompleteSources() const { return m_incompleteSources; }
    bool incomplete() const { return !m_refused.isEmpty() || !m_incompleteSources.isEmpty(); }

private:
    Console& m_console;
    ProgressMeter& m_progress;
    ResultRows m_rows;
    bool m_failed = false;
    QStringList m_refused;
    QStringList m_incompleteSources;
};

QString programName(const QStringList& arguments) {
    return arguments.isEmpty() ? QStringLiteral("norvane")
                               : QFileInfo(arguments.constFirst()).fileName();
}

} // namespace

int ScanCommand::run(const QStringList& arguments) {
    const CommandLineRequest request = parseCommandLine(arguments);
    const QString name = programName(arguments);
    try {
        if (std::holds_alternative<HelpRequest>(request)) {
            m_context.console.writeOutput(helpText(name).toUtf8());
            return ExitScanWritten;
        }
        if (std::holds_alternative<VersionRequest>(request)) {
            m_context.console.writeOutput(QStringLiteral("%1 %2\n")
                                              .arg(QCoreApplication::applicationName(),
                                                   QCoreApplication::applicationVersion())
                                              .toUtf8());
            return ExitScanWritten;
        }
    } catch (const AppError& error) {
        return outputError(name, QString(), error.message());
    }
    if (const auto* error = std::get_if<UsageError>(&request))
        return usageError(name, error->message);
    const auto& options = std::get<CommandLineOptions>(request);
    if (!options.authFile.isEmpty()) {
        try {
            AuthFileCredentials file = AuthFile::read(options.authFile);
            // Every share listing of the scan logs on with the file's
            // credentials; the file's password buffer is cleared once the
            // platform holds its own copy.
            Credentials credentials{
                file.user.toStdString(), file.domain.toStdString(),
                SecretText(std::string_view(file.password.constData(),
                                            std::size_t(file.password.size())))};
            wipe(file.password);
            m_context.platform.setLogOn(credentials);
        } catch (const AppError& error) {
            return usageError(name, error.message());
        }
    }
    return scan(options, name);
}

int ScanCommand::usageError(const QString& programName, const QString& message) {
    m_context.console.writeError(QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                                     .arg(programName, message));
    return ExitUsage;
}

int ScanCommand::scan(const CommandLineOptions& options, const QString& programName) {
    Console& console = m_context.console;
    // The output is opened before the scan, so that a file that cannot be
    // written fails at once rather than after the whole walk. A file being
    // replaced or made is written under a temporary name until the end, and
    // one being appended to keeps its bytes when nothing is written.
    std::optional<ReportFile> file;
    try {
        if (!options.outputFile.isEmpty()) {
            file.emplace(options.outputFile, !options.append);
            file->setInterruption([this] { return m_context.stopSignal() != 0; });
        }
    } catch (const AppError& error) {
        return outputError(programName, options.outputFile, error.message());
    }

    ScanResult result;
    result.resourceType = options.resourceType;
    result.started = m_context.now();
    ProgressMeter progress(console, options.resourceType,
                           !options.quiet && console.errorIsTerminal());

    NetworkSession session(m_context.platform);
    if (!session.start(
            [&console](const QString& text) { console.writeError(text + QLatin1Char('\n')); }))
        return ExitScanFailed;

    RowCollector collector(console, progress);
    ScanInputs inputs = session.scanInputs(options.resourceType);
    inputs.sources = options.sources;
    const StopFlag stopRequested = [this] { return m_context.stopSignal() != 0; };
    const int walkResult = ScanNetwork(m_context.platform, inputs, collector, stopRequested);
    progress.clear();
    result.rows = collector.takeRows();
    const int signal = m_context.stopSignal();
    const bool complete = walkResult == ScanCompleted && !collector.failed() && signal == 0;

    // Stopped or failed: nothing is written, also when the walk had reached
    // its end; what it found is still recorded, as partial.
    int status = ExitScanWritten;
    if (signal != 0)
        status = ExitSignalBase + signal;
    else if (!complete)
        status = ExitScanFailed;
    else
        status = writeResult(options, result, file ? &*file : nullptr, programName);
    const bool recorded =
        complete || !result.rows.empty() ? record(options, result, complete, programName) : true;
    if (status != ExitScanWritten)
        return status;
    if (!options.quiet && console.errorIsTerminal())
        console.writeError(
            foundCountText(static_cast<qsizetype>(result.rows.size()), options.resourceType) +
            QLatin1Char('\n'));
    // Written, but with holes: a script (or cron's mail) must be able to
    // tell this from a complete result.
    if (!options.quiet) {
        for (const QString& reason : collector.incompleteSources())
            console.writeError(
                QStringLiteral("%1: %2; its computers are missing.\n").arg(programName, reason));
        for (const QString& computer : collector.refused())
            console.writeError(
                QStringLiteral("%1: %2: refused the log-on; its shares are not listed.\n")
                    .arg(programName, computer));
    }
    if (!recorded)
        return ExitScanNotRecorded;
    return collector.incomplete() ? ExitScanIncomplete : ExitScanWritten;
}

int ScanCommand::writeResult(const CommandLineOptions& options, const ScanResult& result,
                             ReportFile* file, const QString& programName) {
    try {
        write(options.format, result, file);
    } catch (const AppError& error) {
        if (const int signal = m_context.stopSignal())
            return ExitSignalBase + signal;
        return outputError(programName, options.outputFile, error.message());
    }
    return ExitScanWritten;
}

bool ScanCommand::record(const CommandLineOptions& options, const ScanResult& result, bool complete,
                         const QString& programName) {
    StoreSettings settings = m_context.storeSettings();
    if (options.store)
        settings.location = *options.store;
    if (!options.site.isEmpty())
        settings.site = options.site;
    try {
        recordFinishedScan(settings, scanContentsOf({.started = result.started.toUTC(),
                                                     .site = {},
                                                     .resourceType = result.resourceType,
                                                     .complete = complete},
                                                    result.rows));
    } catch (const StoreError& error) {
        m_context.console.writeError(QStringLiteral("%1: the scan was not recorded in %2: %3\n")
                                         .arg(programName, settings.location.displayName(),
                                              messageWithFullStop(error.message())));
        return false;
    }
    return true;
}

int ScanCommand::outputError(const QString& programName, const QString& path,
                             const QString& message) {
    const QString where = path.isEmpty() ? QStringLiteral("standard output") : path;
    m_context.console.writeError(
        QStringLiteral("%1: %2: %3\n").arg(programName, where, messageWithFullStop(message)));
    return ExitOutputFailed;
}

void ScanCommand::write(OutputFormat format, const ScanResult& result, ReportFile* file) {
    QByteArray bytes;
    switch (format) {
    case OutputFormat::Report:
        // The window's report, with the time taken when the writing begins.
        bytes = formatReport(result.resourceType, columnCaptions(result.resourceType), result.rows,
                             m_context.now(), m_context.locale);
        break;
    case OutputFormat::Csv:
        bytes = formatCsv(result, m_context.vendors());
        break;
    case OutputFormat::Json:
        bytes = formatJson(result, m_context.vendors());
        break;
    }
    if (file == nullptr) {
        m_context.console.writeOutput(bytes);
        return;
    }
    file->write(bytes);
    file->close();
}

} // namespace norvane
