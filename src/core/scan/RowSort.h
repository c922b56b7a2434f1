#pragma once

// Ordering of the result list by one of its columns: the locale-aware,
// case-insensitive text comparison, the key that makes dotted IP addresses
// sort octet by octet, and the compare of two rows for a clicked column.

#include "ResultRow.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

namespace norvane {

// The key of a dotted IP address text: its first four dot-separated pieces,
// each cut to four characters and right-aligned in a field of three, joined
// by ".". Comparing keys as text orders addresses numerically, since a space
// sorts before every digit. A text with fewer than three dots repeats its
// last piece.
QString IPSortKey(const QString& text);

// The user's locale-aware text comparison with letter case ignored.
class TextCollator {
public:
    explicit TextCollator(const QLocale& locale = QLocale());

    // -1, 0 or +1.
    int compare(const QString& a, const QString& b) const;
    // A key whose comparison agrees with compare(); cheap to compare many times.
    QCollatorSortKey sortKey(const QString& text) const;

private:
    QCollator m_collator;
    // The C locale's collator compares by code point; its sort keys keep the
    // case, so the text is case-folded before the key is made.
    bool m_codePointOrder;
};

// The sort argument d of a list column: the columns after the caption count
// from 0, the caption is -1.
constexpr int sortArgument(int column) {
    return column - 1;
}

// Compares two rows by the column given by the sort argument d (-1 the
// caption, 0 and up the sub-items). Sub-item 0 of a computer scan holds IP
// addresses and compares by their IPSortKey. The result is negated when the
// order is descending.
int ListViewCompare(const ResultRow& a, const ResultRow& b, int d, TResourceType resourceType,
                    bool ascending, const TextCollator& collator);

// The rows' indices in the order ListViewCompare gives; rows that compare
// equal keep their relative order.
std::vector<std::size_t> sortedRowOrder(const ResultRows& rows, int d, TResourceType resourceType,
                                        bool ascending, const TextCollator& collator);

// The rows' indices ordered by a text the caller gives for each row, as
// sortedRowOrder orders by a column: for the columns the list computes.
std::vector<std::size_t>
sortedRowOrderByText(const ResultRows& rows, const std::function<QString(const ResultRow&)>& textOf,
                     bool ascending, const TextCollator& collator);

} // namespace norvane
