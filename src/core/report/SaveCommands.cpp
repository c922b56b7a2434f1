#include "SaveCommands.h"

#include <QFileInfo>

namespace norvane {

QString withReportExtension(const QString& fileName) {
    const QString extension = QString::fromLatin1(ReportExtension);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const bool hasExtension = dot > fileName.lastIndexOf(QLatin1Char('/'));
    if (hasExtension && fileName.mid(dot).toLower() == extension)
        return fileName;
    return (hasExtension ? fileName.left(dot) : fileName) + extension;
}

SaveCommands::SaveCommands(SaveDialogs& dialogs, ReportWriter writeReport)
    : m_dialogs(dialogs), m_writeReport(std::move(writeReport)) {}

void SaveCommands::actSaveExecute() {
    if (FFileName.isEmpty()) {
        actSaveAsExecute();
        return;
    }
    m_writeReport(FFileName, false);
}

void SaveCommands::actSaveAsExecute() {
    const std::optional<QString> chosen = m_dialogs.askFileName(
        FFileName.isEmpty() ? QString::fromLatin1(ReportNamePattern) : FFileName);
    if (!chosen || chosen->isEmpty())
        return;
    const QString fileName = withReportExtension(*chosen);
    // The dialog asked about the name as typed; a different file that the
    // extension now points at would be replaced unasked. Declining cancels
    // the command like cancelling the dialog.
    if (fileName != *chosen && QFileInfo::exists(fileName) && !m_dialogs.confirmReplace(fileName))
        return;
    // Remembered before writing, so that a failed write still leaves Save
    // pointing at the chosen file.
    FFileName = fileName;
    m_writeReport(FFileName, true);
}

} // namespace norvane
