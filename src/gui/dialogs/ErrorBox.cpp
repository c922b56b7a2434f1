#include "ErrorBox.h"

#include "common/AppError.h"
#include "common/Product.h"

#include <QPointer>

namespace norvane {

QMessageBox::StandardButton showMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& text, const QString& objectName,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QString::fromLatin1(ApplicationTitle), text, buttons, parent);
    box.setObjectName(objectName);
    // Names and comments come from the network and file names from the
    // user: none of them is markup.
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void showErrorBox(QWidget* parent, const QString& message) {
    showMessageBox(parent, QMessageBox::Critical, messageWithFullStop(message),
                   QStringLiteral("ErrorBox"));
}

ErrorHandler errorHandlerOr(ErrorHandler handler, QWidget* parent) {
    if (handler)
        return handler;
    return [owner = QPointer<QWidget>(parent)](const QString& message) {
        showErrorBox(owner, message);
    };
}

} // namespace norvane
