#include "TMainForm.h"

#include "common/AppError.h"
#include "common/Product.h"
#include "dialogs/ErrorBox.h"
#include "dialogs/ItemViewResourceList.h"
#include "dialogs/TAboutBox.h"
#include "dialogs/TChangesDlg.h"
#include "dialogs/TFindDlg.h"
#include "dialogs/THistoryDlg.h"
#include "dialogs/TPingDlg.h"
#include "dialogs/TSourcesDlg.h"
#include "layout/ChromeLayout.h"
#include "report/ReportWriter.h"
#include "report/SaveCommands.h"
#include "session/StartupChecks.h"
#include "settings/FileManagerEntry.h"
#include "settings/Settings.h"
#include "settings/SourceSettings.h"
#include "settings/WindowPlacement.h"
#include "store/StoredRows.h"
#include "widgets/BusyCursor.h"
#include "widgets/CoolBar.h"
#include "widgets/ImageList.h"
#include "widgets/MenuBarButton.h"
#include "widgets/ResourceComboBox.h"
#include "widgets/ResourceListView.h"
#include "widgets/StatusPanels.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMovie>
#include <QPointer>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace norvane {

namespace {

constexpr QSize AnimationSize{38, 22};
constexpr int BandMinHeight = 22;
constexpr int MenuBandWidth = 512;
constexpr int ToolBandWidth = 552;
constexpr int MenuButtonHeight = 21;
constexpr int MenuButtonMaxWidth = 151;

enum ToolBarImage { tbSave = 0, tbStop = 1, tbRefresh = 2, tbFind = 3, tbPing = 4, tbGo = 5 };

QAction* makeAction(QObject* parent, const char* name, const char* category, const QString& caption,
                    const QString& hint = {}, const QKeySequence& shortcut = {}) {
    auto* action = new QAction(caption, parent);
    action->setObjectName(QString::fromLatin1(name));
    action->setProperty("category", QString::fromLatin1(category));
    if (!hint.isEmpty())
        action->setToolTip(hint);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    return action;
}

QList<QRect> availableScreens() {
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    return screens;
}

// A band's control: a plain holder around one bar, as wide as the band.
QWidget* holder(QToolBar* bar, const char* name) {
    auto* widget = new QWidget;
    widget->setObjectName(QString::fromLatin1(name));
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    return widget;
}

QToolBar* flatBar(const char* name) {
    auto* bar = new QToolBar;
    bar->setObjectName(QString::fromLatin1(name));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(SmallImageSize, SmallImageSize));
    return bar;
}

// A bar of buttons only: flat and tight, so that its band is as high as its
// buttons.
QToolBar* tightBar(const char* name) {
    QToolBar* bar = flatBar(name);
    bar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px; }"));
    bar->layout()->setContentsMargins(0, 0, 0, 0);
    return bar;
}

// The computers that refused the log-on, one a line; a scan of a large
// network may have hundreds, of which the first few are named.
QString refusalToolTip(const QStringList& computers) {
    constexpr qsizetype NamedRefusals = 20;
    QStringList lines{QStringLiteral("Refused the log-on:")};
    lines << computers.mid(0, NamedRefusals);
    if (computers.size() > NamedRefusals)
        lines << QStringLiteral("and %1 more").arg(computers.size() - NamedRefusals);
    return lines.join(QLatin1Char('\n'));
}

// Why each source that left computers out did so.
QString incompleteSourceToolTip(const QStringList& reasons) {
    return (reasons + QStringList{QStringLiteral("Computers they would list are missing.")})
        .join(QLatin1Char('\n'));
}

QString changesNoteText(const ChangeCounts& counts) {
    return QStringLiteral("%1 new, %2 gone").arg(counts.added).arg(counts.gone);
}

QString scanDescription(const ScanHeader& header) {
    return QStringLiteral("the %1 scan of %2 at %3")
        .arg(header.complete ? QStringLiteral("complete") : QStringLiteral("partial"),
             QLocale().toString(header.started.toLocalTime(), QLocale::ShortFormat), header.site);
}

} // namespace

