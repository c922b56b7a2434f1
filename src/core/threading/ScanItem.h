#pragma once

// One item of the hand-over's queue: either one change that is no row
// change, or changes of the row appended last, gathered. The changes the
// walk makes to a row while the UI thread takes nothing in between travel
// as one item, which holds the row they build: a scan of 10,000 computers
// queues 10,000 items, not 80,000 changes, and the UI thread appends each
// row whole. The item keeps the order its changes came in, so that they
// can still be read one by one exactly as the walk made them.

#include "ScanChange.h"
#include "scan/ResultRow.h"

#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

namespace norvane {

class ScanItem {
public:
    enum Type : std::uint8_t {
        Change,       // change(): one change that is no row change
        NewRow,       // row(): a row appended, with the changes made to it so far
        RowContinued, // row(): more changes to the row appended last
    };

    // An item of one change that is no row change.
    explicit ScanItem(ScanChange change);
    // An item that appends a row (NewRow) or goes on with the last one.
    explicit ScanItem(Type rowType);

    Type type() const { return m_type; }
    // Whether the row change of `kind` can join this item. A second caption,
    // image or record would hide the first, so it starts an item of its own.
    bool canTake(ScanChange::Kind kind) const;

    // --- row changes, each joining a row item that canTake() it ---
    void setCaption(const QString& caption);
    void setImage(int image);
    void addSubItem(const QString& text);
    void setRecord(std::shared_ptr<const ComputerRecord> computer,
                   std::shared_ptr<const ShareRecord> share);

    // A Change item's change.
    const ScanChange& change() const { return *m_change; }
    // A row item's cells; whole for a NewRow item whose row was complete
    // when the UI thread took it.
    ResultRow& row() { return m_row; }
    // The item's changes one by one, in the order they came in.
    void appendChangesTo(ScanChanges& into) const;

private:
    // Which single-valued row changes the item holds.
    enum Held : std::uint8_t { NoneHeld = 0, CaptionHeld = 1, ImageHeld = 2, RecordHeld = 4 };
    // The order of the row changes: one kind per OrderBits, the first in the
    // lowest bits; an item that is full takes no more.
    static constexpr int OrderBits = 4;
    static constexpr int MaxRowChanges = 64 / OrderBits;
    static constexpr std::uint64_t OrderMask = (1U << OrderBits) - 1;
    static_assert(ScanChange::Finished <= OrderMask, "every kind fits in its bits");
    void addToOrder(ScanChange::Kind kind);

    Type m_type;
    std::uint8_t m_held = NoneHeld;
    std::uint8_t m_rowChanges = 0;
    std::uint64_t m_order = 0;
    // Apart: rare, and the items of a fast scan are moved as the queue grows.
    std::unique_ptr<ScanChange> m_change;
    ResultRow m_row;
};

// The queue grows by moving its items, never by copying them.
static_assert(std::is_nothrow_move_constructible_v<ScanItem>);

using ScanItems = std::vector<ScanItem>;

} // namespace norvane
