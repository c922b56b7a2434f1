// Which computers and shares are the same across two scans, and what
// counts as new, gone and changed.

#include "store/ScanComparison.h"

#include <QTest>
#include <QtEndian>

using namespace norvane;

namespace {
ComputerRecord computer(const char* name, const char* group = "WG") {
    ComputerRecord record;
    record.name = QLatin1String(name);
    record.group = QLatin1String(group);
    return record;
}

ComputerRecord withMac(ComputerRecord record, std::uint8_t first, std::uint8_t last) {
    record.mac = MacAddress{first, 0x11, 0x22, 0x33, 0x44, last};
    return record;
}

ComputerRecord withGuid(ComputerRecord record, const char* guid) {
    record.directory =
        DirectoryFacts{.guid = QLatin1String(guid), .ouPath = QString(), .stale = false};
    return record;
}

// "new NAME", "gone NAME", "changed NAME: field,field".
QStringList described(const std::vector<ComputerChange>& changes) {
    QStringList lines;
    for (const ComputerChange& change : changes) {
        const QString name = change.current().name;
        if (change.kind == ChangeKind::New) {
            lines << QStringLiteral("new ") + name;
        } else if (change.kind == ChangeKind::Gone) {
            lines << QStringLiteral("gone ") + name;
        } else {
            QStringList fields;
            for (const FieldChange& field : change.fields)
                fields << field.field;
            lines << QStringLiteral("changed %1: %2").arg(name, fields.join(QLatin1Char(',')));
        }
    }
    return lines;
}
} // namespace

class TestScanComparison : public QObject {
    Q_OBJECT

private slots:
    void sameComputerAcrossScans_data() {
        QTest::addColumn<ComputerRecord>("before");
        QTest::addColumn<ComputerRecord>("after");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("directory GUID over a new name and MAC")
            << withMac(withGuid(computer("OLD"), "AB-CD"), 0x00, 1)
            << withMac(withGuid(computer("NEW"), "ab-cd"), 0x00, 2)
            << QStringList{"changed NEW: name,mac"};
        QTest::newRow("different GUIDs, same name: two accounts")
            << withGuid(computer("PC"), "g1") << withGuid(computer("PC"), "g2")
            << QStringList{"new PC", "gone PC"};
        QTest::newRow("global MAC over a new name")
            << withMac(computer("OLD"), 0x00, 1) << withMac(computer("NEW"), 0x00, 1)
            << QStringList{"changed NEW: name"};
        QTest::newRow("locally administered MAC names nothing")
            << withMac(computer("PHONE-A"), 0x02, 1) << withMac(computer("PHONE-B"), 0x02, 1)
            << QStringList{"new PHONE-B", "gone PHONE-A"};
        QTest::newRow("group address names nothing")
            << withMac(computer("A"), 0x01, 1) << withMac(computer("B"), 0x01, 1)
            << QStringList{"new B", "gone A"};
        QTest::newRow("random MAC, same name: the name matches")
            << withMac(computer("LAPTOP"), 0x06, 1) << withMac(computer("LAPTOP"), 0x0E, 9)
            << QStringList{};
        QTest::newRow("name within group, case aside")
            << computer("Pc-1", "wg") << computer("PC-1", "WG") << QStringList{};
        QTest::newRow("same name in another group")
            << computer("PC-1", "SALES") << computer("PC-1", "HR")
            << QStringList{"new PC-1", "gone PC-1"};
        QTest::newRow("two global MACs, same name: a replaced machine")
            << withMac(computer("PC"), 0x00, 1) << withMac(computer("PC"), 0x00, 2)
            << QStringList{"new PC", "gone PC"};
        QTest::newRow("MAC learned now: the name matches")
            << computer("PC") << withMac(computer("PC"), 0x00, 2) << QStringList{};
    }
    void sameComputerAcrossScans() {
        QFETCH(ComputerRecord, before);
        QFETCH(ComputerRecord, after);
        QFETCH(QStringList, expected);
        QCOMPARE(described(compareComputers({before}, {after}, true)), expected);
    }