TMainForm::TMainForm(NetworkPlatform& platform, MainFormStorage storage, QWidget* parent)
    : QMainWindow(parent), m_platform(platform), m_session(platform),
      FRegistry(std::move(storage.registry)),
      m_fileManagerDataHome(storage.fileManagerDataHome.isEmpty()
                                ? FileManagerEntry::defaultDataHome()
                                : storage.fileManagerDataHome),
      m_images(loadImageList()),
      m_scan(platform, m_model,
             ScanController::Hooks{[this](int maximum) { setProgressMax(maximum); },
                                   [this](int position) { setProgressPosition(position); },
                                   [this](const QString& text) { ShowError(text, false); },
                                   [this](int resultCode) { ChildThreadTerminate(resultCode); }}),
      m_completionSound([] { QApplication::beep(); }), m_pingCommand([this](const ResultRow& row) {
          TPingDlg dialog(
              row.caption, [this] { return selectedAddress(); }, m_platform, this,
              [this](const QString& message) { showGeneralError(message); });
          dialog.exec();
      }),
      m_saveDialogs(this) {
    if (!FRegistry)
        FRegistry = std::make_unique<QSettings>();
    m_saveCommands = std::make_unique<SaveCommands>(
        m_saveDialogs, [this](const QString& fileName, bool overwrite) {
            const BusyCursor busy;
            SaveReport(fileName, overwrite, FResourceType, m_model.columns(), m_model.rows());
        });
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(ApplicationTitle));
    setWindowIcon(QIcon(QStringLiteral(":/images/norvane.svg")));
    setGeometry(DesignBounds);
    m_model.setImageList([this] {
        QList<QIcon> icons;
        for (const QPixmap& image : m_images)
            icons << QIcon(image);
        return icons;
    }());
    createActions();
    createMenus();
    createListView();
    createCoolBar();
    createStatusBar();
    layOutWindow();
    FormCreate();
    m_idle = connect(QAbstractEventDispatcher::instance(thread()),
                     &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::ActionListUpdate);
    ActionListUpdate();
}

TMainForm::~TMainForm() {
    disconnect(m_idle);
    FormDestroy();
}

void TMainForm::setCompletionSound(CompletionSound sound) {
    m_completionSound = std::move(sound);
}

void TMainForm::setPingCommand(PingCommand command) {
    m_pingCommand = std::move(command);
}

void TMainForm::setVisible(bool visible) {
    QMainWindow::setVisible(visible && !m_doomed);
}

void TMainForm::runCommand(const std::function<void()>& command) {
    // Qt's event delivery must not be unwound by an exception: a command's
    // error ends the command here.
    try {
        command();
    } catch (const AppError& error) {
        showGeneralError(error.message());
    } catch (const std::exception& error) {
        showGeneralError(QString::fromLocal8Bit(error.what()));
    }
}

void TMainForm::showGeneralError(const QString& message) {
    showErrorBox(this, message);
}

void TMainForm::FormCreate() {
    m_session.start([this](const QString& text) { ShowError(text, true); });
    m_findComp = new QMovie(QStringLiteral(":/anim/findcomp.gif"), QByteArray(), this);
    m_findComp->setCacheMode(QMovie::CacheAll);
    Animate->setMovie(m_findComp);
    fillResourceBox();
    restoreSettings();
}

void TMainForm::restoreSettings() {
    const RestoredSettings restored = Settings(*FRegistry).restore();
    if (restored.maximize())
        setWindowState(windowState() | Qt::WindowMaximized);
    else if (restored.position)
        setGeometry(placeOnScreens(*restored.position, availableScreens()));
    if (restored.resourceType) {
        // A type this program does not know scans computers.
        const int type = *restored.resourceType;
        cboResource->setCurrentIndex(type >= rtComputer && type <= rtSharedPrinter ? type
                                                                                   : rtComputer);
    }
    if (restored.showToolBar)
        psToolBar->setHidden(!*restored.showToolBar);
    if (restored.showResourceBar)
        m_coolBar->setBandVisible(m_coolBar->bandIndexOf(ResourceBar), *restored.showResourceBar);
    if (restored.showStatusBar)
        m_statusPanels->setHidden(!*restored.showStatusBar);
    if (restored.showGridLines)
        ListView->setGridLines(*restored.showGridLines);
    if (restored.showHotTrack.value_or(false))
        actHotTrackExecute();
    if (restored.showRowSelect)
        ListView->setRowSelect(*restored.showRowSelect);
    m_columnChooser->setChosen(ColumnSettings::read(*FRegistry));
    runCommand([&restored] { restored.throwIfFailed(); });
}

