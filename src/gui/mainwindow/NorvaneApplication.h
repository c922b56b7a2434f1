#pragma once

// The application object. Commands catch their own errors (TMainForm::
// runCommand); an exception that still reaches Qt's event delivery is
// stopped here and shown in the general error box, so that the program goes
// on instead of ending.

#include <QApplication>

namespace norvane {

class NorvaneApplication : public QApplication {
    Q_OBJECT
public:
    NorvaneApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace norvane
