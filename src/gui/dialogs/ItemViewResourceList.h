#pragma once

// The main list as the Find dialog searches it: the rows of an item view in
// the order it shows them (through any sorting proxy it is given).

#include "tools/ResourceList.h"

class QAbstractItemView;

namespace norvane {

class ItemViewResourceList : public ResourceList {
public:
    explicit ItemViewResourceList(QAbstractItemView* view) : m_view(view) {}

    int rowCount() const override;
    QString caption(int row) const override;
    void showHit(int row) override;

private:
    QAbstractItemView* m_view;
};

} // namespace norvane
