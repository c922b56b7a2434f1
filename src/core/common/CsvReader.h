#pragma once

// Records of comma-separated text as RFC 4180 writes them: fields separated
// by commas, records by CR LF or LF, a field in double quotes may hold
// commas, line breaks and doubled quotes. A record that breaks the quoting
// rules is reported as such and reading goes on with the next line, so that
// one bad line loses nothing else.

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace norvane {

struct CsvRecord {
    QStringList fields;
    bool wellFormed = true;
};

class CsvReader {
public:
    explicit CsvReader(QByteArray data) : m_data(std::move(data)) {}

    // The next record, or nothing at the end of the data.
    std::optional<CsvRecord> next();

private:
    // Ends a broken record: skips to the start of the next line.
    CsvRecord broken(CsvRecord record);

    QByteArray m_data;
    qsizetype m_pos = 0;
};

// The text as one CSV field: quoted when it holds a comma, a quote or a
// line break, with its quotes doubled.
QString csvField(const QString& text);

} // namespace norvane
