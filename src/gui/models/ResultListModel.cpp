#include "ResultListModel.h"

#include "widgets/ImageList.h"

#include <QFont>
#include <QPixmap>
#include <QPromise>
#include <QThreadPool>

namespace norvane {

namespace {
bool isMacColumn(const QStringList& columns, int column) {
    return columns.size() == ComputerColumnCount && column == static_cast<int>(ComputerColumn::Mac);
}

// What the sources know of a computer beyond the list's columns, a fact a
// line; nothing where they know no more than the columns show.
QString factsToolTip(const ComputerRecord& computer) {
    QStringList lines;
    if (!computer.dnsName.isEmpty())
        lines << QStringLiteral("DNS name: ") + computer.dnsName;
    const QString system = operatingSystemText(computer);
    if (!system.isEmpty())
        lines << QStringLiteral("Operating system: ") + system;
    if (computer.directory) {
        if (!computer.directory->ouPath.isEmpty())
            lines << QStringLiteral("OU: ") + computer.directory->ouPath;
        if (computer.directory->stale)
            lines << QStringLiteral("Stale: no recent log-on in the directory");
    }
    if (lines.isEmpty())
        return {};
    lines << QStringLiteral("Found by: ") +
                 foundByNames(computer.foundBy).join(QLatin1String(", "));
    return lines.join(QLatin1Char('\n'));
}
} // namespace

ResultListModel::ResultListModel(QObject* parent) : QAbstractTableModel(parent) {
    QPixmap blank(SmallImageSize, SmallImageSize);
    blank.fill(Qt::transparent);
    m_blankImage = QIcon(blank);
    connect(&m_systemVendors, &QFutureWatcher<void>::finished, this, [this] {
        if (m_publishedRows > 0 && isComputerList()) {
            const int vendor = listColumnOf(OptionalColumn::Vendor);
            emit dataChanged(index(0, vendor), index(m_publishedRows - 1, vendor),
                             {Qt::DisplayRole});
        }
    });
}

namespace {
// The one read of the system's registries, for every model. The pool task
// captures nothing: it reaches the promise through this function, whose
// first call (on the UI thread) made it, so that the hand-over needs no
// lock that lies inside Qt.
QPromise<void>& systemVendorsPromise() {
    static QPromise<void> promise;
    return promise;
}

QFuture<void> systemVendorsRead() {
    static const QFuture<void> read = [] {
        QPromise<void>& promise = systemVendorsPromise();
        promise.start();
        QThreadPool::globalInstance()->start([] {
            MacVendors::system();
            systemVendorsPromise().finish();
        });
        return promise.future();
    }();
    return read;
}
} // namespace

void ResultListModel::loadSystemVendors() {
    if (!m_systemVendors.future().isValid())
        m_systemVendors.setFuture(systemVendorsRead());
}

const MacVendors* ResultListModel::knownVendors() const {
    if (m_vendors)
        return m_vendors;
    return m_systemVendors.isFinished() && m_systemVendors.future().isValid()
               ? &MacVendors::system()
               : nullptr;
}

std::optional<OptionalColumn> ResultListModel::optionalColumnAt(int column) const {
    if (!isComputerList())
        return std::nullopt;
    return norvane::optionalColumnAt(rtComputer, column);
}

QString ResultListModel::optionalText(const ResultRow& row, OptionalColumn column) const {
    return optionalCellText(row, column, knownVendors());
}

void ResultListModel::setImageList(const QList<QIcon>& images) {
    m_images = images;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
    if (!m_columns.isEmpty())
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ResultListModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_newRecords.clear();
    m_publishedRows = 0;
    m_firstChanged = m_lastChanged = -1;
    endResetModel();
}

void ResultListModel::setRows(ResultRows rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_newRecords.clear();
    m_publishedRows = static_cast<int>(m_rows.size());
    m_firstChanged = m_lastChanged = -1;
    endResetModel();
}

void ResultListModel::setColumns(const QStringList& captions) {
    beginResetModel();
    m_columns = captions;
    m_headerImages = QList<int>(columnCount(), imgNone);
    endResetModel();
    // Reading the system's registries takes a moment: done on a pool
    // thread before the first tool tip or vendor cell asks, not on the UI
    // thread.
    if (!m_vendors && isComputerList())
        loadSystemVendors();
}

void ResultListModel::appendRow() {
    m_rows.emplace_back();
}

void ResultListModel::appendRow(ResultRow row) {
    // Not yet announced: publish() shows it with its cells.
    m_rows.push_back(std::move(row));
}

void ResultListModel::setLastRecord(std::shared_ptr<const ComputerRecord> computer,
                                    std::shared_ptr<const ShareRecord> share) {
    if (m_rows.empty())
        return;
    m_rows.back().computer = std::move(computer);
    m_rows.back().share = std::move(share);
}

void ResultListModel::setLastCaption(const QString& caption) {
    if (m_rows.empty())
        return;
    m_rows.back().caption = caption;
    markChanged(static_cast<int>(m_rows.size()) - 1);
}

void ResultListModel::setLastImage(int image) {
    if (m_rows.empty())
        return;
    m_rows.back().image = image;
    markChanged(static_cast<int>(m_rows.size()) - 1);
}

void ResultListModel::addLastSubItem(const QString& text) {
    if (m_rows.empty())
        return;
    m_rows.back().subItems << text;
    markChanged(static_cast<int>(m_rows.size()) - 1);
}

void ResultListModel::markChanged(int row) {
    // Rows not yet announced are shown complete when they are inserted.
    if (row >= m_publishedRows)
        return;
    if (m_firstChanged < 0 || row < m_firstChanged)
        m_firstChanged = row;
    if (row > m_lastChanged)
        m_lastChanged = row;
}

void ResultListModel::publish() {
    if (m_firstChanged >= 0) {
        const int first = m_firstChanged;
        const int last = m_lastChanged;
        m_firstChanged = m_lastChanged = -1;
        emit dataChanged(index(first, 0), index(last, std::max(columnCount() - 1, 0)));
    }
    const int total = static_cast<int>(m_rows.size());
    if (total > m_publishedRows) {
        beginInsertRows({}, m_publishedRows, total - 1);
        m_publishedRows = total;
        endInsertRows();
    }
}

void ResultListModel::setHeaderImage(int column, int image) {
    if (column < 0 || column >= m_headerImages.size())
        return;
    m_headerImages[column] = image;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int ResultListModel::headerImage(int column) const {
    return column >= 0 && column < m_headerImages.size() ? m_headerImages.at(column) : imgNone;
}

void ResultListModel::reorder(const std::vector<std::size_t>& order) {
    if (order.size() != m_rows.size())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    ResultRows sorted;
    sorted.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newRowOf[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(m_rows[order[i]]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after << index(newRowOf[static_cast<std::size_t>(old.row())], old.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_publishedRows;
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_columns.size()) + (isComputerList() ? OptionalColumnCount : 0);
}

QIcon ResultListModel::image(int index) const {
    return index >= 0 && index < m_images.size() ? m_images.at(index) : QIcon();
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_publishedRows)
        return {};
    const ResultRow& result = m_rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (const auto optional = optionalColumnAt(column))
            return optionalText(result, *optional);
        return cellText(result, column);
    case Qt::DecorationRole:
        if (column == 0) {
            // A row without an image keeps the image's room, so that all
            // captions line up.
            const QIcon icon = image(result.image);
            return icon.isNull() ? m_blankImage : icon;
        }
        return {};
    case Qt::FontRole:
        if (isMarkedNew(index.row())) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ToolTipRole:
        if (isMacColumn(m_columns, column)) {
            const MacVendors& vendors = m_vendors ? *m_vendors : MacVendors::system();
            if (const auto vendor = vendors.vendorOf(cellText(result, column)))
                return *vendor;
            return {};
        }
        if (result.computer) {
            const QString facts = factsToolTip(*result.computer);
            if (!facts.isEmpty())
                return facts;
        }
        return {};
    default:
        return {};
    }
}

void ResultListModel::setNewRecords(std::unordered_set<const void*> records) {
    m_newRecords = std::move(records);
    if (m_publishedRows > 0)
        emit dataChanged(index(0, 0), index(m_publishedRows - 1, columnCount() - 1),
                         {Qt::FontRole});
}

bool ResultListModel::isMarkedNew(int row) const {
    if (m_newRecords.empty() || row < 0 || row >= static_cast<int>(m_rows.size()))
        return false;
    const ResultRow& result = m_rows[static_cast<std::size_t>(row)];
    const void* record = result.computer ? static_cast<const void*>(result.computer.get())
                                         : static_cast<const void*>(result.share.get());
    return record != nullptr && m_newRecords.contains(record);
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (const auto optional = optionalColumnAt(section))
            return optionalColumnCaption(*optional);
        return m_columns.at(section);
    case Qt::DecorationRole: {
        const QIcon icon = image(m_headerImages.at(section));
        if (!icon.isNull())
            return icon;
        return {};
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace norvane
