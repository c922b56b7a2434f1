// Host identity: call name bytes, MAC text, adapter enumeration and reset.

#include "fake/FakePlatform.h"
#include "scan/HostIdentity.h"

#include <QTest>

using namespace norvane;
using norvane::test::FakePlatform;

class TestHostIdentity : public QObject {
    Q_OBJECT

private slots:
    void callName_data();
    void callName();
    void macTextKeepsLeadingZeros();
    void macQueryFailureGivesPlaceholder();
    void enumLana_data();
    void enumLana();
    void resetLana();
    void resolvedAddressIsDotted();
};

void TestHostIdentity::callName_data() {
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("short name padded with spaces")
        << QByteArray("ALPHA") << QByteArray("ALPHA          \0", 16);
    QTest::newRow("fifteen characters, no padding")
        << QByteArray("FIFTEEN-CHARS-X") << QByteArray("FIFTEEN-CHARS-X\0", 16);
    QTest::newRow("longer name cut to fifteen")
        << QByteArray("A-NAME-LONGER-THAN-FIFTEEN") << QByteArray("A-NAME-LONGER-T\0", 16);
    QTest::newRow("empty name") << QByteArray() << QByteArray("               \0", 16);
    QTest::newRow("case kept") << QByteArray("mixedCase") << QByteArray("mixedCase      \0", 16);
}

void TestHostIdentity::callName() {
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, bytes);
    const auto name = makeCallName(host);
    QCOMPARE(QByteArray(name.data(), static_cast<qsizetype>(name.size())), bytes);

    // The query copies it into the control block up to its terminating zero.
    FakePlatform net;
    GetMacAddress(net, 4, name.data());
    const std::string expected =
        "netbios(NCBASTAT,lana=4,callname=" + bytes.left(15).toStdString() + "\\0,length=4650)";
    QCOMPARE(net.calls().back(), expected);
}

void TestHostIdentity::macTextKeepsLeadingZeros() {
    const std::uint8_t mac[6] = {0x00, 0x0A, 0x5E, 0x1F, 0xC2, 0x9B};
    QCOMPARE(macText(mac), QStringLiteral("00-0A-5E-1F-C2-9B"));
    const std::uint8_t high[6] = {0xFF, 0xFE, 0x10, 0x01, 0xA0, 0x0F};
    QCOMPARE(macText(high), QStringLiteral("FF-FE-10-01-A0-0F"));

    FakePlatform net;
    net.adapters["ALPHA"] = {0x00, 0x0A, 0x5E, 0x1F, 0xC2, 0x9B};
    QCOMPARE(GetMacAddress(net, 0, makeCallName("ALPHA").data()),
             QStringLiteral("00-0A-5E-1F-C2-9B"));
}

void TestHostIdentity::macQueryFailureGivesPlaceholder() {
    FakePlatform net;
    QCOMPARE(GetMacAddress(net, 0, makeCallName("NOBODY").data()), QStringLiteral("?-?-?-?-?-?"));
}

void TestHostIdentity::enumLana_data() {
    QTest::addColumn<int>("retcode");
    QTest::addColumn<QList<int>>("lanas");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("lanaNum");
    QTest::newRow("first of several") << 0 << QList<int>{3, 5} << true << 3;
    QTest::newRow("no adapter") << 0 << QList<int>{} << false << 0;
    QTest::newRow("call failed") << int(NRC_SYSTEM) << QList<int>{2} << false << 0;
}

void TestHostIdentity::enumLana() {
    QFETCH(int, retcode);
    QFETCH(QList<int>, lanas);
    QFETCH(bool, ok);
    QFETCH(int, lanaNum);
    FakePlatform net;
    net.enumRetcode = static_cast<std::uint8_t>(retcode);
    net.lanas.assign(lanas.begin(), lanas.end());
    std::uint8_t lana = 99;
    QCOMPARE(EnumLana(net, lana), ok);
    QCOMPARE(int(lana), lanaNum);
    QCOMPARE(net.calls(), std::vector<std::string>{"netbios(NCBENUM,length=256)"});
}

void TestHostIdentity::resetLana() {
    FakePlatform net;
    QVERIFY(ResetLana(net, 3));
    net.resetRetcode = NRC_SYSTEM;
    QVERIFY(!ResetLana(net, 3));
    QCOMPARE(net.calls().back(), std::string("netbios(NCBRESET,lana=3)"));
}

void TestHostIdentity::resolvedAddressIsDotted() {
    FakePlatform net;
    net.addresses["HOST"] = FakePlatform::address("192.168.0.10");
    QCOMPARE(resolveHostName(net, "HOST"), std::optional<QString>(QStringLiteral("192.168.0.10")));
    QCOMPARE(resolveHostName(net, "host"), std::optional<QString>());
}

QTEST_GUILESS_MAIN(TestHostIdentity)
#include "tst_hostidentity.moc"
