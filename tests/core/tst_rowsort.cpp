// The IP sort key, the row compare and the sorted order of the result list,
// and the texts of the optional columns.

#include "scan/OptionalColumns.h"
#include "scan/RowSort.h"
#include "vendor/MacVendors.h"

#include <QTest>

using namespace norvane;

namespace {

ResultRow computer(const QString& name, const QString& ip, const QString& group = {},
                   const QString& comment = {}) {
    return {name, imgComputer, {ip, group, comment, QStringLiteral("?-?-?-?-?-?")}};
}

const QList<QLocale> Locales = {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                QLocale(QLocale::German, QLocale::Germany)};

} // namespace

class TestRowSort : public QObject {
    Q_OBJECT
private slots:
    void ipSortKey_data();
    void ipSortKey();
    void compare_data();
    void compare();
    void sortedOrderAgreesWithCompare_data();
    void sortedOrderAgreesWithCompare();
    void equalRowsKeepTheirOrder();
    void optionalColumnTexts();
};

void TestRowSort::ipSortKey_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::newRow("short octets") << "10.0.0.5"
                                  << " 10.  0.  0.  5";
    QTest::newRow("long octets") << "192.168.1.20"
                                 << "192.168.  1. 20";
    QTest::newRow("placeholder") << "?.?.?.?"
                                 << "  ?.  ?.  ?.  ?";
    QTest::newRow("lone piece repeats") << "?"
                                        << "  ?.  ?.  ?.  ?";
    QTest::newRow("empty") << ""
                           << "   .   .   .   ";
    QTest::newRow("one dot repeats the last piece") << "1.2"
                                                    << "  1.  2.  2.  2";
    QTest::newRow("two dots") << "a.b.c"
                              << "  a.  b.  c.  c";
    QTest::newRow("piece cut to four") << "12345.6.7.8"
                                       << "1234.  6.  7.  8";
    QTest::newRow("fifth piece dropped") << "1.2.3.4.5"
                                         << "  1.  2.  3.  4";
    QTest::newRow("empty piece") << "1..3.4"
                                 << "  1.   .  3.  4";
    QTest::newRow("trailing dot") << "1.2.3."
                                  << "  1.  2.  3.   ";
}

void TestRowSort::ipSortKey() {
    QFETCH(QString, text);
    QFETCH(QString, key);
    QCOMPARE(IPSortKey(text), key);
}

void TestRowSort::compare_data() {
    QTest::addColumn<ResultRow>("a");
    QTest::addColumn<ResultRow>("b");
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<int>("expected");

    const auto c = [](const char* name, const char* ip) {
        return computer(QString::fromLatin1(name), QString::fromLatin1(ip));
    };
    QTest::newRow("IP octets compare as numbers")
        << c("\\\\A", "10.0.0.5") << c("\\\\B", "10.0.0.12") << 0 << int(rtComputer) << true << -1;
    QTest::newRow("IP first octet") << c("\\\\A", "192.168.1.2") << c("\\\\B", "10.0.0.12") << 0
                                    << int(rtComputer) << true << 1;
    QTest::newRow("IP descending")
        << c("\\\\A", "10.0.0.5") << c("\\\\B", "10.0.0.12") << 0 << int(rtComputer) << false << 1;
    QTest::newRow("unresolved before addresses")
        << c("\\\\A", "?.?.?.?") << c("\\\\B", "10.0.0.1") << 0 << int(rtComputer) << true << -1;
    QTest::newRow("names differing in case are equal")
        << c("\\\\alpha", "1.1.1.1") << c("\\\\ALPHA", "2.2.2.2") << -1 << int(rtComputer) << true
        << 0;
    QTest::newRow("name order") << c("\\\\beta", "1.1.1.1") << c("\\\\Alpha", "1.1.1.1") << -1
                                << int(rtComputer) << true << 1;
    QTest::newRow("name descending") << c("\\\\beta", "1.1.1.1") << c("\\\\Alpha", "1.1.1.1") << -1
                                     << int(rtComputer) << false << -1;

    // Sub-item 0 of a share row is its group: plain text, so "WG10" sorts
    // before "WG9" although the IP key would put it after.
    const ResultRow share10{
        QStringLiteral("\\\\A\\x"), imgSharedFolder, {QStringLiteral("WG10"), QStringLiteral("")}};
    const ResultRow share9{
        QStringLiteral("\\\\A\\y"), imgSharedFolder, {QStringLiteral("WG9"), QStringLiteral("")}};
    QTest::newRow("share group is plain text")
        << share10 << share9 << 0 << int(rtSharedFolder) << true << -1;
    QTest::newRow("computer group")
        << computer("\\\\A", "1.1.1.1", "work", "x") << computer("\\\\B", "1.1.1.1", "WORK", "y")
        << 1 << int(rtComputer) << true << 0;
    QTest::newRow("comment") << computer("\\\\A", "1.1.1.1", "g", "printer room")
                             << computer("\\\\B", "1.1.1.1", "g", "Accounts") << 2
                             << int(rtComputer) << true << 1;
    QTest::newRow("missing sub-item is empty")
        << ResultRow{QStringLiteral("\\\\A"), imgComputer, {}} << computer("\\\\B", "1.1.1.1") << 0
        << int(rtComputer) << true << -1;
}

