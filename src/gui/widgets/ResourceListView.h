#pragma once

// The report-style result list: one header row, one selected row at most,
// read-only cells, and the three display options grid lines, hot tracking
// and whole-row selection. With hot tracking on, the row under the pointer
// is highlighted, every item is underlined, the pointer is a hand, and the
// row becomes selected when the pointer rests on it. Enter is reported
// instead of being left to the view.

#include <QPersistentModelIndex>
#include <QTableView>
#include <QTimer>

#include <chrono>

namespace norvane {

class ResourceListView : public QTableView {
    Q_OBJECT
public:
    // How long the pointer rests on a row before hot tracking selects it.
    static constexpr std::chrono::milliseconds HoverSelectDelay{400};

    explicit ResourceListView(QWidget* parent = nullptr);

    bool gridLines() const { return showGrid(); }
    void setGridLines(bool on);
    bool hotTrack() const { return m_hotTrack; }
    void setHotTrack(bool on);
    bool rowSelect() const { return m_rowSelect; }
    void setRowSelect(bool on);

    // The row under the pointer while hot tracking is on, otherwise -1.
    int hotRow() const { return m_hotRow; }
    // The selected row, or -1.
    int selectedRow() const;

signals:
    void returnPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHotRow(int row);
    void selectHotRow();

    bool m_hotTrack = false;
    bool m_rowSelect = false;
    int m_hotRow = -1;
    QTimer m_hoverTimer;
};

} // namespace norvane
