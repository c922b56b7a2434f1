#pragma once

// The plain-text report: one block per save, written new or appended to an
// earlier report file. The block is built in memory first (a pure function
// of the list's contents, the time and the regional formats) and then
// written to the file in one go.

#include "scan/ResultRow.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace norvane {

// The title line's timestamp: the regional short date with a four-digit
// year, one space and the regional long time with seconds, without its time
// zone.
QString reportTimestamp(const QDateTime& time, const QLocale& locale);

// One report block, UTF-8 without a byte-order mark, every line ending in
// CR LF. Field widths count display columns, so names with non-ASCII, wide
// or combining letters stay aligned; a text longer than its field is
// written whole. Control and reordering characters in the texts are shown
// as visible replacements.
QByteArray formatReport(TResourceType resourceType, const QStringList& captions,
                        const ResultRows& rows, const QDateTime& time, const QLocale& locale);

// Writes one report block for the list to `fileName`. With `overwrite` the
// file is created or emptied first; without it the file must exist and the
// block is appended. The busy cursor shows while the file is open. The time
// is taken once the file is open. A failure throws AppError with the
// message of the error that stopped the writing and leaves the file as it
// was: a replaced file keeps its old content, an appended one is cut back
// to its old length, a new one is not created.
void SaveReport(const QString& fileName, bool overwrite, TResourceType resourceType,
                const QStringList& captions, const ResultRows& rows,
                const QLocale& locale = QLocale::system());

} // namespace norvane
