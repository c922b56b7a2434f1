#include "FindHistory.h"

#include <QLocale>

namespace norvane {

void FindHistory::load() {
    m_items.clear();
    FMRUList.clear();
    const QString orderName = QString::fromLatin1(MRUListValue);
    if (!m_store.valueExists(orderName))
        return;
    FMRUList = m_store.readString(orderName).left(MaxOrderLength);
    QString kept = FMRUList;
    for (const QChar letter : std::as_const(FMRUList)) {
        const QString name(letter);
        if (m_store.valueExists(name))
            m_items << m_store.readString(name);
        else
            kept.remove(kept.indexOf(letter), 1);
    }
    FMRUList = kept;
}

qsizetype FindHistory::update(const QString& text) {
    if (text.trimmed().isEmpty())
        return -1;
    const QLocale locale = QLocale::system();
    const QString lowered = locale.toLower(text);
    qsizetype found = -1;
    for (qsizetype i = 0; i < m_items.size() && found < 0; ++i) {
        if (locale.toLower(m_items.at(i)) == lowered)
            found = i;
    }

    if (found >= 0) {
        const QChar letter = FMRUList.at(found);
        FMRUList.remove(found, 1);
        FMRUList.prepend(letter);
        return found;
    }

    QChar letter;
    const QString letters = QString::fromLatin1(MRULetters);
    const auto freeLetter = std::find_if(letters.begin(), letters.end(),
                                         [&](QChar c) { return !FMRUList.contains(c); });
    if (m_items.size() < MaxHistoryEntries && freeLetter != letters.end()) {
        letter = *freeLetter;
    } else {
        // Ten entries, or every letter named by an order string longer than
        // what loaded: the least recently used entry gives up its letter.
        letter = FMRUList.back();
        FMRUList.chop(1);
    }
    FMRUList.prepend(letter);
    m_store.writeString(QString(letter), text);
    return -1;
}

void FindHistory::save() {
    m_store.writeString(QString::fromLatin1(MRUListValue), FMRUList);
}

} // namespace norvane
