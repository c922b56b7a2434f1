#include "NorvaneApplication.h"

#include "common/AppError.h"
#include "dialogs/ErrorBox.h"

namespace norvane {

NorvaneApplication::NorvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool NorvaneApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError& error) {
        showErrorBox(activeWindow(), error.message());
    } catch (const std::exception& error) {
        showErrorBox(activeWindow(), QString::fromLocal8Bit(error.what()));
    }
    return false;
}

} // namespace norvane
