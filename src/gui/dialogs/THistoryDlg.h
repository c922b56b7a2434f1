#pragma once

// File > History...: the recorded scans, newest first, with when and where
// each ran, what it listed, whether it ran to its end and its row count.
// The window fills it once the store has been read (off the UI thread);
// Load (or a double click) closes it with the chosen scan.

#include "store/StoredScan.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace norvane {

class THistoryDlg : public QDialog {
    Q_OBJECT

public:
    explicit THistoryDlg(QWidget* parent = nullptr);

    void setScans(const std::vector<StoredScan>& scans);
    // The store could not be read: the message takes the list's place.
    void setError(const QString& message);

    // The scan chosen with Load; 0 before.
    qint64 chosenScan() const { return m_chosen; }
    QTreeWidget* tree() const { return m_tree; }
    QPushButton* loadButton() const { return m_load; }
    QString stateText() const;

private:
    void choose();

    QLabel* m_state;
    QTreeWidget* m_tree;
    QPushButton* m_load;
    qint64 m_chosen = 0;
};

} // namespace norvane