void TMainForm::FormDestroy() {
    saveState();
    FRegistry.reset();
    actStopExecute();
}

void TMainForm::saveState() {
    SettingsSnapshot snapshot;
    snapshot.minimized = isMinimized();
    snapshot.maximized = windowState().testFlag(Qt::WindowMaximized);
    snapshot.normalBounds = geometry();
    FileManagerEntry(m_fileManagerDataHome)
        .registerIfMissing(QCoreApplication::applicationFilePath());
    snapshot.resourceType = FResourceType;
    snapshot.showToolBar = !psToolBar->isHidden();
    snapshot.showResourceBar = !ResourceBar->isHidden();
    snapshot.showStatusBar = !m_statusPanels->isHidden();
    snapshot.showGridLines = ListView->gridLines();
    snapshot.showHotTrack = ListView->hotTrack();
    snapshot.showRowSelect = ListView->rowSelect();
    // A store that cannot be written keeps the previous settings; the
    // program ends either way.
    Settings(*FRegistry).save(snapshot);
}

void TMainForm::connectCommand(QAction* action, void (TMainForm::*handler)()) {
    connect(action, &QAction::triggered, this,
            [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
}

void TMainForm::createActions() {
    actSave = makeAction(this, "actSave", "File", QStringLiteral("&Save"), QStringLiteral("Save"),
                         QKeySequence(Qt::CTRL | Qt::Key_S));
    actSaveAs = makeAction(this, "actSaveAs", "File", QStringLiteral("Save &As..."));
    actExit = makeAction(this, "actExit", "File", QStringLiteral("E&xit"));
    actToolBar = makeAction(this, "actToolBar", "View", QStringLiteral("&Standart Buttons"));
    actResourceBar = makeAction(this, "actResourceBar", "View", QStringLiteral("&Resource Bar"));
    actStatusBar = makeAction(this, "actStatusBar", "View", QStringLiteral("Status &Bar"));
    actGo = makeAction(this, "actGo", "View", QStringLiteral("&Go"), QStringLiteral("Go"));
    actStop = makeAction(this, "actStop", "View", QStringLiteral("Sto&p"), QStringLiteral("Stop"),
                         QKeySequence(Qt::Key_Escape));
    actRefresh = makeAction(this, "actRefresh", "View", QStringLiteral("&Refresh"),
                            QStringLiteral("Refresh"), QKeySequence(Qt::Key_F5));
    actFind = makeAction(this, "actFind", "Resource", QStringLiteral("&Find"),
                         QStringLiteral("Find"), QKeySequence(Qt::CTRL | Qt::Key_F));
    actPing = makeAction(this, "actPing", "Resource", QStringLiteral("P&ing"),
                         QStringLiteral("Ping"), QKeySequence(Qt::CTRL | Qt::Key_I));
    actSources = makeAction(this, "actSources", "Resource", QStringLiteral("Other &Subnets..."));
    actAbout = makeAction(this, "actAbout", "Help", QStringLiteral("&About Norvane..."));
    actHistory = makeAction(this, "actHistory", "File", QStringLiteral("&History..."));
    actChanges = makeAction(this, "actChanges", "View", QStringLiteral("&Changes..."));
    actGridLines = makeAction(this, "actGridLines", "ListView", QStringLiteral("&GridLines"), {},
                              QKeySequence(Qt::CTRL | Qt::Key_G));
    actHotTrack = makeAction(this, "actHotTrack", "ListView", QStringLiteral("&HotTrack"), {},
                             QKeySequence(Qt::CTRL | Qt::Key_H));
    actRowSelect = makeAction(this, "actRowSelect", "ListView", QStringLiteral("Ro&wSelect"), {},
                              QKeySequence(Qt::CTRL | Qt::Key_R));
    for (QAction* check :
         {actToolBar, actResourceBar, actStatusBar, actGridLines, actHotTrack, actRowSelect})
        check->setCheckable(true);
    for (QAction* visible : {actToolBar, actResourceBar, actStatusBar})
        visible->setChecked(true);

    const std::pair<QAction*, int> images[] = {{actSave, tbSave},       {actStop, tbStop},
                                               {actRefresh, tbRefresh}, {actFind, tbFind},
                                               {actPing, tbPing},       {actGo, tbGo}};
    for (const auto& [action, image] : images) {
        action->setIcon(loadToolBarIcon(image));
        // The menus show captions only.
        action->setIconVisibleInMenu(false);
    }

    // Added to the window, every shortcut reaches its command from any
    // control of the window.
    addActions({actSave, actSaveAs, actExit, actToolBar, actResourceBar, actStatusBar, actGo,
                actStop, actRefresh, actFind, actPing, actSources, actAbout, actGridLines,
                actHotTrack, actRowSelect, actHistory, actChanges});

    connectCommand(actSave, &TMainForm::actSaveExecute);
    connectCommand(actSaveAs, &TMainForm::actSaveAsExecute);
    connectCommand(actExit, &TMainForm::actExitExecute);
    connectCommand(actToolBar, &TMainForm::actToolBarExecute);
    connectCommand(actResourceBar, &TMainForm::actResourceBarExecute);
    connectCommand(actStatusBar, &TMainForm::actStatusBarExecute);
    connectCommand(actGo, &TMainForm::actGoExecute);
    connectCommand(actStop, &TMainForm::actStopExecute);
    connectCommand(actRefresh, &TMainForm::actRefreshExecute);
    connectCommand(actFind, &TMainForm::actFindExecute);
    connectCommand(actPing, &TMainForm::actPingExecute);
    connectCommand(actSources, &TMainForm::actSourcesExecute);
    connectCommand(actAbout, &TMainForm::actAboutExecute);
    connectCommand(actHistory, &TMainForm::actHistoryExecute);
    connectCommand(actChanges, &TMainForm::actChangesExecute);
    connectCommand(actGridLines, &TMainForm::actGridLinesExecute);
    connectCommand(actHotTrack, &TMainForm::actHotTrackExecute);
    connectCommand(actRowSelect, &TMainForm::actRowSelectExecute);
}

void TMainForm::createMenus() {
    const auto menu = [this](const char* name, const QString& title, QWidget* parent) {
        auto* created = new QMenu(title, parent);
        created->setObjectName(QString::fromLatin1(name));
        return created;
    };
    mnuFile = menu("mnuFile", QStringLiteral("&File"), this);
    mnuFile->addActions({actSave, actSaveAs});
    mnuFile->addSeparator();
    mnuFile->addAction(actHistory);
    mnuFile->addSeparator();
    mnuFile->addAction(actExit);

    mnuView = menu("mnuView", QStringLiteral("&View"), this);
    mnuToolbars = menu("mnuToolbars", QStringLiteral("&Toolbars"), mnuView);
    mnuToolbars->addActions({actToolBar, actResourceBar});
    mnuView->addMenu(mnuToolbars);
    mnuView->addAction(actStatusBar);
    mnuView->addSeparator();
    mnuView->addActions({actGridLines, actHotTrack, actRowSelect});
    mnuView->addSeparator();
    mnuView->addActions({actGo, actStop, actRefresh});
    mnuView->addSeparator();
    mnuView->addAction(actChanges);

    mnuResource = menu("mnuResource", QStringLiteral("&Resource"), this);
    mnuResource->addActions({actFind, actPing});
    mnuResource->addSeparator();
    mnuResource->addAction(actSources);
    mnuResource->addAction(m_scanLogOn->forgetAction());

    mnuHelp = menu("mnuHelp", QStringLiteral("&Help"), this);
    mnuHelp->addAction(actAbout);

    for (QMenu* each : {mnuFile, mnuView, mnuToolbars, mnuResource, mnuHelp})
        each->setSeparatorsCollapsible(false);
}

void TMainForm::createListView() {
    ListView = new ResourceListView;
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setModel(&m_model);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->addActions({actGridLines, actHotTrack, actRowSelect});
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu->popup(ListView->viewport()->mapToGlobal(at)); });

    m_columnChooser = new ColumnChooser(ListView->horizontalHeader(), &m_model, this);
    connect(m_columnChooser, &ColumnChooser::chosenChanged, this,
            [this](const ColumnSettings& chosen) {
                if (FRegistry)
                    chosen.write(*FRegistry);
            });

    connect(ListView, &ResourceListView::returnPressed, this, &TMainForm::ListViewDblClick);
    bindRowActivation();
    attachColumnClick(true);
}

