#include "CsvReader.h"

namespace norvane {

namespace {
constexpr char Separator = ',';
constexpr char Quote = '"';

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}
} // namespace

std::optional<CsvRecord> CsvReader::next() {
    if (m_pos >= m_data.size())
        return std::nullopt;
    CsvRecord record;
    const qsizetype size = m_data.size();
    for (;;) {
        QByteArray field;
        if (m_pos < size && m_data.at(m_pos) == Quote) {
            ++m_pos;
            for (;;) {
                if (m_pos >= size)
                    return broken(std::move(record)); // the quote never closes
                const char c = m_data.at(m_pos++);
                if (c != Quote) {
                    field += c;
                } else if (m_pos < size && m_data.at(m_pos) == Quote) {
                    field += Quote;
                    ++m_pos;
                } else {
                    break;
                }
            }
            if (m_pos < size && m_data.at(m_pos) != Separator && !isLineEnd(m_data.at(m_pos)))
                return broken(std::move(record)); // text after the closing quote
        } else {
            const qsizetype start = m_pos;
            while (m_pos < size && m_data.at(m_pos) != Separator && !isLineEnd(m_data.at(m_pos)))
                ++m_pos;
            field = m_data.mid(start, m_pos - start);
            if (field.contains(Quote))
                return broken(std::move(record));
        }
        record.fields << QString::fromUtf8(field);
        if (m_pos < size && m_data.at(m_pos) == Separator) {
            ++m_pos;
            continue;
        }
        if (m_pos < size && m_data.at(m_pos) == '\r')
            ++m_pos;
        if (m_pos < size && m_data.at(m_pos) == '\n')
            ++m_pos;
        return record;
    }
}

CsvRecord CsvReader::broken(CsvRecord record) {
    record.wellFormed = false;
    const qsizetype end = m_data.indexOf('\n', m_pos);
    m_pos = end < 0 ? m_data.size() : end + 1;
    return record;
}

QString csvField(const QString& text) {
    static const QString needsQuotes = QStringLiteral(",\"\r\n");
    bool quote = false;
    for (const QChar c : text)
        quote = quote || needsQuotes.contains(c);
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace norvane