void TestRowSort::compare() {
    QFETCH(ResultRow, a);
    QFETCH(ResultRow, b);
    QFETCH(int, d);
    QFETCH(int, type);
    QFETCH(bool, ascending);
    QFETCH(int, expected);
    for (const QLocale& locale : Locales) {
        const TextCollator collator(locale);
        QCOMPARE(ListViewCompare(a, b, d, static_cast<TResourceType>(type), ascending, collator),
                 expected);
        QCOMPARE(ListViewCompare(b, a, d, static_cast<TResourceType>(type), ascending, collator),
                 -expected);
    }
}

void TestRowSort::sortedOrderAgreesWithCompare_data() {
    QTest::addColumn<int>("d");
    QTest::addColumn<bool>("ascending");
    for (int d = -1; d <= 3; ++d) {
        QTest::addRow("column %d ascending", d + 1) << d << true;
        QTest::addRow("column %d descending", d + 1) << d << false;
    }
}

// The sort works on precomputed keys; its order must be the compare's.
void TestRowSort::sortedOrderAgreesWithCompare() {
    QFETCH(int, d);
    QFETCH(bool, ascending);
    const QStringList names = {"\\\\Zeta", "\\\\alpha", "\\\\ALPHA", "\\\\Ärger", "\\\\b-2",
                               "\\\\b10",  "\\\\B2",    "\\\\émile", "\\\\omega", "\\\\a b"};
    const QStringList ips = {"10.0.0.12", "10.0.0.5", "?.?.?.?", "192.168.1.2", "9.255.0.1",
                             "10.0.0.5",  "1.2",      "",        "100.1.1.1",   "10.0.0.50"};
    ResultRows rows;
    for (qsizetype i = 0; i < names.size(); ++i)
        rows.push_back(computer(names[i], ips[i], names[(i + 3) % names.size()].toUpper(),
                                names[(i + 7) % names.size()]));
    for (const QLocale& locale : Locales) {
        const TextCollator collator(locale);
        const std::vector<std::size_t> order =
            sortedRowOrder(rows, d, rtComputer, ascending, collator);
        QCOMPARE(order.size(), rows.size());
        for (std::size_t i = 1; i < order.size(); ++i) {
            const int result = ListViewCompare(rows[order[i - 1]], rows[order[i]], d, rtComputer,
                                               ascending, collator);
            QVERIFY2(result <= 0, qPrintable(QStringLiteral("%1: %2 before %3")
                                                 .arg(locale.name(), rows[order[i - 1]].caption,
                                                      rows[order[i]].caption)));
        }
    }
}

void TestRowSort::equalRowsKeepTheirOrder() {
    const ResultRows rows = {computer("\\\\PC", "1.1.1.1"), computer("\\\\pc", "1.1.1.1"),
                             computer("\\\\Pc", "1.1.1.1")};
    const TextCollator collator;
    for (const bool ascending : {true, false}) {
        QCOMPARE(sortedRowOrder(rows, -1, rtComputer, ascending, collator),
                 (std::vector<std::size_t>{0, 1, 2}));
    }
}

void TestRowSort::optionalColumnTexts() {
    MacVendors vendors;
    vendors.addRegistry("Registry,Assignment,Organization Name,Organization Address\r\n"
                        "MA-L,001122,Acme,somewhere\r\n");
    ResultRow listed = computer(QStringLiteral("\\\\A"), QStringLiteral("10.0.0.1"));
    listed.subItems[3] = QStringLiteral("00-11-22-33-44-55");
    const ResultRow bare = listed;
    auto record = std::make_shared<ComputerRecord>();
    record->dnsName = QStringLiteral("a.corp.example");
    record->osVersion = QStringLiteral("10.0");
    record->foundBy = FoundBy::BrowseList;
    record->foundBy |= FoundBy::AddressRange;
    listed.computer = record;

    QCOMPARE(optionalCellText(listed, OptionalColumn::Vendor, &vendors), QStringLiteral("Acme"));
    // Not yet known: no vendor rather than a wait.
    QCOMPARE(optionalCellText(listed, OptionalColumn::Vendor, nullptr), QString());
    QCOMPARE(optionalCellText(listed, OptionalColumn::DnsName, &vendors),
             QStringLiteral("a.corp.example"));
    QCOMPARE(optionalCellText(listed, OptionalColumn::OperatingSystem, &vendors),
             QStringLiteral("10.0"));
    QCOMPARE(optionalCellText(listed, OptionalColumn::FoundBy, &vendors),
             QStringLiteral("browse list, address range"));
    // A row without a record (a recorded scan's share, an old file) shows
    // nothing but what its columns give.
    QCOMPARE(optionalCellText(bare, OptionalColumn::DnsName, &vendors), QString());
    QCOMPARE(optionalCellText(bare, OptionalColumn::Vendor, &vendors), QStringLiteral("Acme"));

    QCOMPARE(optionalColumnAt(rtComputer, ComputerColumnCount), OptionalColumn::Vendor);
    QCOMPARE(optionalColumnAt(rtComputer, ComputerColumnCount - 1), std::nullopt);
    QCOMPARE(optionalColumnAt(rtSharedFolder, ComputerColumnCount), std::nullopt);
    for (OptionalColumn column : OptionalColumns)
        QCOMPARE(optionalColumnFromKey(optionalColumnKey(column)), column);
    QCOMPARE(optionalColumnFromKey(QStringLiteral("dnsname")), std::nullopt);
}

QTEST_GUILESS_MAIN(TestRowSort)
#include "tst_rowsort.moc"
