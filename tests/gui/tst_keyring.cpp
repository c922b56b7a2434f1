// Remembered log-ons in a real keyring: kept per group, found again, all
// forgotten by one command. Run by with-keyring.sh inside a private D-Bus
// session with its own unlocked keyring; without a keyring service the
// test checks that the reason is given instead.

#include "mainwindow/CredentialKeyring.h"

#include <QCoreApplication>
#include <QTest>

using namespace norvane;

class TestKeyring : public QObject {
    Q_OBJECT

private slots:
    void remembersPerGroupAndForgets() {
        CredentialKeyring keyring(QStringLiteral("Norvane test"));
        const QString reason = keyring.unavailableReason();
        if (!qEnvironmentVariableIsSet("NORVANE_TEST_KEYRING")) {
            QVERIFY2(!reason.isEmpty(), "a keyring was found where none should run");
            QVERIFY(reason.startsWith(QStringLiteral("Cannot remember")));
            QVERIFY(!keyring.find(QStringLiteral("LABAUTH")));
            return;
        }
        QVERIFY2(reason.isEmpty(), qPrintable(reason));

        const Credentials lab{"labuser", "LABAUTH", SecretText("L4b pass\xc3\xa4")};
        const Credentials home{"bob", "HOME", SecretText("")};
        QVERIFY(keyring.remember(QStringLiteral("labauth"), lab));
        QVERIFY(keyring.remember(QStringLiteral("HOME"), home));
        QVERIFY(keyring.remember(QStringLiteral("LABAUTH"), lab)); // again: no second entry

        const auto found = keyring.find(QStringLiteral("LabAuth"));
        QVERIFY(found);
        QCOMPARE(*found, lab);
        QCOMPARE(keyring.find(QStringLiteral("HOME")), std::optional(home));
        QVERIFY(!keyring.find(QStringLiteral("OTHER")));

        QVERIFY(keyring.forgetAll());
        QVERIFY(!keyring.find(QStringLiteral("LABAUTH")));
        QVERIFY(!keyring.find(QStringLiteral("HOME")));
        QVERIFY(keyring.forgetAll()); // nothing left is no failure
    }
};

QTEST_GUILESS_MAIN(TestKeyring)
#include "tst_keyring.moc"
