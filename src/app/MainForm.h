#pragma once

// The main window: the result list, the commands that start and stop a
// scan, the resource bar, the search animation, the progress bar and the
// status text. The scan itself runs on a worker thread (ScanController);
// this window prepares the list before a scan and reports its outcome
// afterwards.

#include "ResultListModel.h"
#include "ScanController.h"
#include "platform/NetworkPlatform.h"
#include "scan/RowSort.h"
#include "scan/ScanModel.h"

#include <QMainWindow>
#include <QMetaObject>

#include <cstdint>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QMovie;
class QProgressBar;
class QToolBar;
class QToolButton;

namespace norvane {

class ResourceComboBox;
class ResourceListView;

// The caption of the window and of every message box.
inline constexpr const char* ApplicationTitle = "Norvane";

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Plays the completion sound to its end.
    using CompletionSound = std::function<void()>;
    // Runs the Ping command for a resolved computer's row.
    using PingCommand = std::function<void(const ResultRow&)>;

    explicit TMainForm(NetworkPlatform& platform, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The default sound is the platform's beep.
    void setCompletionSound(CompletionSound sound);
    // The default command opens the Ping dialog for the row.
    void setPingCommand(PingCommand command);

    TResourceType resourceType() const { return FResourceType; }
    int sortColumn() const { return FSortColumn; }
    bool sortAscending() const { return FSortAscending; }
    bool isScanning() const { return m_scan.isScanning(); }
    const ResultListModel& model() const { return m_model; }
    QString statusText() const;
    bool statusShowsUpdating() const;
    // A start-up check failed: the window is not to be shown.
    bool isDoomed() const { return m_doomed; }

    // --- commands (named as the handlers and menus refer to them) ---
    QAction* actGo = nullptr;
    QAction* actStop = nullptr;
    QAction* actRefresh = nullptr;
    QAction* actPing = nullptr;
    QAction* actGridLines = nullptr;
    QAction* actHotTrack = nullptr;
    QAction* actRowSelect = nullptr;

    // --- controls ---
    ResourceListView* ListView = nullptr;
    QMenu* PopupMenu = nullptr;
    QToolBar* AnimateBar = nullptr;
    QLabel* Animate = nullptr;
    QToolBar* ResourceBar = nullptr;
    ResourceComboBox* cboResource = nullptr;
    QToolButton* btnGo = nullptr;
    QProgressBar* ProgressBar = nullptr;

    void actGoExecute();
    void actStopExecute();
    void actRefreshExecute();
    void actPingExecute();
    void actGridLinesExecute();
    void actHotTrackExecute();
    void actRowSelectExecute();
    void ListViewColumnClick(int column);
    void ListViewDblClick();

signals:
    // The completion step of a scan has run, with the walk's result code.
    void scanCompleted(int resultCode);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void createActions();
    void createListView();
    void createBars();
    void createStatusBar();
    void fillResourceBox();

    void ChildThreadTerminate(int resultCode);
    // The error box; with `terminate` the window is not to be shown and the
    // application is asked to quit.
    void ShowError(const QString& text, bool terminate);
    void setProgressMax(int maximum);
    void setProgressPosition(int position);
    void showUpdating(bool updating);
    void attachColumnClick(bool attached);
    void bindRowActivation();
    void updatePingEnabled();
    // The selected row's "IP Address" text, empty without a selection.
    QString selectedAddress() const;

    NetworkPlatform& m_platform;
    QByteArray FProviderName;
    std::uint8_t LanaNum = 0;
    TResourceType FResourceType = rtComputer;
    int FSortColumn = 0;
    bool FSortAscending = false;
    bool m_doomed = false;

    QList<QPixmap> m_images;
    TextCollator m_collator;
    ResultListModel m_model;
    ScanController m_scan;
    CompletionSound m_completionSound;
    PingCommand m_pingCommand;

    QMovie* m_findComp = nullptr;
    QLabel* m_statusImage = nullptr;
    QLabel* m_statusText = nullptr;
    QMetaObject::Connection m_columnClick;
    QMetaObject::Connection m_rowActivation;
};

} // namespace norvane
