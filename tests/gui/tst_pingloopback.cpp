// The Ping dialog over the real Linux platform, pinging the loopback
// address: the only place where the dialog's echo requests leave the
// process.

#include "dialogs/TPingDlg.h"
#include "linux/LinuxPlatform.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace norvane;

class PingLoopbackTest : public QObject {
    Q_OBJECT

private slots:
    void pingLoopback();
};

void PingLoopbackTest::pingLoopback() {
    LinuxPlatform platform;
    TPingDlg dialog(
        QStringLiteral("\\\\LOCALHOST"), [] { return QStringLiteral("127.0.0.1"); }, platform);
    dialog.findChild<QLineEdit*>(QStringLiteral("edtNumber"))->setText(QStringLiteral("2"));
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    const QString results =
        dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo"))->toPlainText();
    if (results.startsWith(QStringLiteral("Error: Could not initialize icmp.dll.")))
        QSKIP("this user may open no ICMP socket (net.ipv4.ping_group_range, no raw sockets)");
    const QStringList lines = results.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("Pinging LOCALHOST [127.0.0.1] with 32 bytes of data:"));
    const QRegularExpression reply(
        QStringLiteral(R"(^Reply from 127\.0\.0\.1: bytes=32 time(<10|=\d+)ms TTL=\d+$)"));
    QVERIFY2(reply.match(lines[2]).hasMatch(), qPrintable(lines[2]));
    QVERIFY2(reply.match(lines[3]).hasMatch(), qPrintable(lines[3]));
    QCOMPARE(lines[4], QString());
}

QTEST_MAIN(PingLoopbackTest)
#include "tst_pingloopback.moc"
