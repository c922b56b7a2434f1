#include "ResourceListView.h"

#include "ListItemDelegate.h"
#include "scan/ResultRow.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProxyStyle>

namespace norvane {

namespace {

// Without whole-row selection the view still selects rows, but only the
// first column may look selected: the row panel behind the other cells is
// drawn unselected.
class ListViewStyle : public QProxyStyle {
public:
    explicit ListViewStyle(const ResourceListView& view) : m_view(view) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
        if (element == PE_PanelItemViewRow && item != nullptr && widget == &m_view &&
            !m_view.rowSelect() && m_view.indexAt(item->rect.center()).column() > 0) {
            QStyleOptionViewItem unselected = *item;
            unselected.state &= ~QStyle::State_Selected;
            QProxyStyle::drawPrimitive(element, &unselected, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    const ResourceListView& m_view;
};

} // namespace

ResourceListView::ResourceListView(QWidget* parent) : QTableView(parent) {
    auto* style = new ListViewStyle(*this);
    style->setParent(this);
    setStyle(style);
    setItemDelegate(new ListItemDelegate(*this, this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setDefaultSectionSize(ColumnWidth);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(HoverSelectDelay);
    connect(&m_hoverTimer, &QTimer::timeout, this, &ResourceListView::selectHotRow);
}

void ResourceListView::setGridLines(bool on) {
    setShowGrid(on);
    viewport()->update();
}

void ResourceListView::setHotTrack(bool on) {
    m_hotTrack = on;
    setMouseTracking(on);
    if (on)
        viewport()->setCursor(Qt::PointingHandCursor);
    else
        viewport()->unsetCursor();
    setHotRow(-1);
    viewport()->update();
}

void ResourceListView::setRowSelect(bool on) {
    m_rowSelect = on;
    viewport()->update();
}

int ResourceListView::selectedRow() const {
    if (selectionModel() == nullptr)
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ResourceListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit returnPressed();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResourceListView::mouseMoveEvent(QMouseEvent* event) {
    if (m_hotTrack)
        setHotRow(indexAt(event->position().toPoint()).row());
    QTableView::mouseMoveEvent(event);
}

void ResourceListView::leaveEvent(QEvent* event) {
    setHotRow(-1);
    QTableView::leaveEvent(event);
}

void ResourceListView::setHotRow(int row) {
    if (row == m_hotRow)
        return;
    m_hotRow = row;
    viewport()->update();
    if (row >= 0)
        m_hoverTimer.start();
    else
        m_hoverTimer.stop();
}

void ResourceListView::selectHotRow() {
    if (!m_hotTrack || model() == nullptr || m_hotRow < 0 || m_hotRow >= model()->rowCount())
        return;
    setCurrentIndex(model()->index(m_hotRow, 0));
}

} // namespace norvane
