#pragma once

// The main window: the cool bar with its menu buttons, animation, standard
// buttons and resource bar, the splitter under it, the result list and the
// status bar; the commands shared by menus, buttons and shortcuts, and the
// settings read at creation and written at destruction. The scan itself runs
// on a worker thread (ScanController); this window prepares the list before a
// scan and reports its outcome afterwards.

#include "ScanArchiver.h"
#include "ScanController.h"
#include "ScanLogOn.h"
#include "StoreJobs.h"
#include "dialogs/SaveFileDialogs.h"
#include "models/ResultListModel.h"
#include "platform/NetworkPlatform.h"
#include "scan/ResultRow.h"
#include "scan/RowSort.h"
#include "session/NetworkSession.h"
#include "store/PreviousScanChanges.h"
#include "widgets/ColumnChooser.h"

#include <QDateTime>
#include <QMainWindow>
#include <QMetaObject>
#include <QSettings>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QMovie;
class QProgressBar;
class QToolBar;
class QToolButton;

namespace norvane {

class CoolBar;
class CoolBarSplitter;
class ResourceComboBox;
class ResourceListView;
class SaveCommands;
class StatusPanels;

// Where the window keeps what outlives a run. Empty members stand for the
// user's own places: the settings file of the application and the user's
// data directory.
struct MainFormStorage {
    std::unique_ptr<QSettings> registry;
    QString fileManagerDataHome;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Plays the completion sound to its end.
    using CompletionSound = std::function<void()>;
    // Runs the Ping command for a resolved computer's row.
    using PingCommand = std::function<void(const ResultRow&)>;

