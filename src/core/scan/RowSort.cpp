#include "RowSort.h"

#include <algorithm>

namespace norvane {

namespace {

constexpr int IpPieceCount = 4;
constexpr qsizetype IpPieceMaxLength = 4;
constexpr qsizetype IpPieceFieldWidth = 3;

int sign(int value) {
    return (value > 0) - (value < 0);
}

bool usesIpKey(int d, TResourceType resourceType) {
    return resourceType == rtComputer && d == sortArgument(int(ComputerColumn::Ip));
}

QString sortText(const ResultRow& row, int d, TResourceType resourceType) {
    const QString text = cellText(row, d + 1);
    return usesIpKey(d, resourceType) ? IPSortKey(text) : text;
}

} // namespace

QString IPSortKey(const QString& text) {
    QString rest = text;
    QStringList fields;
    for (int i = 0; i < IpPieceCount; ++i) {
        const qsizetype dot = rest.indexOf(QLatin1Char('.'));
        const QString piece = (dot >= 0 ? rest.left(dot) : rest).left(IpPieceMaxLength);
        if (dot >= 0)
            rest.remove(0, dot + 1);
        fields << piece.rightJustified(IpPieceFieldWidth, QLatin1Char(' '));
    }
    return fields.join(QLatin1Char('.'));
}

TextCollator::TextCollator(const QLocale& locale)
    : m_collator(locale), m_codePointOrder(locale.language() == QLocale::C) {
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

int TextCollator::compare(const QString& a, const QString& b) const {
    return sign(m_collator.compare(a, b));
}

QCollatorSortKey TextCollator::sortKey(const QString& text) const {
    return m_collator.sortKey(m_codePointOrder ? text.toCaseFolded() : text);
}

int ListViewCompare(const ResultRow& a, const ResultRow& b, int d, TResourceType resourceType,
                    bool ascending, const TextCollator& collator) {
    const int direction = ascending ? 1 : -1;
    return direction * collator.compare(sortText(a, d, resourceType), sortText(b, d, resourceType));
}

std::vector<std::size_t> sortedRowOrder(const ResultRows& rows, int d, TResourceType resourceType,
                                        bool ascending, const TextCollator& collator) {
    return sortedRowOrderByText(
        rows, [d, resourceType](const ResultRow& row) { return sortText(row, d, resourceType); },
        ascending, collator);
}

std::vector<std::size_t>
sortedRowOrderByText(const ResultRows& rows, const std::function<QString(const ResultRow&)>& textOf,
                     bool ascending, const TextCollator& collator) {
    // One key per row instead of a locale comparison per pair of rows.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(rows.size());
    for (const ResultRow& row : rows)
        keys.push_back(collator.sortKey(textOf(row)));
    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const int direction = ascending ? 1 : -1;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return direction * sign(keys[a].compare(keys[b])) < 0;
    });
    return order;
}

} // namespace norvane
