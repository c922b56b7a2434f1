#pragma once

// The list header's menu of optional columns: a check mark per column, as
// file managers offer. It shows the chosen columns of a computer list and
// hides the others whenever the list's columns are set anew, and reports
// each change of choice so that the window can keep it.

#include "models/ResultListModel.h"
#include "settings/ColumnSettings.h"

#include <QHeaderView>
#include <QMenu>
#include <QObject>

namespace norvane {

class ColumnChooser : public QObject {
    Q_OBJECT
public:
    ColumnChooser(QHeaderView* header, ResultListModel* model, QObject* parent = nullptr);

    const ColumnSettings& chosen() const { return m_chosen; }
    void setChosen(const ColumnSettings& chosen);
    void setShown(OptionalColumn column, bool shown);

    // The menu the header shows on a right click; nothing for a list that
    // has no optional columns. Owned by the caller.
    QMenu* createMenu(QWidget* parent);

signals:
    void chosenChanged(const ColumnSettings& chosen);

private:
    void apply();

    QHeaderView* m_header;
    ResultListModel* m_model;
    ColumnSettings m_chosen;
};

} // namespace norvane
