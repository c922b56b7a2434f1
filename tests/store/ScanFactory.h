#pragma once

// Scans made up for the store's tests, the writer program and the
// benchmark: a night's scan of `rows` computers at a site, the same rows
// every night except a few whose comment follows the night, and one
// computer that is new each night. Every fact is filled for most rows, so
// that a round trip shows each column. The night is in the start time, so
// that a recorded scan can be checked against the scan it was made from.

#include "store/StoredScan.h"

#include <QtEndian>

namespace norvane::test {

inline const QDateTime FirstNight(QDate(2026, 1, 1), QTime(2, 0), Qt::UTC);

inline ComputerRecord madeUpComputer(int index, int night) {
    const auto n = static_cast<std::uint32_t>(index);
    ComputerRecord computer{
        .name = QStringLiteral("PC-%1").arg(index, 5, 10, QLatin1Char('0')),
        .group = QStringLiteral("GROUP%1").arg(index % 8),
        .comment = index % 50 == night % 50
                       ? QStringLiteral("changed on night %1").arg(night)
                       : QStringLiteral("Workstation, floor %1").arg(index % 7),
        .address = qToBigEndian<std::uint32_t>(0x0A000000u | n),
        .mac = MacAddress{0x00, 0x1B, 0x21, static_cast<std::uint8_t>(n >> 16),
                          static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)},
        .vendor = QStringLiteral("Intel Corporate"),
        .dnsName = QStringLiteral("pc-%1.corp.example.org").arg(index),
        .operatingSystem = QStringLiteral("Windows 11 Pro"),
        .osVersion = QStringLiteral("10.0 (22631)"),
        .foundBy = FoundBySet(FoundBy::BrowseList),
        .directory = std::nullopt,
    };
    if (index % 3 == 0)
        computer.directory =
            DirectoryFacts{.guid = QStringLiteral("6f2a%1-0000-4000-8000-00000000abcd")
                                       .arg(index, 4, 16, QLatin1Char('0')),
                           .ouPath = QStringLiteral("Workstations/Floor %1").arg(index % 7),
                           .stale = index % 9 == 0};
    if (index % 10 == 7) {
        computer.address.reset();
        computer.mac.reset();
        computer.vendor.clear();
    }
    return computer;
}

inline ScanContents madeUpScan(const QString& site, int night, int rows) {
    ScanContents scan;
    scan.header = ScanHeader{.started = FirstNight.addDays(night),
                             .site = site,
                             .resourceType = rtComputer,
                             .complete = true};
    scan.computers.reserve(static_cast<std::size_t>(rows));
    for (int i = 0; i + 1 < rows; ++i)
        scan.computers.push_back(madeUpComputer(i, night));
    if (rows > 0) {
        ComputerRecord fresh = madeUpComputer(100000 + night, night);
        fresh.name = QStringLiteral("NEW-%1").arg(night);
        scan.computers.push_back(fresh);
    }
    return scan;
}

// The night a made-up scan was made for.
inline int nightOf(const ScanHeader& header) {
    return static_cast<int>(FirstNight.daysTo(header.started));
}

} // namespace norvane::test
