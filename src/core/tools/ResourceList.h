#pragma once

// The rows of the main list as the Find dialog sees them.

#include <QString>

namespace norvane {

class ResourceList {
public:
    virtual ~ResourceList() = default;
    virtual int rowCount() const = 0;
    // The first column of a row, rows counted in the list's current order.
    virtual QString caption(int row) const = 0;
    // Gives the list the focus, makes the row the current and only selected
    // row and scrolls it into view unless it is at least partly visible.
    virtual void showHit(int row) = 0;
};

// The first row, in the list's current order, whose caption equals the text
// as a whole, ignoring letter case; -1 when none does. The text is not
// trimmed.
int findResource(const ResourceList& list, const QString& text);

} // namespace norvane
