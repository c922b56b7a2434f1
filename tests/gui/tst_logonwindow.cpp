// The window during a share scan whose computers refuse the anonymous
// log-on: the scan asks once through the log-on dialog, with the computer's
// group as the domain; the answer lists the locked shares, Cancel goes on
// without them; the settings file never sees the password.

#include "TestWindow.h"
#include "dialogs/TLogOnDlg.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

using namespace norvane;
using namespace norvane::test;

namespace {

constexpr const char* WindowPassword = "Window-Pass-3";

void lockedOffice(FakePlatform& net) {
    net.addDomain("OFFICE");
    net.addComputer("OFFICE", "\\\\OPEN");
    net.addComputer("OFFICE", "\\\\LOCKED1").onlyUser =
        Credentials{"anna", "OFFICE", SecretText(WindowPassword)};
    net.addComputer("OFFICE", "\\\\LOCKED2").onlyUser =
        Credentials{"anna", "OFFICE", SecretText(WindowPassword)};
    net.addShare("\\\\OPEN", "\\\\OPEN\\pub", RESOURCETYPE_DISK);
    net.addShare("\\\\LOCKED1", "\\\\LOCKED1\\docs", RESOURCETYPE_DISK);
    net.addShare("\\\\LOCKED2", "\\\\LOCKED2\\data", RESOURCETYPE_DISK);
}

// Answers every log-on dialog that opens: OK with the password, or Cancel
// when it is empty. Records the domain each one suggested.
class DialogAnswerer : public QObject {
public:
    explicit DialogAnswerer(QString password) : m_password(std::move(password)) {
        connect(&m_poll, &QTimer::timeout, this, &DialogAnswerer::answer);
        m_poll.start(10);
    }
    QStringList suggestedDomains;

private:
    void answer() {
        auto* dialog = qobject_cast<TLogOnDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        suggestedDomains << dialog->findChild<QLineEdit*>(QStringLiteral("edtDomain"))->text();
        if (m_password.isEmpty()) {
            dialog->findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("edtUser"))->setText(QStringLiteral("anna"));
        dialog->findChild<QLineEdit*>(QStringLiteral("edtPassword"))->setText(m_password);
        dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
    }

    QString m_password;
    QTimer m_poll;
};

QStringList captions(const ResultRows& rows) {
    QStringList list;
    for (const ResultRow& row : rows)
        list << row.caption;
    return list;
}

} // namespace

class TestLogOnWindow : public QObject {
    Q_OBJECT

private slots:
    void oneDialogPerScan_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("shares");
        QTest::newRow("answered") << QString::fromLatin1(WindowPassword)
                                  << QStringList{"\\\\OPEN\\pub", "\\\\LOCKED1\\docs",
                                                 "\\\\LOCKED2\\data"};
        QTest::newRow("cancelled") << QString() << QStringList{"\\\\OPEN\\pub"};
    }
    void oneDialogPerScan() {
        QFETCH(QString, password);
        QFETCH(QStringList, shares);
        Window w;
        lockedOffice(w.fake);
        w.create();
        parts(*w.form).cboResource->setCurrentIndex(rtSharedFolder);
        DialogAnswerer answerer(password);
        QVERIFY(w.showAndWait());
        QCOMPARE(captions(w.form->model().rows()), shares);
        QCOMPARE(answerer.suggestedDomains, QStringList{"OFFICE"});
        QCOMPARE(w.fake.failedLogOns("\\\\LOCKED1") + w.fake.failedLogOns("\\\\LOCKED2"), 0);

        w.close();
        QFile settings(w.settingsPath());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(!settings.readAll().contains(WindowPassword));
    }

    // Computers that refused every log-on tried are missing from the list:
    // panel 0 keeps the count, panel 1 says how many refused (in place of
    // the idle progress bar) and its tool tip names them. The next scan
    // starts without the note.
    void refusalsAreNamedInTheStatusBar_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("note");
        QTest::newRow("answered") << QString::fromLatin1(WindowPassword)
                                  << "3 Shared folder(s) found" << QString();
        QTest::newRow("cancelled") << QString() << "1 Shared folder(s) found"
                                   << "2 computers refused the log-on";
        QTest::newRow("wrong password") << "wrong"
                                        << "1 Shared folder(s) found"
                                        << "2 computers refused the log-on";
    }
    void refusalsAreNamedInTheStatusBar() {
        QFETCH(QString, password);
        QFETCH(QString, count);
        QFETCH(QString, note);
        Window w;
        lockedOffice(w.fake);
        w.create();
        parts(*w.form).cboResource->setCurrentIndex(rtSharedFolder);
        DialogAnswerer answerer(password);
        QVERIFY(w.showAndWait());
        QCOMPARE(w.form->statusText(), count);
        QCOMPARE(w.form->statusNote(), note);
        auto* bar = w.form->findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
        QVERIFY(bar != nullptr);
        QCOMPARE(bar->isHidden(), !note.isEmpty());
        if (note.isEmpty()) {
            QCOMPARE(w.form->statusNoteToolTip(), QString());
            return;
        }
        QCOMPARE(w.form->statusNoteToolTip(),
                 QStringLiteral("Refused the log-on:\n\\\\LOCKED1\n\\\\LOCKED2"));

        // A computer scan lists every computer: no note.
        parts(*w.form).cboResource->setCurrentIndex(rtComputer);
        QSignalSpy completed(w.form.get(), &TMainForm::scanCompleted);
        parts(*w.form).actGo->trigger();
        QVERIFY(completed.wait());
        QCOMPARE(w.form->statusNote(), QString());
        QVERIFY(!bar->isHidden());
    }

    // A source that could not read what it should have (a directory whose
    // controllers all failed) leaves holes too: panel 1 says so, before
    // any refusals, its tool tip gives the reason; the next scan that reads
    // everything starts without the note.
    void unreadSourceIsShownInTheStatusBar() {
        Window w;
        lockedOffice(w.fake);
        w.fake.shortfalls = {"directory corp.example not read: no controller could be read"};
        w.create();
        parts(*w.form).cboResource->setCurrentIndex(rtSharedFolder);
        DialogAnswerer answerer(QString{});
        QVERIFY(w.showAndWait());
        QCOMPARE(w.form->statusNote(),
                 QStringLiteral("1 source not read; 2 computers refused the log-on"));
        QVERIFY2(w.form->statusNoteToolTip().startsWith(
                     QStringLiteral("directory corp.example not read: no controller could be "
                                    "read\nComputers they would list are missing.")),
                 qPrintable(w.form->statusNoteToolTip()));

        w.fake.shortfalls.clear();
        parts(*w.form).cboResource->setCurrentIndex(rtComputer);
        QSignalSpy completed(w.form.get(), &TMainForm::scanCompleted);
        parts(*w.form).actGo->trigger();
        QVERIFY(completed.wait());
        QCOMPARE(w.form->statusNote(), QString());
    }
};

QTEST_MAIN(TestLogOnWindow)
#include "tst_logonwindow.moc"
