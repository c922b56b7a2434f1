// A device on the link that claims what it is not: another computer's name
// by WS-Discovery or multicast DNS, a name that is an address, a name with
// an invisible character, or thousands of endpoints. None of it may move a
// computer's row to the device, add a row for it, or send the device the
// scanning user's log-on; a flood costs a folder scan a bounded time. Runs
// inside the auth lab's client namespace (lab-ctest.sh auth run), whose
// locked server takes the lab user alone.

#include "LabClient.h"
#include "LogOnLab.h"
#include "core/RecordingOutput.h"
#include "linux/LinuxPlatform.h"
#include "scan/ScanWorker.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

using namespace norvane;

namespace {

// As lab.sh makes them.
constexpr const char* LabUser = "labuser";
constexpr const char* LabPassword = "Lab-User-Pass-7";
constexpr const char* LabGroup = "LABAUTH";
constexpr const char* LockedAddress = "10.213.77.102";
constexpr const char* DeviceAddress = "10.213.77.150";
// A folder scan of the auth lab takes about 2 s; a flood may add one
// discovery round's time, never one listing per endpoint.
constexpr qint64 FloodedFolderScanBoundMs = 12000;
constexpr int FloodEndpoints = 10000;

QString labDir() {
    return test::labDirOr(QStringLiteral("/tmp/norvane-lab-auth"));
}

QString device(const QStringList& arguments) {
    QProcess lab;
    lab.start(QStringLiteral(NORVANE_LAB_SCRIPT),
              QStringList{QStringLiteral("device")} + arguments);
    lab.waitForFinished(60000);
    [&] { QCOMPARE(lab.exitCode(), 0); }();
    return QString::fromUtf8(lab.readAllStandardOutput());
}

class AnsweringSource : public CredentialSource {
public:
    std::optional<Credentials> remembered(const QString&) override { return std::nullopt; }
    std::optional<CredentialAnswer> ask(const CredentialRequest&) override {
        return CredentialAnswer{Credentials{LabUser, LabGroup, SecretText(LabPassword)}, false};
    }
    void remember(const QString&, const Credentials&) override {}
};

test::RecordingOutput scanComputers() {
    LinuxPlatform platform(test::labClientSettings(labDir()));
    ScanInputs inputs;
    inputs.providerName = LanManProviderName;
    inputs.resourceType = rtComputer;
    test::RecordingOutput output;
    ScanNetwork(platform, inputs, output, [] { return false; });
    return output;
}

QStringList rowsAt(const ResultRows& rows, const char* address) {
    QStringList found;
    for (const ResultRow& row : rows) {
        if (cellText(row, ComputerColumn::Ip) == QLatin1String(address))
            found << row.caption;
    }
    return found;
}

} // namespace

class TestLabDevice : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { device({QStringLiteral("quiet")}); }

    void claimsTakeNothing_data() {
        QTest::addColumn<QStringList>("claim");
        const auto wsd = [](const QString& name, const char* group = LabGroup) {
            return QStringList{QStringLiteral("wsd"), name, QString::fromLatin1(group)};
        };
        QTest::newRow("a browsed computer's name") << wsd(QStringLiteral("LABLOCK"));
        QTest::newRow("the same name in a group of its own") << wsd("LABLOCK", "LABELSEWHERE");
        QTest::newRow("by multicast DNS") << QStringList{QStringLiteral("mdns"), "lablock"};
        QTest::newRow("loopback") << wsd(QStringLiteral("127.0.0.1"));
        QTest::newRow("loopback as one number") << wsd(QStringLiteral("2130706433"));
        QTest::newRow("localhost") << wsd(QStringLiteral("localhost"));
        QTest::newRow("another computer's address") << wsd(QString::fromLatin1(LockedAddress));
        QTest::newRow("a lookalike") << wsd(QStringLiteral("LABLOCK") + QChar(0x200B));
    }
    // The computer list is the lab's alone, the locked server at its own
    // address; the folder scan with the lab user's log-on lists the locked
    // server's shares and never logs on to the device.
    void claimsTakeNothing() {
        QFETCH(QStringList, claim);
        device(claim);
        const test::RecordingOutput computers = scanComputers();
        QCOMPARE(rowsAt(computers.rows, DeviceAddress), QStringList());
        QCOMPARE(rowsAt(computers.rows, LockedAddress), QStringList{"\\\\LABLOCK"});
        QCOMPARE(test::sortedCaptions(computers.rows), (QStringList{"\\\\LABLOCK", "\\\\LABOPEN"}));

        const QString logOnsBefore = device({QStringLiteral("logons")});
        AnsweringSource source;
        const test::RecordingOutput folders = test::scanLabFolders(labDir(), &source);
        QCOMPARE(test::sortedCaptions(folders.rows),
                 (QStringList{"\\\\LABLOCK\\private", "\\\\LABLOCK\\team", "\\\\LABOPEN\\pub"}));
        QCOMPARE(device({QStringLiteral("logons")}), logOnsBefore);
    }

    // One device announcing thousands of endpoints stands for one computer
    // at most, and the folder scan is not held up by listing them.
    void floodIsBounded() {
        device({QStringLiteral("flood"), QString::number(FloodEndpoints)});
        const test::RecordingOutput computers = scanComputers();
        QVERIFY(rowsAt(computers.rows, DeviceAddress).size() <= 1);
        AnsweringSource source;
        QElapsedTimer clock;
        clock.start();
        const test::RecordingOutput folders = test::scanLabFolders(labDir(), &source);
        QVERIFY2(clock.elapsed() < FloodedFolderScanBoundMs,
                 qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
        // The device may be listed as the one computer it stands for.
        QStringList shares = test::sortedCaptions(folders.rows);
        shares.removeIf([](const QString& share) { return share.startsWith("\\\\FLOOD"); });
        QVERIFY(folders.rows.size() - std::size_t(shares.size()) <= 1);
        QCOMPARE(shares,
                 (QStringList{"\\\\LABLOCK\\private", "\\\\LABLOCK\\team", "\\\\LABOPEN\\pub"}));
        qInfo("flooded folder scan: %lld ms", clock.elapsed());
    }
};

QTEST_GUILESS_MAIN(TestLabDevice)
#include "tst_lab_device.moc"
