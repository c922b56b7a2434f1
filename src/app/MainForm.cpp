#include "MainForm.h"

#include "ImageList.h"
#include "ResourceComboBox.h"
#include "ResourceListView.h"
#include "app/core/StartupChecks.h"
#include "tools/TPingDlg.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMovie>
#include <QProgressBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace norvane {

namespace {

constexpr QSize DesignSize{564, 400};
constexpr int ResourceBoxWidth = 405;
constexpr QSize AnimationSize{38, 22};
constexpr int ProgressBarWidth = 148;
constexpr int GoImage = 5;

QAction* makeAction(QObject* parent, const char* name, const QString& caption, const QString& hint,
                    const QKeySequence& shortcut) {
    auto* action = new QAction(caption, parent);
    action->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty())
        action->setToolTip(hint);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

} // namespace

TMainForm::TMainForm(NetworkPlatform& platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform), m_images(loadImageList()),
      m_scan(platform, m_model,
             ScanController::Hooks{[this](int maximum) { setProgressMax(maximum); },
                                   [this](int position) { setProgressPosition(position); },
                                   [this](const QString& text) { ShowError(text, false); },
                                   [this](int resultCode) { ChildThreadTerminate(resultCode); }}),
      m_completionSound([] { QApplication::beep(); }), m_pingCommand([this](const ResultRow& row) {
          TPingDlg dialog(
              row.caption, [this] { return selectedAddress(); }, m_platform, this);
          dialog.exec();
      }) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(ApplicationTitle));
    resize(DesignSize);
    m_model.setImageList([this] {
        QList<QIcon> icons;
        for (const QPixmap& image : m_images)
            icons << QIcon(image);
        return icons;
    }());
    createActions();
    createListView();
    createBars();
    createStatusBar();
    FormCreate();
}

TMainForm::~TMainForm() {
    actStopExecute();
    m_platform.wsaCleanup();
}

void TMainForm::setCompletionSound(CompletionSound sound) {
    m_completionSound = std::move(sound);
}

void TMainForm::setPingCommand(PingCommand command) {
    m_pingCommand = std::move(command);
}

void TMainForm::FormCreate() {
    const StartupResult checks =
        StartupChecks(m_platform, [this](const QString& text) { ShowError(text, true); }).run();
    FProviderName = checks.providerName;
    LanaNum = checks.lanaNum;
    m_findComp = new QMovie(QStringLiteral(":/anim/findcomp.gif"), QByteArray(), this);
    m_findComp->setCacheMode(QMovie::CacheAll);
    Animate->setMovie(m_findComp);
    fillResourceBox();
}

void TMainForm::createActions() {
    actGo = makeAction(this, "actGo", QStringLiteral("&Go"), QStringLiteral("Go"), {});
    actStop = makeAction(this, "actStop", QStringLiteral("Sto&p"), QStringLiteral("Stop"),
                         QKeySequence(Qt::Key_Escape));
    actRefresh = makeAction(this, "actRefresh", QStringLiteral("&Refresh"),
                            QStringLiteral("Refresh"), QKeySequence(Qt::Key_F5));
    actPing = makeAction(this, "actPing", QStringLiteral("P&ing"), QStringLiteral("Ping"),
                         QKeySequence(Qt::CTRL | Qt::Key_I));
    actGridLines = makeAction(this, "actGridLines", QStringLiteral("&GridLines"), {},
                              QKeySequence(Qt::CTRL | Qt::Key_G));
    actHotTrack = makeAction(this, "actHotTrack", QStringLiteral("&HotTrack"), {},
                             QKeySequence(Qt::CTRL | Qt::Key_H));
    actRowSelect = makeAction(this, "actRowSelect", QStringLiteral("Ro&wSelect"), {},
                              QKeySequence(Qt::CTRL | Qt::Key_R));
    for (QAction* option : {actGridLines, actHotTrack, actRowSelect})
        option->setCheckable(true);
    actPing->setEnabled(false);
    addActions({actGo, actStop, actRefresh, actPing, actGridLines, actHotTrack, actRowSelect});

    connect(actGo, &QAction::triggered, this, &TMainForm::actGoExecute);
    connect(actStop, &QAction::triggered, this, &TMainForm::actStopExecute);
    connect(actRefresh, &QAction::triggered, this, &TMainForm::actRefreshExecute);
    connect(actPing, &QAction::triggered, this, &TMainForm::actPingExecute);
    connect(actGridLines, &QAction::triggered, this, &TMainForm::actGridLinesExecute);
    connect(actHotTrack, &QAction::triggered, this, &TMainForm::actHotTrackExecute);
    connect(actRowSelect, &QAction::triggered, this, &TMainForm::actRowSelectExecute);
}

