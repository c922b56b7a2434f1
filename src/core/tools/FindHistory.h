#pragma once

// The most-recently-used history of the names searched in the Find dialog:
// up to ten entries, each stored under a one-character value name, and an
// order string naming the values most recent first.

#include <QString>
#include <QStringList>

namespace norvane {

// Where the history lives: string values by name. Reading a value that is
// not a string throws AppError "Invalid data type for '%s'"; a write that
// fails throws "Failed to set data for '%s'".
class HistoryStore {
public:
    virtual ~HistoryStore() = default;
    virtual bool valueExists(const QString& name) const = 0;
    virtual QString readString(const QString& name) const = 0;
    virtual void writeString(const QString& name, const QString& value) = 0;
};

inline constexpr const char* MRUListValue = "MRUList";
// The value names available for entries, in the order free ones are taken.
inline constexpr const char* MRULetters = "abcdefghij";
constexpr qsizetype MaxHistoryEntries = 10;
// Ten entries and one spare position.
constexpr qsizetype MaxOrderLength = 11;

class FindHistory {
public:
    explicit FindHistory(HistoryStore& store) : m_store(store) {}

    // Reads the order string and the entries it names; characters whose
    // value is missing are dropped from the order. A failure leaves the
    // entries read so far and the order string as it was read.
    void load();

    // The entries, most recent first: the drop-down list of the name box.
    const QStringList& items() const { return m_items; }
    // The order string; its k-th character names the k-th item.
    const QString& order() const { return FMRUList; }

    // Remembers a confirmed name unless it is blank. Returns the position of
    // the item that equals the text ignoring case, or -1 when the name is
    // new. A new name's text is written at once, untrimmed; the items are
    // left as loaded.
    qsizetype update(const QString& text);

    // Writes the order string.
    void save();

private:
    HistoryStore& m_store;
    QStringList m_items;
    QString FMRUList;
};

} // namespace norvane
