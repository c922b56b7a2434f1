#pragma once

// What changed, written for a reader, a spreadsheet or a program.
//
// The report: per site and resource type, the two scans compared, then the
// new, gone and changed rows, then the counts. Texts from the network are
// made visible (no control character reaches the terminal).
//
// CSV (RFC 4180, UTF-8, CR LF): a header row, then one record per new or
// gone row and one per changed fact:
//   site,resource,older_scan,newer_scan,change,computer,group,share,field,before,after
//
// JSON, version 1 (fields are only ever added):
//   {"format": "norvane-changes", "version": 1, "changesFound": true,
//    "sections": [{"site": "HQ", "resourceType": "computers",
//                  "older": {"id": 3, "started": "2026-12-09T02:00:00+01:00"},
//                  "newer": {"id": 5, "started": "2026-12-10T02:00:00+01:00"},
//                  "counts": {"new": 1, "gone": 0, "changed": 1},
//                  "changes": [{"change": "new", "computer": {...}},
//                              {"change": "changed", "computer": {...},
//                               "fields": [{"field": "address", "before": "...",
//                                           "after": "..."}]}]}],
//    "uncompared": ["BRANCH: folders"]}
// A computer holds name, group, comment, ipAddress, macAddress, vendor,
// dnsName, os, osVersion and directoryGuid (null where not known); a share
// (under "share") computer, name, kind ("disk" or "printer"), group and
// comment. A gone row carries its facts from the older scan, the others
// from the newer.

#include "store/ChangeFinder.h"

#include <QByteArray>

namespace norvane {

QByteArray formatChangesReport(const ChangeFindings& findings);
QByteArray formatChangesCsv(const ChangeFindings& findings);
QByteArray formatChangesJson(const ChangeFindings& findings);

} // namespace norvane
