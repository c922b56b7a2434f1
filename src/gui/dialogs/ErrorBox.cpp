#include "ErrorBox.h"

#include "common/AppError.h"

#include <QMessageBox>
#include <QPointer>

namespace norvane {

void showErrorBox(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Norvane"), messageWithFullStop(message),
                    QMessageBox::Ok, parent);
    box.exec();
}

ErrorHandler errorHandlerOr(ErrorHandler handler, QWidget* parent) {
    if (handler)
        return handler;
    return [owner = QPointer<QWidget>(parent)](const QString& message) {
        showErrorBox(owner, message);
    };
}

} // namespace norvane