void TMainForm::createCoolBar() {
    m_coolBar = new CoolBar;
    m_coolBar->setObjectName(QStringLiteral("CoolBar"));
    createMenuBar();
    m_coolBar->addBand(psMenuBar, {false, false, BandMinHeight, 0, MenuBandWidth, {}});

    Animate = new QLabel;
    Animate->setObjectName(QStringLiteral("Animate"));
    Animate->setFixedSize(AnimationSize);
    Animate->setAutoFillBackground(true);
    QPalette black = Animate->palette();
    black.setColor(QPalette::Window, Qt::black);
    Animate->setPalette(black);
    m_coolBar->addBand(
        Animate, {false, true, BandMinHeight, AnimationSize.width(), AnimationSize.width(), {}});

    createToolBar();
    m_coolBar->addBand(psToolBar, {true, false, BandMinHeight, 0, ToolBandWidth, {}});

    createResourceBar();
    m_coolBar->addBand(ResourceBar, {true, false, BandMinHeight, 0, ToolBandWidth,
                                     QStringLiteral("Network resource")});

    Splitter = new CoolBarSplitter(m_coolBar);
    Splitter->setObjectName(QStringLiteral("Splitter"));
}

void TMainForm::createMenuBar() {
    m_menuButtons = tightBar("MenuBar");
    m_menuButtons->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto button = [this](const char* name, const QString& caption, QMenu* menu) {
        auto* created = new MenuBarButton(caption, menu, m_menuButtons);
        created->setObjectName(QString::fromLatin1(name));
        created->setFixedHeight(MenuButtonHeight);
        created->setMaximumWidth(MenuButtonMaxWidth);
        m_menuButtons->addWidget(created);
        return created;
    };
    btnFile = button("btnFile", QStringLiteral("&File"), mnuFile);
    btnView = button("btnView", QStringLiteral("&View"), mnuView);
    btnResource = button("btnResource", QStringLiteral("&Resource"), mnuResource);
    btnHelp = button("btnHelp", QStringLiteral("&Help"), mnuHelp);
    psMenuBar = holder(m_menuButtons, "psMenuBar");
}