void TMainForm::createListView() {
    ListView = new ResourceListView(this);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setModel(&m_model);
    setCentralWidget(ListView);
    ListView->setFocus();

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->addActions({actGridLines, actHotTrack, actRowSelect});
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu->popup(ListView->viewport()->mapToGlobal(at)); });

    connect(ListView, &ResourceListView::returnPressed, this, &TMainForm::ListViewDblClick);
    bindRowActivation();
    attachColumnClick(true);

    connect(ListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::updatePingEnabled);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, &TMainForm::updatePingEnabled);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &TMainForm::updatePingEnabled);
    connect(&m_model, &QAbstractItemModel::layoutChanged, this, &TMainForm::updatePingEnabled);
}

void TMainForm::createBars() {
    AnimateBar = addToolBar(QStringLiteral("Animation"));
    AnimateBar->setObjectName(QStringLiteral("AnimateBar"));
    AnimateBar->setMovable(false);
    Animate = new QLabel(AnimateBar);
    Animate->setObjectName(QStringLiteral("Animate"));
    Animate->setFixedSize(AnimationSize);
    Animate->setAutoFillBackground(true);
    QPalette black = Animate->palette();
    black.setColor(QPalette::Window, Qt::black);
    Animate->setPalette(black);
    AnimateBar->addWidget(Animate);

    addToolBarBreak();
    ResourceBar = addToolBar(QStringLiteral("Network resource"));
    ResourceBar->setObjectName(QStringLiteral("ResourceBar"));
    ResourceBar->setMovable(false);
    ResourceBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    cboResource = new ResourceComboBox(m_images, ResourceBar);
    cboResource->setObjectName(QStringLiteral("cboResource"));
    cboResource->setFixedWidth(ResourceBoxWidth);
    ResourceBar->addWidget(cboResource);
    actGo->setIcon(loadToolBarIcon(GoImage));
    btnGo = new QToolButton(ResourceBar);
    btnGo->setObjectName(QStringLiteral("btnGo"));
    btnGo->setDefaultAction(actGo);
    btnGo->setText(QStringLiteral("Go"));
    btnGo->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnGo->setAutoRaise(true);
    ResourceBar->addWidget(btnGo);
    connect(cboResource, &ResourceComboBox::returnPressed, this, &TMainForm::actGoExecute);
}

void TMainForm::createStatusBar() {
    auto* panel = new QWidget(statusBar());
    panel->setObjectName(QStringLiteral("StatusPanel0"));
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(1, 0, 0, 0);
    layout->setSpacing(4);
    m_statusImage = new QLabel(panel);
    m_statusImage->setFixedSize(SmallImageSize, SmallImageSize);
    m_statusImage->setPixmap(m_images.value(imgHourglass));
    m_statusImage->hide();
    m_statusText = new QLabel(panel);
    layout->addWidget(m_statusImage);
    layout->addWidget(m_statusText, 1);
    statusBar()->addWidget(panel, 1);

    ProgressBar = new QProgressBar(statusBar());
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setFixedWidth(ProgressBarWidth);
    statusBar()->addPermanentWidget(ProgressBar);
}

void TMainForm::fillResourceBox() {
    for (int type = rtComputer; type <= rtSharedPrinter; ++type)
        cboResource->addItem(resourceTypePlural(static_cast<TResourceType>(type)));
    cboResource->setCurrentIndex(0);
}

QString TMainForm::statusText() const {
    return m_statusText->text();
}

bool TMainForm::statusShowsUpdating() const {
    return !m_statusImage->isHidden();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // A window restored from minimized is not shown anew.
    if (!event->spontaneous())
        actGoExecute();
}

