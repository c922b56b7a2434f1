#pragma once

// Every message box of the program goes through showMessageBox: titled with
// the program's name, its text shown as plain text, whatever it holds.
//
// How the tool dialogs report an error that ends what the user asked for:
// they catch it where Qt called them (an exception must not unwind through
// Qt's event delivery) and hand its message to an error handler. The
// default handler shows the program's error box.

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace norvane {

using ErrorHandler = std::function<void(const QString& message)>;

// A modal message box; returns the button pressed. The object name lets
// tests find the box while it is open.
QMessageBox::StandardButton
showMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
               const QString& objectName, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The error box: the stop icon, an OK button and the message with its full
// stop.
void showErrorBox(QWidget* parent, const QString& message);

// `handler`, or the error box over `parent` when none is given.
ErrorHandler errorHandlerOr(ErrorHandler handler, QWidget* parent);

} // namespace norvane