void TMainForm::createToolBar() {
    ToolBar = tightBar("ToolBar");
    ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const auto button = [this](QAction* action, const char* name) {
        ToolBar->addAction(action);
        ToolBar->widgetForAction(action)->setObjectName(QString::fromLatin1(name));
    };
    button(actSave, "btnSave");
    ToolBar->addSeparator();
    button(actStop, "btnStop");
    button(actRefresh, "btnRefresh");
    ToolBar->addSeparator();
    button(actFind, "btnFind");
    button(actPing, "btnPing");
    psToolBar = holder(ToolBar, "psToolBar");
}

void TMainForm::createResourceBar() {
    ResourceBar = flatBar("ResourceBar");
    ResourceBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // The box and the button fill the bar exactly: no margins, a 2-pixel gap.
    ResourceBar->layout()->setContentsMargins(0, 0, 0, 0);
    ResourceBar->layout()->setSpacing(ResourceBoxGap);
    cboResource = new ResourceComboBox(m_images, ResourceBar);
    cboResource->setObjectName(QStringLiteral("cboResource"));
    ResourceBar->addWidget(cboResource);
    btnGo = new QToolButton(ResourceBar);
    btnGo->setObjectName(QStringLiteral("btnGo"));
    btnGo->setDefaultAction(actGo);
    btnGo->setText(QStringLiteral("Go"));
    btnGo->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnGo->setAutoRaise(true);
    btnGo->setFixedWidth(ResourceBarButtonWidth);
    ResourceBar->addWidget(btnGo);
    ResourceBar->installEventFilter(this);
    connect(cboResource, &ResourceComboBox::returnPressed, actGo, &QAction::trigger);
}

void TMainForm::createStatusBar() {
    m_statusPanels = new StatusPanels;
    ProgressBar = m_statusPanels->progressBar();
}

void TMainForm::layOutWindow() {
    auto* central = new QWidget;
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_coolBar);
    layout->addWidget(Splitter);
    layout->addWidget(ListView, 1);
    layout->addWidget(m_statusPanels);
    setCentralWidget(central);
    ListView->setFocus();
}

