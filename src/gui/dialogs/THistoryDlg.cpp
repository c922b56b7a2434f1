#include "THistoryDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace norvane {

namespace {
constexpr QSize DialogSize{520, 340};
constexpr int ScanIdRole = Qt::UserRole;
} // namespace

THistoryDlg::THistoryDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HistoryDlg"));
    setWindowTitle(QStringLiteral("History"));
    resize(DialogSize);
    m_state = new QLabel(QStringLiteral("Reading the scan store..."), this);
    m_state->setObjectName(QStringLiteral("lblState"));
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("tvScans"));
    m_tree->setHeaderLabels({QStringLiteral("Started"), QStringLiteral("Site"),
                             QStringLiteral("Resource"), QStringLiteral("State"),
                             QStringLiteral("Rows")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    auto* buttons = new QDialogButtonBox(this);
    m_load = buttons->addButton(QStringLiteral("&Load"), QDialogButtonBox::AcceptRole);
    m_load->setObjectName(QStringLiteral("btnLoad"));
    m_load->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::accepted, this, &THistoryDlg::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_load->setEnabled(m_tree->currentItem() != nullptr); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &THistoryDlg::choose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_state);
    layout->addWidget(m_tree, 1);
    layout->addWidget(buttons);
}

void THistoryDlg::setScans(const std::vector<StoredScan>& scans) {
    m_tree->clear();
    const QLocale locale;
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(scans.size()));
    for (const StoredScan& scan : scans) {
        auto* item = new QTreeWidgetItem(
            {locale.toString(scan.header.started.toLocalTime(), QLocale::ShortFormat),
             scan.header.site, resourceTypePlural(scan.header.resourceType),
             scan.header.complete ? QStringLiteral("Complete") : QStringLiteral("Partial"),
             QString::number(scan.rowCount)});
        item->setData(0, ScanIdRole, scan.id);
        items << item;
    }
    m_tree->addTopLevelItems(items);
    m_tree->header()->resizeSections(QHeaderView::ResizeToContents);
    m_state->setText(scans.empty() ? QStringLiteral("No scan has been recorded yet.")
                                   : QStringLiteral("%1 scan(s) recorded.").arg(scans.size()));
    if (!items.isEmpty())
        m_tree->setCurrentItem(items.constFirst());
}

void THistoryDlg::setError(const QString& message) {
    m_state->setText(message);
}

QString THistoryDlg::stateText() const {
    return m_state->text();
}

void THistoryDlg::choose() {
    const QTreeWidgetItem* item = m_tree->currentItem();
    if (item == nullptr)
        return;
    m_chosen = item->data(0, ScanIdRole).toLongLong();
    accept();
}

} // namespace norvane