void TMainForm::actGoExecute() {
    actStopExecute();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_findComp->start();
    FResourceType = resourceTypeFromIndex(cboResource->currentIndex());
    showUpdating(true);
    attachColumnClick(false);
    m_model.clear();
    m_model.setColumns(columnCaptions(FResourceType));
    for (int column = 0; column < m_model.columnCount(); ++column)
        ListView->horizontalHeader()->resizeSection(column, ColumnWidth);
    m_scan.start(ScanInputs{FProviderName, FResourceType, LanaNum});
}

void TMainForm::actStopExecute() {
    m_scan.stop();
}

void TMainForm::actRefreshExecute() {
    actGoExecute();
}

void TMainForm::ChildThreadTerminate(int resultCode) {
    FSortColumn = 0;
    FSortAscending = true;
    ProgressBar->setValue(0);
    showUpdating(false);
    m_statusText->setText(foundCountText(m_model.rowCount(), FResourceType));
    attachColumnClick(true);
    if (resultCode == ScanCompleted && m_completionSound)
        m_completionSound();
    m_findComp->stop();
    QApplication::restoreOverrideCursor();
    emit scanCompleted(resultCode);
}

void TMainForm::ShowError(const QString& text, bool terminate) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle), text,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
    if (terminate) {
        m_doomed = true;
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

void TMainForm::setProgressMax(int maximum) {
    // A range of 0..0 would make the bar show a busy animation instead of
    // an empty bar; 0..1 looks the same as an empty range.
    ProgressBar->setRange(0, maximum > 0 ? maximum : 1);
}

void TMainForm::setProgressPosition(int position) {
    ProgressBar->setValue(position);
}

void TMainForm::showUpdating(bool updating) {
    m_statusImage->setVisible(updating);
    if (updating)
        m_statusText->setText(QStringLiteral("Updating..."));
}

void TMainForm::attachColumnClick(bool attached) {
    disconnect(m_columnClick);
    if (attached)
        m_columnClick = connect(ListView->horizontalHeader(), &QHeaderView::sectionClicked, this,
                                &TMainForm::ListViewColumnClick);
}

void TMainForm::ListViewColumnClick(int column) {
    if (column != FSortColumn) {
        FSortAscending = true;
        m_model.setHeaderImage(FSortColumn, imgNone);
    }
    m_model.setHeaderImage(column, FSortAscending ? imgSortUp : imgSortDown);
    m_model.reorder(
        sortedRowOrder(m_model.rows(), column - 1, FResourceType, FSortAscending, m_collator));
    FSortAscending = !FSortAscending;
    FSortColumn = column;
}

void TMainForm::bindRowActivation() {
    disconnect(m_rowActivation);
    m_rowActivation = ListView->hotTrack() ? connect(ListView, &QAbstractItemView::clicked, this,
                                                     &TMainForm::ListViewDblClick)
                                           : connect(ListView, &QAbstractItemView::doubleClicked,
                                                     this, &TMainForm::ListViewDblClick);
}

void TMainForm::ListViewDblClick() {
    if (actPing->isEnabled())
        actPing->trigger();
}

void TMainForm::updatePingEnabled() {
    const int row = ListView->selectedRow();
    actPing->setEnabled(row >= 0 && row < m_model.rowCount() &&
                        m_model.row(row).image == imgComputer);
}

void TMainForm::actPingExecute() {
    const int row = ListView->selectedRow();
    if (row < 0 || row >= m_model.rowCount() || !m_pingCommand)
        return;
    m_pingCommand(m_model.row(row));
}

QString TMainForm::selectedAddress() const {
    const int row = ListView->selectedRow();
    if (row < 0 || row >= m_model.rowCount())
        return {};
    return columnText(m_model.row(row), 0);
}

void TMainForm::actGridLinesExecute() {
    ListView->setGridLines(!ListView->gridLines());
    actGridLines->setChecked(ListView->gridLines());
}

void TMainForm::actHotTrackExecute() {
    ListView->setHotTrack(!ListView->hotTrack());
    bindRowActivation();
    actHotTrack->setChecked(ListView->hotTrack());
}

void TMainForm::actRowSelectExecute() {
    ListView->setRowSelect(!ListView->rowSelect());
    actRowSelect->setChecked(ListView->rowSelect());
}

} // namespace norvane