void TMainForm::fillResourceBox() {
    for (int type = rtComputer; type <= rtSharedPrinter; ++type)
        cboResource->addItem(resourceTypePlural(static_cast<TResourceType>(type)));
    cboResource->setCurrentIndex(0);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ResourceBar && event->type() == QEvent::Resize)
        fitResourceBox();
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::fitResourceBox() {
    cboResource->setFixedWidth(ResourceBarResize(ResourceBar->width()));
}

QString TMainForm::statusNote() const {
    return m_statusPanels->panel1Text();
}

QString TMainForm::statusNoteToolTip() const {
    return m_statusPanels->panel1ToolTip();
}

QString TMainForm::statusText() const {
    return m_statusPanels->panel0Text();
}

bool TMainForm::statusShowsUpdating() const {
    return m_statusPanels->panel0OwnerDrawn();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // A window restored from minimized is not shown anew.
    if (!event->spontaneous())
        runCommand([this] { actGoExecute(); });
}

bool TMainForm::animationPlaying() const {
    return m_findComp->state() == QMovie::Running;
}

void TMainForm::ActionListUpdate() {
    actSave->setEnabled(!animationPlaying());
    actSaveAs->setEnabled(actSave->isEnabled());
    actToolBar->setChecked(!psToolBar->isHidden());
    actResourceBar->setChecked(!ResourceBar->isHidden());
    actStatusBar->setChecked(!m_statusPanels->isHidden());
    actFind->setEnabled(m_model.rowCount() != 0);
    actChanges->setEnabled(m_changes.has_value());
    const int row = selectedRow();
    actPing->setEnabled(row >= 0 && m_model.row(row).image == imgComputer);
    actGridLines->setChecked(ListView->gridLines());
    actHotTrack->setChecked(ListView->hotTrack());
    actRowSelect->setChecked(ListView->rowSelect());
}

void TMainForm::actGoExecute() {
    actStopExecute();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_findComp->start();
    FResourceType = resourceTypeFromIndex(cboResource->currentIndex());
    showUpdating(true);
    ++m_listSerial;
    m_changes.reset();
    m_shownScan = 0;
    m_refusalNote.clear();
    m_refusalToolTip.clear();
    m_sourceNote.clear();
    m_sourceToolTip.clear();
    m_listNote.clear();
    m_listToolTip.clear();
    updateStatusNote();
    attachColumnClick(false);
    m_scanStarted = QDateTime::currentDateTimeUtc();
    m_storeSettings = StoreSettings::read(*FRegistry);
    ScanInputs inputs = m_session.scanInputs(FResourceType);
    inputs.sources = SourceSettings::read(*FRegistry).options();
    // The walk starts while the UI thread lets a large list go: its rows
    // reach the model only once the event loop runs, after the clearing.
    m_scan.start(inputs);
    m_model.clear();
    resetColumns();
    // Save must not run on a list that is being filled, not even for a key
    // press that arrives before the next idle update.
    ActionListUpdate();
}

void TMainForm::actStopExecute() {
    m_scan.stop();
}

void TMainForm::actRefreshExecute() {
    actGoExecute();
}

void TMainForm::actSaveExecute() {
    m_saveCommands->actSaveExecute();
}

void TMainForm::actSaveAsExecute() {
    m_saveCommands->actSaveAsExecute();
}

void TMainForm::actExitExecute() {
    close();
}

void TMainForm::actToolBarExecute() {
    psToolBar->setHidden(!psToolBar->isHidden());
}

void TMainForm::actResourceBarExecute() {
    const int band = m_coolBar->bandIndexOf(ResourceBar);
    m_coolBar->setBandVisible(band, !m_coolBar->isBandVisible(band));
}

void TMainForm::actStatusBarExecute() {
    m_statusPanels->setHidden(!m_statusPanels->isHidden());
}

void TMainForm::actFindExecute() {
    ItemViewResourceList list(ListView);
    TFindDlg dialog(list, *FRegistry, this,
                    [this](const QString& message) { showGeneralError(message); });
    dialog.exec();
}

void TMainForm::actSourcesExecute() {
    TSourcesDlg dialog(*FRegistry, this);
    dialog.exec();
}

