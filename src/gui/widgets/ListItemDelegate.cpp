#include "ListItemDelegate.h"

#include "ResourceListView.h"

namespace norvane {

ListItemDelegate::ListItemDelegate(const ResourceListView& view, QObject* parent)
    : QStyledItemDelegate(parent), m_view(view) {}

void ListItemDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!m_view.rowSelect() && index.column() > 0)
        option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    if (m_view.hotTrack()) {
        option->font.setUnderline(true);
        if (index.row() == m_view.hotRow()) {
            option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Link));
            option->state |= QStyle::State_MouseOver;
        }
    }
}

} // namespace norvane