    void factsThatChange_data() {
        QTest::addColumn<ComputerRecord>("after");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("texts");

        ComputerRecord before = withMac(computer("PC"), 0x00, 1);
        before.address = qToBigEndian<std::uint32_t>(0x0A000001);
        before.comment = QStringLiteral("Reception");
        before.operatingSystem = QStringLiteral("Windows 10 Pro");
        before.osVersion = QStringLiteral("10.0 (19045)");

        ComputerRecord moved = before;
        moved.address = qToBigEndian<std::uint32_t>(0x0A000063);
        QTest::newRow("address") << moved << QStringList{"address"}
                                 << QStringList{"10.0.0.1", "10.0.0.99"};
        ComputerRecord unresolved = before;
        unresolved.address.reset();
        unresolved.operatingSystem.clear();
        unresolved.osVersion.clear();
        QTest::newRow("facts not learned this time")
            << unresolved << QStringList{} << QStringList{};
        ComputerRecord emptied = before;
        emptied.comment.clear();
        QTest::newRow("comment emptied")
            << emptied << QStringList{"comment"} << QStringList{"Reception", ""};
        ComputerRecord upgraded = before;
        upgraded.operatingSystem = QStringLiteral("Windows 11 Pro");
        upgraded.osVersion = QStringLiteral("10.0 (22631)");
        upgraded.group = QStringLiteral("OFFICE");
        QTest::newRow("group and OS") << upgraded << QStringList{"group", "os"}
                                      << QStringList{"WG", "OFFICE", "Windows 10 Pro 10.0 (19045)",
                                                     "Windows 11 Pro 10.0 (22631)"};
    }
    void factsThatChange() {
        QFETCH(ComputerRecord, after);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, texts);
        ComputerRecord before = withMac(computer("PC"), 0x00, 1);
        before.address = qToBigEndian<std::uint32_t>(0x0A000001);
        before.comment = QStringLiteral("Reception");
        before.operatingSystem = QStringLiteral("Windows 10 Pro");
        before.osVersion = QStringLiteral("10.0 (19045)");
        const std::vector<ComputerChange> changes = compareComputers({before}, {after}, true);
        QStringList gotFields;
        QStringList gotTexts;
        for (const ComputerChange& change : changes) {
            QCOMPARE(change.kind, ChangeKind::Changed);
            for (const FieldChange& field : change.fields) {
                gotFields << field.field;
                gotTexts << field.before << field.after;
            }
        }
        QCOMPARE(gotFields, fields);
        QCOMPARE(gotTexts, texts);
    }

    void partialScanMakesNothingGone() {
        const std::vector<ComputerRecord> before{computer("A"), computer("B"), computer("C")};
        const std::vector<ComputerRecord> after{computer("B"), computer("D")};
        QCOMPARE(described(compareComputers(before, after, false)), QStringList{"new D"});
        QCOMPARE(described(compareComputers(before, after, true)),
                 (QStringList{"new D", "gone A", "gone C"}));
        const std::vector<ShareRecord> shares{ShareRecord{
            .computer = "A", .name = "x", .kind = ShareKind::Disk, .group = "", .comment = ""}};
        QVERIFY(compareShares(shares, {}, false).empty());
        QCOMPARE(countChanges(compareShares(shares, {}, true)).gone, 1);
    }

    void duplicateNamesPairOnce() {
        // Two rows of one name (two adapters answering): each pairs once.
        const std::vector<ComputerRecord> before{computer("PC"), computer("PC")};
        const std::vector<ComputerRecord> after{computer("PC")};
        QCOMPARE(described(compareComputers(before, after, true)), QStringList{"gone PC"});
    }

    // The rows a list marks as new are exactly those the comparison calls
    // new, duplicates included.
    void newRowsAreTheNewChanges() {
        const std::vector<ComputerRecord> before{withMac(computer("ALPHA", "WG1"), 0x00, 1),
                                                 computer("PC"), computer("PC")};
        const std::vector<ComputerRecord> after{
            computer("PC"), withMac(computer("alpha", "WG2"), 0x00, 1), computer("ALPHA", "WG1"),
            computer("PC"), computer("PC")};
        QCOMPARE(newComputerRows(before, after), (std::vector<std::size_t>{2, 4}));
        QCOMPARE(countChanges(compareComputers(before, after, true)).added, 2);
        const auto share = [](const char* name) {
            return ShareRecord{.computer = QStringLiteral("SRV"),
                               .name = QLatin1String(name),
                               .kind = ShareKind::Disk,
                               .group = {},
                               .comment = {}};
        };
        const std::vector<ShareRecord> shares{share("x"), share("X")};
        const std::vector<ShareRecord> nowShares{share("x"), share("y"), share("x"), share("x")};
        QCOMPARE(newShareRows(shares, nowShares), (std::vector<std::size_t>{1, 3}));
        QCOMPARE(countChanges(compareShares(shares, nowShares, true)).added, 2);
    }

    void sharesByComputerAndName() {
        const auto share = [](const char* computer, const char* name, ShareKind kind,
                              const char* comment) {
            return ShareRecord{.computer = QLatin1String(computer),
                               .name = QLatin1String(name),
                               .kind = kind,
                               .group = QStringLiteral("WG"),
                               .comment = QLatin1String(comment)};
        };
        const std::vector<ShareRecord> before{share("SRV", "Data", ShareKind::Disk, "old"),
                                              share("SRV", "Laser", ShareKind::Printer, ""),
                                              share("SRV", "Gone", ShareKind::Disk, "")};
        const std::vector<ShareRecord> after{share("srv", "DATA", ShareKind::Disk, "new"),
                                             share("SRV", "Laser", ShareKind::Disk, ""),
                                             share("OTHER", "Data", ShareKind::Disk, "old")};
        const std::vector<ShareChange> changes = compareShares(before, after, true);
        QCOMPARE(changes.size(), std::size_t(4));
        QCOMPARE(changes[0].kind, ChangeKind::Changed);
        QCOMPARE(changes[0].fields, (std::vector<FieldChange>{{"comment", "old", "new"}}));
        QCOMPARE(changes[1].fields, (std::vector<FieldChange>{{"kind", "printer", "disk"}}));
        QCOMPARE(changes[2].kind, ChangeKind::New);
        QCOMPARE(changes[2].current().computer, QStringLiteral("OTHER"));
        QCOMPARE(changes[3].kind, ChangeKind::Gone);
        QCOMPARE(changes[3].current().name, QStringLiteral("Gone"));
    }
};

QTEST_GUILESS_MAIN(TestScanComparison)
#include "tst_scancomparison.moc"