void TMainForm::actAboutExecute() {
    TAboutBox dialog(this);
    dialog.exec();
}

void TMainForm::ChildThreadTerminate(int resultCode) {
    FSortColumn = 0;
    FSortAscending = true;
    ProgressBar->setValue(0);
    showUpdating(false);
    m_statusPanels->setPanel0Text(foundCountText(m_model.rowCount(), FResourceType));
    // The count alone would make a list with holes look complete.
    const QStringList& refused = m_scan.logOnRefusals();
    m_refusalNote = refused.isEmpty() ? QString() : logOnRefusalText(refused.size());
    m_refusalToolTip = refused.isEmpty() ? QString() : refusalToolTip(refused);
    const QStringList& incomplete = m_scan.incompleteSources();
    m_sourceNote = incomplete.isEmpty() ? QString() : incompleteSourceText(incomplete.size());
    m_sourceToolTip = incomplete.isEmpty() ? QString() : incompleteSourceToolTip(incomplete);
    updateStatusNote();
    attachColumnClick(true);
    if (resultCode == ScanCompleted && m_completionSound)
        m_completionSound();
    if (resultCode == ScanCompleted || m_model.rowCount() != 0) {
        const ScanHeader header{.started = m_scanStarted,
                                .site = siteOf(m_storeSettings),
                                .resourceType = FResourceType,
                                .complete = resultCode == ScanCompleted};
        // One copy of the rows for the recording and the comparison, which
        // read the records off the UI thread.
        const auto rows = std::make_shared<const ResultRows>(m_model.rows());
        m_archiver.record(m_storeSettings, header, rows);
        findChanges(header, rows);
    }
    m_findComp->stop();
    QApplication::restoreOverrideCursor();
    ActionListUpdate();
    emit scanCompleted(resultCode);
}

void TMainForm::findChanges(const ScanHeader& header,
                            const std::shared_ptr<const ResultRows>& rows) {
    const int serial = m_listSerial;
    using Found = std::pair<std::optional<PreviousScanChanges>, std::unordered_set<const void*>>;
    // The rows are shared with the list: their records name the new rows
    // however the list is sorted meanwhile.
    m_storeJobs.run<Found>(
        this,
        [location = m_storeSettings.location, header, rows] {
            const std::unique_ptr<ScanStore> store = ScanStore::open(location);
            Found found{changesSincePrevious(*store, header, *rows), {}};
            if (found.first) {
                for (std::size_t row : found.first->newRows) {
                    const ResultRow& shown = (*rows)[row];
                    found.second.insert(shown.computer
                                            ? static_cast<const void*>(shown.computer.get())
                                            : static_cast<const void*>(shown.share.get()));
                }
            }
            return found;
        },
        [this, serial](const StoreAnswer<Found>& answer) {
            if (serial != m_listSerial)
                return;
            if (answer.result)
                showChanges(answer.result->first, answer.result->second);
            else
                qWarning("norvane: the scan was not compared with the previous one: %s",
                         qPrintable(answer.error));
            emit changesShown();
        });
}

void TMainForm::showChanges(const std::optional<PreviousScanChanges>& changes,
                            const std::unordered_set<const void*>& newRecords) {
    m_changes = changes;
    if (!changes)
        return;
    m_model.setNewRecords(newRecords);
    m_listNote = changesNoteText(changes->counts());
    m_listToolTip = QStringLiteral("Since %1; View > Changes... lists them")
                        .arg(scanDescription(changes->previous.header));
    updateStatusNote();
    ActionListUpdate();
}

void TMainForm::updateStatusNote() {
    QStringList notes;
    QStringList tips;
    for (const auto& [note, tip] :
         {std::pair{m_sourceNote, m_sourceToolTip}, std::pair{m_refusalNote, m_refusalToolTip},
          std::pair{m_listNote, m_listToolTip}}) {
        if (note.isEmpty())
            continue;
        notes << note;
        tips << tip;
    }
    m_statusPanels->setPanel1Note(notes.join(QStringLiteral("; ")),
                                  tips.join(QStringLiteral("\n\n")));
}

void TMainForm::actChangesExecute() {
    if (!m_changes)
        return;
    TChangesDlg dialog(*m_changes, this);
    dialog.exec();
}

