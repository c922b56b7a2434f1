// The address sweep over the small lab's subnet, from the client's
// namespace: every Samba host is named by node status and by its NTLM
// challenge, the SMB2-only hosts with NetBIOS off by their challenge
// alone, hosts that run nothing are left out, and no server logs a log-on.

#include "LabClient.h"
#include "linux/sweep/AddressSweep.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <arpa/inet.h>

using namespace norvane;

namespace {

constexpr std::uint32_t labAddress(std::uint8_t last) {
    return 0x0AD54D00u | last; // 10.213.77.x
}

// The lines of every lab server's logs that record a log-on from the client.
int logOnLines(const QString& labDir) {
    int count = 0;
    const QDir lab(labDir);
    for (const QString& host : lab.entryList({QStringLiteral("h*")}, QDir::Dirs)) {
        const QDir logs(lab.filePath(host + QStringLiteral("/log")));
        for (const QString& name : logs.entryList({QStringLiteral("*.log")}, QDir::Files)) {
            QFile file(logs.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray& line : file.readAll().split('\n'))
                count += line.contains("Auth: [SMB") && line.contains("ipv4:10.213.77.10:");
        }
    }
    return count;
}

} // namespace

class TestLabSweep : public QObject {
    Q_OBJECT

private slots:
    void sweepsTheLabSubnet() {
        const QString labDir = test::labDirOr(QStringLiteral("/tmp/norvane-lab"));
        const int logOnsBefore = logOnLines(labDir);
        std::map<std::uint32_t, SweptHost> found;
        AddressSequence addresses({parseAddressRange(u"10.213.77.0/24").range.value()});
        AddressSweep sweeper;
        QElapsedTimer timer;
        timer.start();
        const SweepSummary summary = sweeper.run(
            addresses, [&](const SweptHost& host) { found.emplace(ntohl(host.address), host); });
        qInfo("swept 254 addresses in %lld ms, %llu hosts", timer.elapsed(),
              static_cast<unsigned long long>(summary.hostsFound));
        QCOMPARE(summary.addressesStarted, 254u);

        const QList<std::pair<int, QByteArray>> netbiosHosts{
            {1, "LABGROUP1"}, {2, "LABGROUP1"}, {3, "LABGROUP2"}, {4, "LABGROUP2"}};
        for (const auto& [index, group] : netbiosHosts) {
            const QByteArray name = "LABSRV" + QByteArray::number(index);
            QVERIFY2(found.contains(labAddress(std::uint8_t(100 + index))), name.constData());
            const SweptHost& host = found.at(labAddress(std::uint8_t(100 + index)));
            QVERIFY(host.nodeStatusAnswered && host.smbAccepted);
            QCOMPARE(QByteArray::fromStdString(host.netbios->name), name);
            QCOMPARE(QByteArray::fromStdString(host.netbios->group), group);
            QCOMPARE(host.ntlm->netbiosComputer, QString::fromLatin1(name));
            QVERIFY(host.ntlm->version);
        }
        const QList<std::pair<int, QString>> smbOnlyHosts{
            {5, "MODERN1"}, {6, "MODERN2"}, {7, "MODERN3"}, {22, "LABNAS-NO-NETBI"}};
        for (const auto& [index, name] : smbOnlyHosts) {
            QVERIFY2(found.contains(labAddress(std::uint8_t(100 + index))), qPrintable(name));
            const SweptHost& host = found.at(labAddress(std::uint8_t(100 + index)));
            QVERIFY(!host.nodeStatusAnswered);
            QCOMPARE(host.ntlm->netbiosComputer, name);
        }
        // The client itself and the quiet host run nothing.
        QVERIFY(!found.contains(labAddress(10)));
        QVERIFY(!found.contains(labAddress(99)));
        QCOMPARE(logOnLines(labDir), logOnsBefore);
    }
};

QTEST_GUILESS_MAIN(TestLabSweep)
#include "tst_lab_sweep.moc"
