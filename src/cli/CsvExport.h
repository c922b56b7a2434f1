#pragma once

// A scan as CSV (RFC 4180): a header row of the list's column captions, then
// one record per row, UTF-8, CR LF line ends. Computer lists add the
// adapter's vendor after the MAC address, then what the sources know of the
// computer (ComputerFactCaptions). A value the scan did not obtain
// (an address shown as a placeholder in the window, an unknown vendor) is
// an empty field. A field that a spreadsheet would take for a formula (it
// starts with =, +, -, @, a tab or a carriage return) starts with an
// apostrophe.

#include "ScanResult.h"
#include "vendor/MacVendors.h"

#include <QByteArray>
#include <QStringList>

namespace norvane {

// The columns after the vendor: the computer's DNS name, operating system
// and its version, the organisational units above its directory account,
// whether that account is stale ("yes", "no"; empty outside a directory),
// and the sources that found it, separated by "; ".
inline const QStringList ComputerFactCaptions{
    QStringLiteral("DNS Name"),   QStringLiteral("Operating System"),
    QStringLiteral("OS Version"), QStringLiteral("OU Path"),
    QStringLiteral("Stale"),      QStringLiteral("Found By")};

QByteArray formatCsv(const ScanResult& scan, const MacVendors& vendors);

// A CSV field that a spreadsheet never takes for a formula: a text from the
// network that starts as one gets a leading apostrophe, which spreadsheets
// read as "text follows" and do not show.
QString spreadsheetCell(const QString& field);

} // namespace norvane
