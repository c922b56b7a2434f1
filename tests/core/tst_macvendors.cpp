// MAC vendors from small registry files in the layout of the IEEE's CSV
// exports: the three prefix lengths, quoted fields, broken lines.

#include "vendor/MacVendors.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace norvane;

namespace {

const QByteArray LargeBlocks =
    "Registry,Assignment,Organization Name,Organization Address\r\n"
    "MA-L,001122,\"Acme, Inc.\",1 Main St Springfield US 12345 \r\n"
    "MA-L,70B3D5,IEEE Registration Authority,445 Hoes Lane Piscataway NJ US 08554 \r\n"
    "MA-L,A8BBCC,Broken \"Quote, Ltd\",somewhere\r\n"
    "MA-L,DDEEFF,Survivor GmbH,\r\n"
    "MA-L,12345,Five Digits Co,\r\n";
const QByteArray MediumBlocks = "Registry,Assignment,Organization Name,Organization Address\n"
                                "MA-M,70B3D5A,Medium Corp,\n"
                                "MA-M,0011223,Medium inside Acme,\n";
const QByteArray SmallBlocks =
    "Registry,Assignment,Organization Name,Organization Address\n"
    "MA-S,70B3D5A12,\"Small \"\"Tiny\"\" Ltd\",\"Unit 4\nHarbour Road, Cove  GB \"\n"
    "MA-S,70B3D5A13,Next Small,\n";

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TestMacVendors : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        writeFile(m_dir.filePath(QStringLiteral("oui.csv")), LargeBlocks);
        writeFile(m_dir.filePath(QStringLiteral("mam.csv")), MediumBlocks);
        writeFile(m_dir.filePath(QStringLiteral("oui36.csv")), SmallBlocks);
    }

    void vendorOf_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("vendor"); // null: none
        QTest::newRow("24-bit, quoted comma") << "00-11-22-44-55-66"
                                              << "Acme, Inc.";
        QTest::newRow("colons, lower case") << "00:11:22:ab:cd:ef"
                                            << "Acme, Inc.";
        QTest::newRow("28-bit inside a 24-bit block") << "00-11-22-3F-00-00"
                                                      << "Medium inside Acme";
        QTest::newRow("28-bit") << "70-B3-D5-A0-00-01"
                                << "Medium Corp";
        QTest::newRow("36-bit, doubled quotes, address over two lines") << "70-B3-D5-A1-2F-00"
                                                                        << "Small \"Tiny\" Ltd";
        QTest::newRow("record after the two-line address") << "70-B3-D5-A1-3F-00"
                                                           << "Next Small";
        QTest::newRow("24-bit when no longer prefix matches") << "70-B3-D5-10-00-00"
                                                              << "IEEE Registration Authority";
        QTest::newRow("malformed line skipped") << "A8-BB-CC-00-00-01" << QString();
        QTest::newRow("line after a malformed one") << "DD-EE-FF-00-00-01"
                                                    << "Survivor GmbH";
        QTest::newRow("locally administered") << "02-4E-56-00-00-01"
                                              << "Locally administered";
        QTest::newRow("locally administered beats a registry match") << "02-11-22-33-44-55"
                                                                     << "Locally administered";
        QTest::newRow("unknown block") << "10-20-30-40-50-60" << QString();
        QTest::newRow("placeholder") << "?-?-?-?-?-?" << QString();
        QTest::newRow("too short") << "00-11-22-33-44" << QString();
        QTest::newRow("signs are no digits") << "+0-11-22-33-44-55" << QString();
        QTest::newRow("wrong separator") << "00.11.22.33.44.55" << QString();
    }
    void vendorOf() {
        QFETCH(QString, mac);
        QFETCH(QString, vendor);
        const MacVendors vendors = MacVendors::load(m_dir.path());
        const std::optional<QString> found = vendors.vendorOf(mac);
        if (vendor.isNull())
            QCOMPARE(found, std::nullopt);
        else
            QCOMPARE(found.value_or(QStringLiteral("(none)")), vendor);
    }

    void malformedAndOddRecordsAreNotTaken() {
        MacVendors vendors;
        // Acme, the registration authority and the survivor; not the broken
        // quote, the five-digit assignment or the header.
        QCOMPARE(vendors.addRegistry(LargeBlocks), 3);
    }

    void withoutRegistryFilesNoVendorIsKnown() {
        const MacVendors vendors = MacVendors::load(m_dir.filePath(QStringLiteral("missing")));
        QCOMPARE(vendors.vendorOf(QStringLiteral("00-11-22-33-44-55")), std::nullopt);
        QCOMPARE(vendors.vendorOf(QStringLiteral("02-00-00-00-00-01")),
                 MacVendors::locallyAdministered());
    }
};

QTEST_GUILESS_MAIN(TestMacVendors)
#include "tst_macvendors.moc"