    explicit TMainForm(NetworkPlatform& platform, MainFormStorage storage = {},
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // The default sound is the platform's beep.
    void setCompletionSound(CompletionSound sound);
    // The default command opens the Ping dialog for the row.
    void setPingCommand(PingCommand command);

    TResourceType resourceType() const { return FResourceType; }
    int sortColumn() const { return FSortColumn; }
    bool sortAscending() const { return FSortAscending; }
    bool isScanning() const { return m_scan.isScanning(); }
    // Blocks until the finished scans are recorded in the store: for a
    // benchmark that measures each scan without the last one's recording.
    void waitForRecordings() { m_archiver.wait(); }
    const ResultListModel& model() const { return m_model; }
    QString statusText() const;
    bool statusShowsUpdating() const;
    // Panel 1's note on the last scan and its tool tip; empty when none.
    QString statusNote() const;
    QString statusNoteToolTip() const;
    // What the list's scan changed against the previous complete one, once
    // known; nothing for a first scan or a loaded one.
    const std::optional<PreviousScanChanges>& changes() const { return m_changes; }
    // The list shows a recorded scan rather than a live one.
    bool showsRecordedScan() const { return m_shownScan != 0; }
    // A start-up check failed: the window is not to be shown.
    bool isDoomed() const { return m_doomed; }

    // Writes the settings and the file-manager entry now, as the window's
    // destruction does: the answer to the session manager's request to save
    // the program's state at log-out.
    void saveState();

    // Ends the program as the close box does, for a request that no user
    // watches (a signal at log-out, kill, a closed terminal): open dialogs
    // are closed, and an error that the stopping scan still reports is not
    // shown in a box that nobody would answer.
    void closeUnattended();

    // A doomed window stays hidden whoever asks to show it.
    void setVisible(bool visible) override;

    // Runs a command; an error that leaves it is shown by the general error
    // handler and the program goes on.
    void runCommand(const std::function<void()>& command);
    // The general error handler's box: the message with its full stop.
    void showGeneralError(const QString& message);

    // Recomputes the commands' enabled and checked states; runs whenever the
    // application becomes idle.
    void ActionListUpdate();

    void actSaveExecute();
    void actSaveAsExecute();
    void actExitExecute();
    void actToolBarExecute();
    void actResourceBarExecute();
    void actStatusBarExecute();
    void actGoExecute();
    void actStopExecute();
    void actRefreshExecute();
    void actFindExecute();
    void actPingExecute();
    void actSourcesExecute();
    void actAboutExecute();
    void actHistoryExecute();
    void actChangesExecute();
    // Fills the list with a recorded scan, read off the UI thread.
    void loadRecordedScan(qint64 id);
    void actGridLinesExecute();
    void actHotTrackExecute();
    void actRowSelectExecute();
    void ListViewColumnClick(int column);
    void ListViewDblClick();

signals:
    // The completion step of a scan has run, with the walk's result code.
    void scanCompleted(int resultCode);
    // The comparison with the previous scan has been applied to the list
    // (marks and status), or found nothing to compare with.
    void changesShown();
    // A recorded scan fills the list, or could not be read.
    void recordedScanShown();
    // The History dialog is open and its list of scans has been read.
    void historyListed(QDialog* dialog);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // --- commands (named as the handlers and menus refer to them) ---
    QAction* actSave = nullptr;
    QAction* actSaveAs = nullptr;
    QAction* actExit = nullptr;
    QAction* actToolBar = nullptr;
    QAction* actResourceBar = nullptr;
    QAction* actStatusBar = nullptr;
    QAction* actGo = nullptr;
    QAction* actStop = nullptr;
    QAction* actRefresh = nullptr;
    QAction* actFind = nullptr;
    QAction* actPing = nullptr;
    QAction* actSources = nullptr;
    QAction* actAbout = nullptr;
    QAction* actHistory = nullptr;
    QAction* actChanges = nullptr;
    QAction* actGridLines = nullptr;
    QAction* actHotTrack = nullptr;
    QAction* actRowSelect = nullptr;

    // --- controls (object names as the members name them, but for the
    // cool bar, the menu bar and the status bar) ---
    CoolBar* m_coolBar = nullptr;
    QWidget* psMenuBar = nullptr;
    QToolBar* m_menuButtons = nullptr;
    QToolButton* btnFile = nullptr;
    QToolButton* btnView = nullptr;
    QToolButton* btnResource = nullptr;
    QToolButton* btnHelp = nullptr;
    QMenu* mnuFile = nullptr;
    QMenu* mnuView = nullptr;
    QMenu* mnuToolbars = nullptr;
    QMenu* mnuResource = nullptr;
    QMenu* mnuHelp = nullptr;
    QLabel* Animate = nullptr;
    QWidget* psToolBar = nullptr;
    QToolBar* ToolBar = nullptr;
    QToolBar* ResourceBar = nullptr;
    ResourceComboBox* cboResource = nullptr;
    QToolButton* btnGo = nullptr;
    CoolBarSplitter* Splitter = nullptr;
    ResourceListView* ListView = nullptr;
    QMenu* PopupMenu = nullptr;
    StatusPanels* m_statusPanels = nullptr;
    QProgressBar* ProgressBar = nullptr;

    void FormCreate();
    void FormDestroy();
    void restoreSettings();
    void createActions();
    void createListView();
    void createCoolBar();
    void createMenus();
    void createMenuBar();
    void createToolBar();
    void createResourceBar();
    void createStatusBar();
    void layOutWindow();
    void fillResourceBox();
    void connectCommand(QAction* action, void (TMainForm::*handler)());

    void ChildThreadTerminate(int resultCode);
    // Compares the finished scan with the previous complete one of its type
    // at its site, off the UI thread, and marks the new rows when done.
    void findChanges(const ScanHeader& header, const std::shared_ptr<const ResultRows>& rows);
    void showChanges(const std::optional<PreviousScanChanges>& changes,
                     const std::unordered_set<const void*>& newRecords);
    void showRecordedScan(qint64 id, const ScanContents& scan);
    // Panel 1: the log-on refusals and the changes, each where known.
    void updateStatusNote();
    // The error box; with `terminate` the window is doomed: it is not to be
    // shown and the program is to end.
    void ShowError(const QString& text, bool terminate);
    void setProgressMax(int maximum);
    void setProgressPosition(int position);
    void showUpdating(bool updating);
    void attachColumnClick(bool attached);
    // Sets the list's columns for the type of list shown, at their first width.
    void resetColumns();
    void bindRowActivation();
    // Fits the resource box into the resource bar beside the Go button.
    void fitResourceBox();
    bool animationPlaying() const;
    // The selected row, or -1.
    int selectedRow() const;
    // The selected row's "IP Address" text, empty without a selection.
    QString selectedAddress() const;

    NetworkPlatform& m_platform;
    NetworkSession m_session;
    std::unique_ptr<QSettings> FRegistry;
    QString m_fileManagerDataHome;
    TResourceType FResourceType = rtComputer;
    int FSortColumn = 0;
    bool FSortAscending = false;
    bool m_doomed = false;
    bool m_unattended = false;

    QList<QPixmap> m_images;
    TextCollator m_collator;
    ResultListModel m_model;
    ColumnChooser* m_columnChooser = nullptr;
    ScanController m_scan;
    QDateTime m_scanStarted;       // of the scan last started, UTC
    StoreSettings m_storeSettings; // read when it started: the settings close first
    ScanArchiver m_archiver;
    // Counts the lists shown; an answer for an earlier one is dropped.
    int m_listSerial = 0;
    std::optional<PreviousScanChanges> m_changes;
    qint64 m_shownScan = 0; // the recorded scan the list shows, 0 for a live one
    QString m_refusalNote;
    QString m_refusalToolTip;
    QString m_sourceNote; // sources that left computers out
    QString m_sourceToolTip;
    QString m_listNote;
    QString m_listToolTip;
    ScanLogOn* m_scanLogOn = new ScanLogOn(m_scan, this);
    CompletionSound m_completionSound;
    PingCommand m_pingCommand;
    SaveFileDialogs m_saveDialogs;
    std::unique_ptr<SaveCommands> m_saveCommands;

    QMovie* m_findComp = nullptr;
    QMetaObject::Connection m_columnClick;
    QMetaObject::Connection m_rowActivation;
    QMetaObject::Connection m_idle;
    // Last, so that its end (waiting for the jobs) comes first.
    StoreJobs m_storeJobs;
};

} // namespace norvane
