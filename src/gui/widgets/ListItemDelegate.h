#pragma once

// Draws the cells of the result list according to its display options:
// without whole-row selection only the first column shows the selection,
// and with hot tracking every item is underlined and the row under the
// pointer is drawn in the hot colour.

#include <QStyledItemDelegate>

namespace norvane {

class ResourceListView;

class ListItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ListItemDelegate(const ResourceListView& view, QObject* parent = nullptr);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    const ResourceListView& m_view;
};

} // namespace norvane
