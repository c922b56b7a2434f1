#pragma once

// What changed between two scans of the same type: the computers or shares
// that are new, gone and changed. A computer is the same across scans when
// both carry the same directory GUID; failing that, the same globally
// administered MAC (a locally administered one is randomised by phones and
// laptops and names nothing); failing that, the same name in the same
// group. A share is the same when its computer and name are. Names are
// compared without regard to case, as SMB does.
//
// A fact the newer scan did not learn (an address that did not resolve, a
// MAC or OS not obtained) is no change; a comment or group that became
// empty is, and so is a MAC unless both are randomised. A partial newer scan reports nothing gone:
// what it did not reach may still be there.

#include "records/ComputerRecord.h"

#include <QString>

#include <optional>
#include <vector>

namespace norvane {

enum class ChangeKind { New, Gone, Changed };

// One fact that differs, by its JSON and CSV name: "name", "address",
// "mac", "group", "comment", "os" for computers; "group", "comment",
// "kind" for shares.
struct FieldChange {
    QString field;
    QString before;
    QString after;

    bool operator==(const FieldChange&) const = default;
};

struct ComputerChange {
    ChangeKind kind = ChangeKind::New;
    std::optional<ComputerRecord> before; // absent when new
    std::optional<ComputerRecord> after;  // absent when gone
    std::vector<FieldChange> fields;      // when changed

    const ComputerRecord& current() const { return after ? *after : *before; }
};

struct ShareChange {
    ChangeKind kind = ChangeKind::New;
    std::optional<ShareRecord> before;
    std::optional<ShareRecord> after;
    std::vector<FieldChange> fields;

    const ShareRecord& current() const { return after ? *after : *before; }
};

struct ChangeCounts {
    int added = 0;
    int gone = 0;
    int changed = 0;

    bool any() const { return added + gone + changed > 0; }
};

// Changes in the newer scan's order (new and changed), then the gone ones
// in the older scan's order.
std::vector<ComputerChange> compareComputers(const std::vector<ComputerRecord>& older,
                                             const std::vector<ComputerRecord>& newer,
                                             bool newerComplete);
std::vector<ShareChange> compareShares(const std::vector<ShareRecord>& older,
                                       const std::vector<ShareRecord>& newer, bool newerComplete);

// The indexes of the newer rows that no older row is paired with, in
// order: the rows a list marks as new.
std::vector<std::size_t> newComputerRows(const std::vector<ComputerRecord>& older,
                                         const std::vector<ComputerRecord>& newer);
std::vector<std::size_t> newShareRows(const std::vector<ShareRecord>& older,
                                      const std::vector<ShareRecord>& newer);

template <typename Change> ChangeCounts countChanges(const std::vector<Change>& changes) {
    ChangeCounts counts;
    for (const Change& change : changes) {
        if (change.kind == ChangeKind::New)
            ++counts.added;
        else if (change.kind == ChangeKind::Gone)
            ++counts.gone;
        else
            ++counts.changed;
    }
    return counts;
}

// Whether the MAC names an adapter: globally administered (bit 0x02 of the
// first octet clear), not a group address (bit 0x01) and not all zeros.
bool isGlobalMac(const MacAddress& mac);

// "192.168.0.10" from an address in network byte order.
QString addressText(std::uint32_t address);
// "00-0A-5E-1F-C2-9B", as the list shows MAC addresses.
QString macAddressText(const MacAddress& mac);

} // namespace norvane
