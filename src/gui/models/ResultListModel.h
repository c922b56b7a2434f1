#pragma once

// The result list's rows and columns as a table model. The scan's changes
// arrive as whole rows or one by one (a row is appended, then its caption,
// image and sub-items follow); publish() announces the rows appended since the last
// call in one insertion and the changed cells in one update, so that a fast
// scan does not cost one view update per change.

#include "scan/OptionalColumns.h"
#include "scan/ResultRow.h"
#include "vendor/MacVendors.h"

#include <QAbstractTableModel>
#include <QFutureWatcher>
#include <QIcon>
#include <QList>
#include <QStringList>

#include <cstddef>
#include <unordered_set>
#include <vector>

namespace norvane {

class ResultListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResultListModel(QObject* parent = nullptr);

    // The row and header images, by image index.
    void setImageList(const QList<QIcon>& images);
    // The registries that name a MAC cell's vendor in its tool tip; the
    // system's when none is set.
    void setMacVendors(const MacVendors* vendors) { m_vendors = vendors; }

    void clear();
    // Shows whole rows at once (a recorded scan's) in place of any others.
    void setRows(ResultRows rows);
    // The list's own columns; a computer list's optional columns follow
    // them (the view hides those the user did not choose).
    void setColumns(const QStringList& captions);
    // The list's own columns, which the report carries.
    QStringList columns() const { return m_columns; }
    // The optional column at a column of the model, if it is one.
    std::optional<OptionalColumn> optionalColumnAt(int column) const;
    // A row's text in an optional column, as the list shows it.
    QString optionalText(const ResultRow& row, OptionalColumn column) const;

    // --- scan changes; a row change applies to the row appended last ---
    void appendRow();
    // A row whose changes came together, appended whole.
    void appendRow(ResultRow row);
    void setLastCaption(const QString& caption);
    void setLastImage(int image);
    void addLastSubItem(const QString& text);
    void setLastRecord(std::shared_ptr<const ComputerRecord> computer,
                       std::shared_ptr<const ShareRecord> share);
    void publish();

    // The rows as the view shows them.
    const ResultRows& rows() const { return m_rows; }
    const ResultRow& row(int index) const { return m_rows.at(static_cast<std::size_t>(index)); }

    // The rows new since the previous scan are shown in bold. They are
    // named by their records, so that the marks follow the rows through a
    // sort; clear() drops them.
    void setNewRecords(std::unordered_set<const void*> records);
    bool isMarkedNew(int row) const;

    // The sort mark of a column header: an image index, or imgNone.
    void setHeaderImage(int column, int image);
    int headerImage(int column) const;
    // Puts the rows in the given order: order[i] is the old index of new row i.
    void reorder(const std::vector<std::size_t>& order);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QIcon image(int index) const;
    // A computer list has the MAC column; only it has optional columns.
    bool isComputerList() const { return m_columns.size() == ComputerColumnCount; }
    void markChanged(int row);
    // The registries that name vendors, once they can be read without a wait.
    const MacVendors* knownVendors() const;
    void loadSystemVendors();

    QList<QIcon> m_images;
    const MacVendors* m_vendors = nullptr;
    QIcon m_blankImage;
    QStringList m_columns;
    // Reads the system's registries on a pool thread; finished once read.
    QFutureWatcher<void> m_systemVendors;
    QList<int> m_headerImages;
    std::unordered_set<const void*> m_newRecords;
    ResultRows m_rows;
    int m_publishedRows = 0;
    int m_firstChanged = -1;
    int m_lastChanged = -1;
};

} // namespace norvane
