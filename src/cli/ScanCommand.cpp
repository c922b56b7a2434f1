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

    ResultRows takeRows() { return std::move(m_rows); }
    bool failed() const { return m_failed; }

private:
    Console& m_console;
    ProgressMeter& m_progress;
    ResultRows m_rows;
    bool m_failed = false;
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
        m_context.console.writeError(messageWithFullStop(error.message()) + QLatin1Char('\n'));
        return ExitOutputFailed;
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
    return scan(options);
}

int ScanCommand::usageError(const QString& programName, const QString& message) {
    m_context.console.writeError(QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                                     .arg(programName, message));
    return ExitUsage;
}

int ScanCommand::scan(const CommandLineOptions& options) {
    Console& console = m_context.console;
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
    const ScanInputs inputs = session.scanInputs(options.resourceType);
    const StopFlag stopRequested = [this] { return m_context.stopSignal() != 0; };
    const int walkResult = ScanNetwork(m_context.platform, inputs, collector, stopRequested);
    progress.clear();
    // Stopped: nothing is written, also when the walk had reached its end.
    if (const int signal = m_context.stopSignal())
        return ExitSignalBase + signal;
    if (walkResult != ScanCompleted || collector.failed())
        return ExitScanFailed;

    result.rows = collector.takeRows();
    try {
        write(options, result);
    } catch (const AppError& error) {
        console.writeError(messageWithFullStop(error.message()) + QLatin1Char('\n'));
        return ExitOutputFailed;
    }
    if (!options.quiet && console.errorIsTerminal())
        console.writeError(
            foundCountText(static_cast<qsizetype>(result.rows.size()), options.resourceType) +
            QLatin1Char('\n'));
    return ExitScanWritten;
}

void ScanCommand::write(const CommandLineOptions& options, const ScanResult& result) {
    const QStringList captions = columnCaptions(result.resourceType);
    if (options.format == OutputFormat::Report && !options.outputFile.isEmpty()) {
        // The window's Save and Save As: the same writer, the same file
        // semantics, the time taken when the writing begins.
        SaveReport(options.outputFile, !options.append, result.resourceType, captions, result.rows,
                   m_context.locale);
        return;
    }
    QByteArray bytes;
    switch (options.format) {
    case OutputFormat::Report:
        bytes = formatReport(result.resourceType, captions, result.rows, m_context.now(),
                             m_context.locale);
        break;
    case OutputFormat::Csv:
        bytes = formatCsv(result, m_context.vendors());
        break;
    case OutputFormat::Json:
        bytes = formatJson(result, m_context.vendors());
        break;
    }
    if (options.outputFile.isEmpty()) {
        m_context.console.writeOutput(bytes);
        return;
    }
    ReportFile file(options.outputFile, true);
    file.write(bytes);
    file.close();
}

} // namespace norvane
