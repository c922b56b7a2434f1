// The log-on dialog offscreen: its fields, the suggested domain and user,
// OK only with a user name, what it answers, and the Remember box switched
// off with its reason where nothing can be remembered.

#include "dialogs/TLogOnDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace norvane;

namespace {
template <typename T> T* child(QWidget& parent, const char* name) {
    auto* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
        qFatal("no child %s", name);
    return found;
}
} // namespace

class TestLogOnDlg : public QObject {
    Q_OBJECT

private slots:
    void fieldsAndAnswer() {
        TLogOnDlg dialog({QStringLiteral("\\\\LABLOCK"), QStringLiteral("LABAUTH"), {}}, {});
        auto* user = child<QLineEdit>(dialog, "edtUser");
        auto* domain = child<QLineEdit>(dialog, "edtDomain");
        auto* password = child<QLineEdit>(dialog, "edtPassword");
        auto* remember = child<QCheckBox>(dialog, "chkRemember");
        auto* ok = child<QPushButton>(dialog, "btnOk");
        QCOMPARE(domain->text(), QStringLiteral("LABAUTH"));
        QVERIFY(user->text().isEmpty());
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QVERIFY(child<QLabel>(dialog, "lblPrompt")->text().contains(QStringLiteral("\\\\LABLOCK")));
        QVERIFY(remember->isEnabled());
        QVERIFY(!ok->isEnabled());

        user->setText(QStringLiteral(" labuser "));
        QVERIFY(ok->isEnabled());
        password->setText(QStringLiteral("p\u00e4ss word"));
        remember->setChecked(true);
        const CredentialAnswer answer = dialog.takeAnswer();
        QCOMPARE(answer.credentials.user, std::string("labuser"));
        QCOMPARE(answer.credentials.domain, std::string("LABAUTH"));
        QCOMPARE(answer.credentials.password.view(), std::string_view("p\xc3\xa4ss word"));
        QVERIFY(answer.remember);
        QVERIFY(password->text().isEmpty());
    }

    void suggestedUserTakesFocusToPassword() {
        TLogOnDlg dialog(
            {QStringLiteral("\\\\HOST"), QStringLiteral("OFFICE"), QStringLiteral("anna")}, {});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(child<QLineEdit>(dialog, "edtUser")->text(), QStringLiteral("anna"));
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(dialog, "edtPassword"));
        QVERIFY(child<QPushButton>(dialog, "btnOk")->isEnabled());
    }

    void rememberOffWithItsReason() {
        const QString reason = QStringLiteral("Cannot remember: no keyring service runs.");
        TLogOnDlg dialog({QStringLiteral("\\\\HOST"), QStringLiteral("OFFICE"), {}}, reason);
        auto* remember = child<QCheckBox>(dialog, "chkRemember");
        auto* why = child<QLabel>(dialog, "lblRememberReason");
        QVERIFY(!remember->isEnabled());
        QCOMPARE(why->text(), reason);
        QVERIFY(!why->isHidden());
        remember->setChecked(true); // even if forced on, nothing is kept
        child<QLineEdit>(dialog, "edtUser")->setText(QStringLiteral("u"));
        QVERIFY(!dialog.takeAnswer().remember);
    }

    void cancelAnswersNothing() {
        QTimer::singleShot(0, [] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            child<QLineEdit>(*dialog, "edtUser")->setText(QStringLiteral("someone"));
            child<QPushButton>(*dialog, "btnCancel")->click();
        });
        QVERIFY(
            !TLogOnDlg::ask({QStringLiteral("\\\\HOST"), QStringLiteral("G"), {}}, {}, nullptr));
    }
};

QTEST_MAIN(TestLogOnDlg)
#include "tst_logondlg.moc"
