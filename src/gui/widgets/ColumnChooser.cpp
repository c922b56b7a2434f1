#include "ColumnChooser.h"

namespace norvane {

ColumnChooser::ColumnChooser(QHeaderView* header, ResultListModel* model, QObject* parent)
    : QObject(parent), m_header(header), m_model(model) {
    // The header forgets hidden sections when the model resets; this runs
    // after the header's own handling, which was connected first.
    connect(m_model, &QAbstractItemModel::modelReset, this, &ColumnChooser::apply);
    m_header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_header, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QMenu* menu = createMenu(m_header)) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(m_header->mapToGlobal(at));
        }
    });
}

void ColumnChooser::setChosen(const ColumnSettings& chosen) {
    m_chosen = chosen;
    apply();
}

void ColumnChooser::setShown(OptionalColumn column, bool shown) {
    if (shown == m_chosen.shown.contains(column))
        return;
    if (shown)
        m_chosen.shown.insert(column);
    else
        m_chosen.shown.erase(column);
    apply();
    emit chosenChanged(m_chosen);
}

QMenu* ColumnChooser::createMenu(QWidget* parent) {
    if (!m_model->optionalColumnAt(listColumnOf(OptionalColumns.front())))
        return nullptr;
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("ColumnMenu"));
    for (OptionalColumn column : OptionalColumns) {
        QAction* action = menu->addAction(optionalColumnCaption(column));
        action->setCheckable(true);
        action->setChecked(m_chosen.shown.contains(column));
        connect(action, &QAction::toggled, this, [this, column](bool on) { setShown(column, on); });
    }
    return menu;
}

void ColumnChooser::apply() {
    for (OptionalColumn column : OptionalColumns) {
        const int section = listColumnOf(column);
        if (m_model->optionalColumnAt(section))
            m_header->setSectionHidden(section, !m_chosen.shown.contains(column));
    }
}

} // namespace norvane
