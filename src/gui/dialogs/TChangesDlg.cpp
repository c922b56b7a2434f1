#include "TChangesDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace norvane {

namespace {
constexpr QSize DialogSize{560, 360};

QString shownName(const ComputerRecord& computer) {
    return QStringLiteral("\\\\") + computer.name;
}

QString shownName(const ShareRecord& share) {
    return QStringLiteral("\\\\") + share.computer + QLatin1Char('\\') + share.name;
}

QString groupOf(const ComputerRecord& computer) {
    return computer.group;
}

QString groupOf(const ShareRecord& share) {
    return share.group;
}

// A short word for a row that came or went: a computer's address, a
// share's comment.
QString factOf(const ComputerRecord& computer) {
    return computer.address ? addressText(*computer.address) : QString();
}

QString factOf(const ShareRecord& share) {
    return share.comment;
}

QString fieldCaption(const QString& field) {
    static const QHash<QString, QString> captions = {
        {QStringLiteral("name"), QStringLiteral("Name")},
        {QStringLiteral("address"), QStringLiteral("IP Address")},
        {QStringLiteral("mac"), QStringLiteral("MAC Address")},
        {QStringLiteral("group"), QStringLiteral("Group")},
        {QStringLiteral("comment"), QStringLiteral("Comment")},
        {QStringLiteral("os"), QStringLiteral("Operating system")},
        {QStringLiteral("kind"), QStringLiteral("Kind")}};
    return captions.value(field, field);
}

template <typename Change>
void addChanges(QTreeWidget* tree, const std::vector<Change>& changes, ChangeKind kind,
                const QString& title) {
    auto* group = new QTreeWidgetItem(tree);
    int count = 0;
    for (const Change& change : changes) {
        if (change.kind != kind)
            continue;
        ++count;
        const auto& record = change.current();
        if (kind == ChangeKind::Changed) {
            for (const FieldChange& field : change.fields)
                new QTreeWidgetItem(group, {shownName(record), groupOf(record),
                                            fieldCaption(field.field), field.before, field.after});
            continue;
        }
        const QString fact = factOf(record);
        new QTreeWidgetItem(group, {shownName(record), groupOf(record), QString(),
                                    kind == ChangeKind::Gone ? fact : QString(),
                                    kind == ChangeKind::New ? fact : QString()});
    }
    group->setText(0, QStringLiteral("%1 (%2)").arg(title).arg(count));
    group->setFirstColumnSpanned(true);
    group->setExpanded(kind != ChangeKind::New);
}
} // namespace

TChangesDlg::TChangesDlg(const PreviousScanChanges& changes, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ChangesDlg"));
    setWindowTitle(QStringLiteral("Changes"));
    resize(DialogSize);
    const ScanHeader& previous = changes.previous.header;
    const ChangeCounts counts = changes.counts();
    m_summary = new QLabel(
        QStringLiteral("Since the %1 scan of %2 at %3: %4 new, %5 gone, %6 changed.")
            .arg(previous.complete ? QStringLiteral("complete") : QStringLiteral("partial"),
                 QLocale().toString(previous.started.toLocalTime(), QLocale::ShortFormat),
                 previous.site)
            .arg(counts.added)
            .arg(counts.gone)
            .arg(counts.changed),
        this);
    m_summary->setObjectName(QStringLiteral("lblSummary"));
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("tvChanges"));
    m_tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Group"),
                             QStringLiteral("What"), QStringLiteral("Before"),
                             QStringLiteral("Now")});
    m_tree->setRootIsDecorated(true);
    m_tree->setUniformRowHeights(true);
    const bool computers = previous.resourceType == rtComputer;
    for (const auto& [kind, title] : {std::pair{ChangeKind::Gone, QStringLiteral("Gone")},
                                      std::pair{ChangeKind::Changed, QStringLiteral("Changed")},
                                      std::pair{ChangeKind::New, QStringLiteral("New")}}) {
        if (computers)
            addChanges(m_tree, changes.computers, kind, title);
        else
            addChanges(m_tree, changes.shares, kind, title);
    }
    m_tree->header()->resizeSections(QHeaderView::ResizeToContents);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_tree, 1);
    layout->addWidget(buttons);
}

QString TChangesDlg::summary() const {
    return m_summary->text();
}

} // namespace norvane
