#pragma once

// View > Changes...: what the list's scan changed against the previous
// complete scan of its type at its site: the rows gone, each fact that
// changed, and the rows new. One line a gone or new row, one line a
// changed fact.

#include "store/PreviousScanChanges.h"

#include <QDialog>

class QLabel;
class QTreeWidget;

namespace norvane {

class TChangesDlg : public QDialog {
    Q_OBJECT

public:
    TChangesDlg(const PreviousScanChanges& changes, QWidget* parent = nullptr);

    QTreeWidget* tree() const { return m_tree; }
    QString summary() const;

private:
    QLabel* m_summary;
    QTreeWidget* m_tree;
};

} // namespace norvane