void TMainForm::actHistoryExecute() {
    // The dialog may close before the store has answered.
    QPointer<THistoryDlg> dialog = new THistoryDlg(this);
    m_storeJobs.run<std::vector<StoredScan>>(
        this,
        [location = StoreSettings::read(*FRegistry).location] {
            return ScanStore::open(location)->scans();
        },
        [this, dialog](const StoreAnswer<std::vector<StoredScan>>& answer) {
            if (!dialog)
                return;
            if (answer.result)
                dialog->setScans(*answer.result);
            else
                dialog->setError(answer.error);
            emit historyListed(dialog);
        });
    const bool chosen = dialog->exec() == QDialog::Accepted;
    const qint64 id = dialog ? dialog->chosenScan() : 0;
    delete dialog;
    if (chosen && id != 0)
        loadRecordedScan(id);
}

void TMainForm::loadRecordedScan(qint64 id) {
    actStopExecute();
    const int serial = ++m_listSerial;
    m_storeJobs.run<ScanContents>(
        this,
        [location = StoreSettings::read(*FRegistry).location, id] {
            return ScanStore::open(location)->load(id);
        },
        [this, serial, id](const StoreAnswer<ScanContents>& answer) {
            if (serial != m_listSerial || isScanning())
                return;
            if (answer.result)
                showRecordedScan(id, *answer.result);
            else
                showGeneralError(answer.error);
            emit recordedScanShown();
        });
}

void TMainForm::showRecordedScan(qint64 id, const ScanContents& scan) {
    const BusyCursor busy;
    FResourceType = scan.header.resourceType;
    FSortColumn = 0;
    FSortAscending = true;
    m_changes.reset();
    m_shownScan = id;
    resetColumns();
    m_model.setRows(rowsOfScan(scan));
    m_statusPanels->setPanel0Text(foundCountText(m_model.rowCount(), FResourceType));
    m_refusalNote.clear();
    m_refusalToolTip.clear();
    m_sourceNote.clear();
    m_sourceToolTip.clear();
    // The panel is narrow: the tool tip says which scan.
    m_listNote = QStringLiteral("Recorded scan");
    m_listToolTip =
        QStringLiteral("The list shows %1; Go scans anew").arg(scanDescription(scan.header));
    updateStatusNote();
    ActionListUpdate();
}

void TMainForm::closeUnattended() {
    m_unattended = true;
    QCoreApplication::quit();
}

void TMainForm::ShowError(const QString& text, bool terminate) {
    // Nobody is there to press OK: the scan's error is answered at once.
    if (m_unattended)
        return;
    showMessageBox(this, QMessageBox::Critical, text, QStringLiteral("ErrorBox"));
    // No quit request is posted here: it would also end the event loop of
    // the next start-up box. The program's entry ends a doomed run instead.
    if (terminate)
        m_doomed = true;
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
    m_statusPanels->setPanel0OwnerDrawn(updating);
}

void TMainForm::resetColumns() {
    m_model.setColumns(columnCaptions(FResourceType));
    for (int column = 0; column < m_model.columnCount(); ++column)
        ListView->horizontalHeader()->resizeSection(
            column, m_model.optionalColumnAt(column) ? OptionalColumnWidth : ColumnWidth);
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
    if (const auto optional = m_model.optionalColumnAt(column)) {
        m_model.reorder(sortedRowOrderByText(
            m_model.rows(),
            [this, optional](const ResultRow& row) { return m_model.optionalText(row, *optional); },
            FSortAscending, m_collator));
    } else {
        m_model.reorder(sortedRowOrder(m_model.rows(), sortArgument(column), FResourceType,
                                       FSortAscending, m_collator));
    }
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
    // The click may have changed the selection since the last idle update.
    ActionListUpdate();
    if (actPing->isEnabled())
        actPing->trigger();
}

void TMainForm::actPingExecute() {
    const int row = selectedRow();
    if (row < 0 || !m_pingCommand)
        return;
    m_pingCommand(m_model.row(row));
}

int TMainForm::selectedRow() const {
    const int row = ListView->selectedRow();
    return row >= 0 && row < m_model.rowCount() ? row : -1;
}

QString TMainForm::selectedAddress() const {
    const int row = selectedRow();
    if (row < 0)
        return {};
    return cellText(m_model.row(row), ComputerColumn::Ip);
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
