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

bool isFileName(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return !name.isEmpty() && !name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?'));
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
    // Before a file has been chosen the name box starts empty: the pattern
    // belongs to the filter, and a name box holding it would make Enter
    // save to a file of that literal name.
    const std::optional<QString> chosen = m_dialogs.askFileName(FFileName);
    if (!chosen || !isFileName(*chosen))
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
