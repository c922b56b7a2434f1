#include "StoredRows.h"

#include "ScanComparison.h"

namespace norvane {

ResultRows rowsOfScan(const ScanContents& scan) {
    ResultRows rows;
    const QString backslashes = QStringLiteral("\\\\");
    if (scan.header.resourceType == rtComputer) {
        rows.reserve(scan.computers.size());
        for (const ComputerRecord& computer : scan.computers) {
            ResultRow row(
                backslashes + computer.name, computer.address ? imgComputer : imgUnresolvedComputer,
                {computer.address ? addressText(*computer.address)
                                  : QString::fromLatin1(NoIpAddress),
                 computer.group, computer.comment,
                 computer.mac ? macAddressText(*computer.mac) : QString::fromLatin1(NoMacAddress)});
            row.computer = std::make_shared<const ComputerRecord>(computer);
            rows.push_back(std::move(row));
        }
        return rows;
    }
    rows.reserve(scan.shares.size());
    for (const ShareRecord& share : scan.shares) {
        ResultRow row(backslashes + share.computer + QLatin1Char('\\') + share.name,
                      share.kind == ShareKind::Printer ? imgSharedPrinter : imgSharedFolder,
                      {share.group, share.comment});
        row.share = std::make_shared<const ShareRecord>(share);
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace norvane
