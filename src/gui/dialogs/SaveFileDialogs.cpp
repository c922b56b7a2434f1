#include "SaveFileDialogs.h"

#include "ErrorBox.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace norvane {

namespace {
// Takes only a file name: Enter on an empty name box or on a wildcard
// pattern keeps the dialog open, and a pattern becomes the view's filter,
// as file dialogs do, instead of the name of the file to write.
class ReportFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty() && isFileName(files.constFirst())) {
            QFileDialog::accept();
            return;
        }
        auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (nameBox == nullptr || nameBox->text().isEmpty())
            return;
        setNameFilter(QFileInfo(nameBox->text()).fileName());
        nameBox->clear();
    }
};
} // namespace

std::optional<QString> SaveFileDialogs::askFileName(const QString& initialName) {
    // Let the window finish what it was drawing before the dialog covers it.
    QCoreApplication::processEvents();
    ReportFileDialog dialog(m_owner);
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
