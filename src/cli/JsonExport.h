#pragma once

// A scan as one JSON document:
//   {"resourceType": "computers", "started": "2026-12-10T14:05:09+01:00",
//    "rows": [{"name": "\\\\SERVER1", "ipAddress": "192.168.0.10",
//              "group": "WORKGROUP", "comment": "File server",
//              "macAddress": "00-11-22-33-44-55", "vendor": "...",
//              "dnsName": "server1.corp.example.com",
//              "operatingSystem": "Windows Server 2022 Standard",
//              "osVersion": "10.0 (20348)", "ouPath": "Servers/Berlin",
//              "stale": false, "foundBy": ["browse list", "directory"]}]}
// ouPath and stale are null for a computer no directory named. Share rows hold name, group and
// comment. A value the scan did not obtain is null, never the window's placeholder text.

#include "ScanResult.h"
#include "vendor/MacVendors.h"

#include <QByteArray>
#include <QString>

namespace norvane {

QByteArray formatJson(const ScanResult& scan, const MacVendors& vendors);

// ISO 8601 with the offset from UTC, "2026-12-10T14:05:09+01:00", also
// where the offset is zero.
QString isoTimestampWithOffset(const QDateTime& time);

} // namespace norvane
