// Address ranges as the user types them, the refusals the user reads, and
// the walk over several ranges without holding their addresses.

#include "network/AddressRange.h"

#include <QtTest>

using namespace norvane;

Q_DECLARE_METATYPE(norvane::AddressRange)

namespace {

constexpr std::uint32_t address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return std::uint32_t(a) << 24 | std::uint32_t(b) << 16 | std::uint32_t(c) << 8 | d;
}

} // namespace

class TestAddressRange : public QObject {
    Q_OBJECT

private slots:
    void parsesRanges_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<AddressRange>("range");
        QTest::newRow("/24 without network and broadcast")
            << "192.168.4.0/24" << AddressRange{address(192, 168, 4, 1), address(192, 168, 4, 254)};
        QTest::newRow("host bits ignored")
            << "192.168.4.77/24"
            << AddressRange{address(192, 168, 4, 1), address(192, 168, 4, 254)};
        QTest::newRow("/16 is the largest block")
            << "10.1.0.0/16" << AddressRange{address(10, 1, 0, 1), address(10, 1, 255, 254)};
        QTest::newRow("/30") << "10.0.0.4/30"
                             << AddressRange{address(10, 0, 0, 5), address(10, 0, 0, 6)};
        QTest::newRow("/31 keeps both")
            << "10.0.0.4/31" << AddressRange{address(10, 0, 0, 4), address(10, 0, 0, 5)};
        QTest::newRow("/32") << "10.0.0.4/32"
                             << AddressRange{address(10, 0, 0, 4), address(10, 0, 0, 4)};
        QTest::newRow("first-last")
            << "10.0.0.250-10.0.1.5" << AddressRange{address(10, 0, 0, 250), address(10, 0, 1, 5)};
        QTest::newRow("spaces around")
            << " 10.0.0.1 - 10.0.0.9 " << AddressRange{address(10, 0, 0, 1), address(10, 0, 0, 9)};
        QTest::newRow("65536 addresses")
            << "10.0.0.0-10.0.255.255"
            << AddressRange{address(10, 0, 0, 0), address(10, 0, 255, 255)};
        QTest::newRow("one address")
            << "127.0.0.1" << AddressRange{address(127, 0, 0, 1), address(127, 0, 0, 1)};
        QTest::newRow("highest unicast")
            << "223.255.255.254"
            << AddressRange{address(223, 255, 255, 254), address(223, 255, 255, 254)};
    }
    void parsesRanges() {
        QFETCH(QString, text);
        QFETCH(AddressRange, range);
        const auto parsed = parseAddressRange(text);
        QVERIFY2(parsed.range, qPrintable(parsed.error));
        QCOMPARE(*parsed.range, range);
        QVERIFY(parsed.error.isEmpty());
    }

    void refusesRanges_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QString tooMany = QStringLiteral("more than the 65536 a range may hold");
        QTest::newRow("/15") << "10.0.0.0/15"
                             << "10.0.0.0/15: 131072 addresses, " + tooMany;
        QTest::newRow("/0") << "0.0.0.0/0"
                            << "0.0.0.0/0: 4294967296 addresses, " + tooMany;
        QTest::newRow("65537 addresses") << "10.0.0.0-10.1.0.0"
                                         << "10.0.0.0-10.1.0.0: 65537 addresses, " + tooMany;
        QTest::newRow("backwards") << "10.0.0.9-10.0.0.1"
                                   << "10.0.0.9-10.0.0.1: the last address comes before the first";
        QTest::newRow("prefix 33") << "10.0.0.0/33"
                                   << "10.0.0.0/33: not an address block such as 192.168.1.0/24";
        QTest::newRow("signed prefix")
            << "10.0.0.0/+8"
            << "10.0.0.0/+8: not an address block such as 192.168.1.0/24";
        QTest::newRow("no prefix") << "10.0.0.0/"
                                   << "10.0.0.0/: not an address block such as 192.168.1.0/24";
        QTest::newRow("octet over 255") << "10.0.0.256"
                                        << "10.0.0.256: not an IPv4 address, block or range";
        QTest::newRow("leading zero") << "10.0.0.010"
                                      << "10.0.0.010: not an IPv4 address, block or range";
        QTest::newRow("three parts") << "10.0.1"
                                     << "10.0.1: not an IPv4 address, block or range";
        QTest::newRow("name") << "fileserver"
                              << "fileserver: not an IPv4 address, block or range";
        QTest::newRow("non-ASCII digit")
            << QStringLiteral("10.0.0.\u0661")
            << QStringLiteral("10.0.0.\u0661: not an IPv4 address, block or range");
        QTest::newRow("half range") << "10.0.0.1-"
                                    << "10.0.0.1-: not a range such as 192.168.1.10-192.168.1.90";
        QTest::newRow("multicast")
            << "224.0.0.0/24"
            << "224.0.0.0/24: 0.0.0.0/8, multicast and reserved addresses are not swept";
        QTest::newRow("limited broadcast")
            << "255.255.255.255"
            << "255.255.255.255: 0.0.0.0/8, multicast and reserved addresses are not swept";
        QTest::newRow("this network")
            << "0.0.0.0/24"
            << "0.0.0.0/24: 0.0.0.0/8, multicast and reserved addresses are not swept";
    }
    void refusesRanges() {
        QFETCH(QString, text);
        QFETCH(QString, error);
        const auto parsed = parseAddressRange(text);
        QVERIFY(!parsed.range);
        QCOMPARE(parsed.error, error);
    }

    void sequenceWalksEachAddressOnce() {
        // Out of order, overlapping and adjacent ranges.
        AddressSequence sequence({{address(10, 0, 0, 8), address(10, 0, 0, 9)},
                                  {address(10, 0, 0, 1), address(10, 0, 0, 3)},
                                  {address(10, 0, 0, 2), address(10, 0, 0, 4)},
                                  {address(10, 0, 0, 5), address(10, 0, 0, 5)}});
        QCOMPARE(sequence.total(), 7u);
        QList<std::uint32_t> seen;
        while (const auto next = sequence.next())
            seen.append(*next & 0xFF);
        QCOMPARE(seen, (QList<std::uint32_t>{1, 2, 3, 4, 5, 8, 9}));
        QVERIFY(!sequence.next());
    }

    void sequenceReachesTheTopOfTheSpace() {
        AddressSequence sequence({{0xFFFFFFFE, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}});
        QCOMPARE(sequence.total(), 2u);
        QCOMPARE(*sequence.next(), 0xFFFFFFFEu);
        QCOMPARE(*sequence.next(), 0xFFFFFFFFu);
        QVERIFY(!sequence.next());
        QCOMPARE(AddressSequence({}).total(), 0u);
    }

    void addressTextIsDotted() {
        QCOMPARE(hostOrderAddressText(address(192, 168, 4, 201)), QStringLiteral("192.168.4.201"));
    }
};

QTEST_APPLESS_MAIN(TestAddressRange)
#include "tst_addressrange.moc"
