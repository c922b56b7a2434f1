#pragma once

// Runs one scan at a time: starts the worker, applies its hand-over to the
// result model on the UI thread and tells the window about progress, error
// boxes and the completion.
//
// The UI thread drains the hand-over in slices of bounded time and returns
// to its event loop between them, so that a fast scan never freezes the
// window; while rows keep coming it comes back for them every DrainInterval
// instead of being woken for each batch. stop() sets the worker's stop flag
// and then serves the hand-over itself, blocking, until the worker's last
// change: rows that arrive while it waits are applied, an error box the
// worker asks for is shown, and the completion has run when stop() returns.
// While it waits it only repaints, so no command can start while a scan is
// being stopped; a request for credentials it meets is answered with none.

#include "models/ResultListModel.h"
#include "platform/NetworkPlatform.h"
#include "scan/ScanWorker.h"
#include "threading/ScanHandOver.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

namespace norvane {

class TChildThread;

class ScanController : public QObject {
    Q_OBJECT
public:
    // The longest time one slice of the hand-over keeps the UI thread.
    static constexpr std::chrono::milliseconds DrainSliceBudget{10};
    // While rows stream, how long the UI thread lets them gather before it
    // takes them: a take per batch, not per row, and no wake-up from the
    // worker meanwhile.
    static constexpr std::chrono::milliseconds DrainInterval{4};
    // How often a stop that waits for the worker lets the window repaint.
    static constexpr std::chrono::milliseconds StopRepaintInterval{16};

    struct Hooks {
        std::function<void(int)> setProgressMax;
        std::function<void(int)> setProgressPosition;
        // Shows the worker's error box; returns when the user has closed it.
        std::function<void(const QString&)> showError;
        // The completion step, with the walk's result code.
        std::function<void(int)> completed;
    };

    // Where the worker's credentials come from; without them, computers
    // that refuse the anonymous log-on are skipped.
    struct CredentialHooks {
        // The credentials remembered for a group, if any.
        std::function<std::optional<Credentials>(const QString&)> remembered;
        // Asks the user; returns when the dialog is closed.
        std::function<std::optional<CredentialAnswer>(const CredentialRequest&)> ask;
        // Keeps credentials that a computer of the group took.
        std::function<void(const QString&, const Credentials&)> remember;
    };

    ScanController(NetworkPlatform& platform, ResultListModel& model, Hooks hooks,
                   QObject* parent = nullptr);
    ~ScanController() override;

    void setCredentialHooks(CredentialHooks hooks) { m_credentialHooks = std::move(hooks); }

    // Starts a worker; a running or ended worker is stopped and freed first.
    void start(const ScanInputs& inputs);
    // Ends the running scan, if any, and frees its worker.
    void stop();
    // True from start() until the completion has run.
    bool isScanning() const { return m_scanning; }
    // The computers of the last scan that refused the log-on, so that their
    // shares are missing from the list; set when the completion runs.
    const QStringList& logOnRefusals() const { return m_logOnRefusals; }
    const QStringList& incompleteSources() const { return m_incompleteSources; }
    // The worker object, running or ended, until stop() frees it.
    TChildThread* ChildThread() const { return m_thread.get(); }

private:
    struct Scan;

    void drain();
    // Applies items of `scan` until they run out or the deadline passes.
    // Returns false when the scan was ended while a change was applied.
    bool apply(const std::shared_ptr<Scan>& scan, std::chrono::steady_clock::time_point deadline);
    void applyRowChange(const ScanChange& change);
    // A change that is no row change; false as for apply().
    bool applyChange(const std::shared_ptr<Scan>& scan, const ScanChange& change);
    void applyError(const std::shared_ptr<Scan>& scan, const QString& text);
    void applyCredentialRequest(const std::shared_ptr<Scan>& scan, const ScanChange& change);
    void complete(int resultCode);
    void scheduleDrain();

    NetworkPlatform& m_platform;
    ResultListModel& m_model;
    Hooks m_hooks;
    CredentialHooks m_credentialHooks;
    std::shared_ptr<Scan> m_scan;
    std::unique_ptr<TChildThread> m_thread;
    bool m_scanning = false;
    QStringList m_logOnRefusals;
    QStringList m_incompleteSources;
};

} // namespace norvane
