#pragma once

// How the tool dialogs report an error that ends what the user asked for:
// they catch it where Qt called them (an exception must not unwind through
// Qt's event delivery) and hand its message to an error handler. The
// default handler shows the program's error box.

#include <QString>

#include <functional>

class QWidget;

namespace norvane {

using ErrorHandler = std::function<void(const QString& message)>;

// A message box titled "Norvane" with the stop icon, an OK button and the
// message with its full stop.
void showErrorBox(QWidget* parent, const QString& message);

// `handler`, or the error box over `parent` when none is given.
ErrorHandler errorHandlerOr(ErrorHandler handler, QWidget* parent);

} // namespace norvane
