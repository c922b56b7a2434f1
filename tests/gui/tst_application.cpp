// The application object's last-resort handler: an exception that reaches
// Qt's event delivery is shown in the general error box and the program
// goes on.

#include "TestNetwork.h"
#include "common/AppError.h"
#include "mainwindow/NorvaneApplication.h"

#include <QTest>

#include <stdexcept>

using namespace norvane;
using namespace norvane::test;

namespace {

// Throws from its event handler, as a command without its own guard would.
class Thrower : public QObject {
public:
    bool appError = true;

protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (appError)
            throw AppError(QStringLiteral("Could not write the report"));
        throw std::runtime_error("Bad number.");
    }
};

} // namespace

class TestApplication : public QObject {
    Q_OBJECT
private slots:
    void exceptionsInEventDelivery();
};

void TestApplication::exceptionsInEventDelivery() {
    Thrower thrower;
    MessageBoxCloser closer;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QTRY_COMPARE(closer.texts, QStringList{"Could not write the report."});
    thrower.appError = false;
    QEvent sent(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&thrower, &sent));
    QCOMPARE(closer.texts, (QStringList{"Could not write the report.", "Bad number."}));
}

int main(int argc, char* argv[]) {
    NorvaneApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
