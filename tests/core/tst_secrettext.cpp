// Secret text: copies are independent, a move leaves nothing behind, the
// UTF-8 of a QString arrives whole, and clearing empties.

#include "common/Credentials.h"

#include <QTest>

using namespace norvane;

class TestSecretText : public QObject {
    Q_OBJECT

private slots:
    void copiesAndMoves() {
        SecretText original("s3cret");
        SecretText copy(original);
        original.clear();
        QVERIFY(original.empty());
        QCOMPARE(copy.view(), std::string_view("s3cret"));

        SecretText moved(std::move(copy));
        QVERIFY(copy.empty()); // NOLINT(bugprone-use-after-move): the point of the check
        QCOMPARE(moved.view(), std::string_view("s3cret"));

        SecretText assigned("a much longer earlier text");
        assigned = moved;
        QCOMPARE(assigned.view(), std::string_view("s3cret"));
        assigned = SecretText("x");
        QCOMPARE(assigned.view(), std::string_view("x"));
    }

    void fromQString_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("utf8");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("ascii") << QStringLiteral("pa ss") << QByteArray("pa ss");
        QTest::newRow("accents and symbols") << QStringLiteral("Gr\u00fc\u00dfe\u20ac")
                                             << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                           "e\xe2\x82\xac");
    }
    void fromQString() {
        QFETCH(QString, text);
        QFETCH(QByteArray, utf8);
        const SecretText secret = SecretText::fromQString(text);
        QCOMPARE(QByteArray(secret.view().data(), static_cast<qsizetype>(secret.size())), utf8);
    }

    void credentialsCompareWholly() {
        const Credentials given{"anna", "OFFICE", SecretText("right")};
        QCOMPARE(given, (Credentials{"anna", "OFFICE", SecretText("right")}));
        QVERIFY(!(given == Credentials{"anna", "OFFICE", SecretText("wrong")}));
        QVERIFY(!(given == Credentials{"anna", "HOME", SecretText("right")}));
        QVERIFY(Credentials{}.anonymous());
        QVERIFY(!given.anonymous());
    }
};

QTEST_GUILESS_MAIN(TestSecretText)
#include "tst_secrettext.moc"
