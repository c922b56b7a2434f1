#include "ItemViewResourceList.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

namespace norvane {

int ItemViewResourceList::rowCount() const {
    return m_view->model() != nullptr ? m_view->model()->rowCount() : 0;
}

QString ItemViewResourceList::caption(int row) const {
    return m_view->model()->index(row, 0).data(Qt::DisplayRole).toString();
}

void ItemViewResourceList::showHit(int row) {
    const QModelIndex index = m_view->model()->index(row, 0);
    m_view->setFocus(Qt::OtherFocusReason);
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    // A row that is partly visible counts as visible and is not scrolled.
    if (!m_view->visualRect(index).intersects(m_view->viewport()->rect()))
        m_view->scrollTo(index, QAbstractItemView::EnsureVisible);
}

} // namespace norvane
