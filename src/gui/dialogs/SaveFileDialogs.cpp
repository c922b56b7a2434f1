#include "SaveFileDialogs.h"

#include "ErrorBox.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace norvane {

std::optional<QString> SaveFileDialogs::askFileName(const QString& initialName) {
    // Let the window finish what it was drawing before the dialog covers it.
    QCoreApplication::processEvents();
    QFileDialog dialog(m_owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromLatin1(ReportFilter));
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

bool SaveFileDialogs::confirmReplace(const QString& path) {
    const QString text = QStringLiteral("%1 already exists.\nDo you want to replace it?")
                             .arg(QFileInfo(path).fileName());
    return showMessageBox(m_owner, QMessageBox::Warning, text, QStringLiteral("ReplaceBox"),
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

} // namespace norvane
