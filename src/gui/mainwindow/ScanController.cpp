#include "ScanController.h"

#include "threading/TChildThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QTimer>

#include <utility>

namespace norvane {

namespace {
// How many items of the hand-over are applied between two looks at the clock.
constexpr int ItemsPerClockCheck = 64;
} // namespace

struct ScanController::Scan {
    explicit Scan(ScanHandOver::WakeUp wakeUp) : handOver(std::move(wakeUp)) {}
    bool hasPending() const { return next < pending.size(); }
    // Moves what waits in the hand-over behind the items not yet applied;
    // the caller comes back for more when anything came.
    bool take() {
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(next));
        next = 0;
        return handOver.takeAllAndReturn(pending);
    }
    ScanHandOver handOver;
    ScanItems pending; // taken from the hand-over; those from `next` on not yet applied
    std::size_t next = 0;
    bool errorBoxOpen = false;
    bool credentialRequestOpen = false; // the window is asking for credentials
    bool stopping = false;
    bool finished = false;
};

ScanController::ScanController(NetworkPlatform& platform, ResultListModel& model, Hooks hooks,
                               QObject* parent)
    : QObject(parent), m_platform(platform), m_model(model), m_hooks(std::move(hooks)) {}

ScanController::~ScanController() {
    stop();
}

void ScanController::start(const ScanInputs& inputs) {
    stop();
    m_logOnRefusals.clear();
    m_incompleteSources.clear();
    m_scan = std::make_shared<Scan>([this] { scheduleDrain(); });
    m_thread = std::make_unique<TChildThread>(m_platform, inputs, m_scan->handOver);
    m_scanning = true;
    m_thread->start();
}

void ScanController::stop() {
    const std::shared_ptr<Scan> scan = m_scan;
    if (!scan)
        return;
    m_thread->requestStop();
    // Called while that scan's error box is open (the box's own event loop
    // runs below this call): the worker waits for the box, and the box can
    // close only after this call returns, so release the worker now.
    if (scan->errorBoxOpen)
        scan->handOver.answerError();
    scan->stopping = true;
    if (scan->credentialRequestOpen) {
        scan->credentialRequestOpen = false;
        scan->handOver.answerCredentials(std::nullopt);
    }
    while (!scan->finished) {
        if (!scan->hasPending() &&
            !scan->handOver.waitAndTakeAll(scan->pending, StopRepaintInterval)) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
            continue;
        }
        if (!apply(scan, std::chrono::steady_clock::time_point::max()))
            return; // a nested stop ended this scan
    }
    if (m_scan != scan)
        return;
    m_thread->wait();
    m_thread.reset();
    m_scan.reset();
}

void ScanController::scheduleDrain() {
    QMetaObject::invokeMethod(
        this, [this] { drain(); }, Qt::QueuedConnection);
}

void ScanController::drain() {
    const std::shared_ptr<Scan> scan = m_scan;
    if (!scan || scan->errorBoxOpen || scan->credentialRequestOpen || scan->finished)
        return;
    const bool took = scan->take();
    if (!apply(scan, std::chrono::steady_clock::now() + DrainSliceBudget))
        return;
    if (scan->hasPending())
        scheduleDrain();
    else if (took && !scan->finished)
        QTimer::singleShot(DrainInterval, this, [this] { drain(); });
}

bool ScanController::apply(const std::shared_ptr<Scan>& scan,
                           std::chrono::steady_clock::time_point deadline) {
    int applied = 0;
    while (scan->hasPending() && !scan->finished) {
        ScanItem& item = scan->pending[scan->next++];
        switch (item.type()) {
        case ScanItem::NewRow:
            m_model.appendRow(std::move(item.row()));
            break;
        case ScanItem::RowContinued: {
            ScanChanges changes;
            item.appendChangesTo(changes);
            for (const ScanChange& change : changes)
                applyRowChange(change);
            break;
        }
        case ScanItem::Change:
            // A copy: an error box or a nested stop may take more items
            // meanwhile, which moves the pending ones.
            if (!applyChange(scan, ScanChange(item.change())))
                return false;
            if (scan->finished)
                return true;
            break;
        }
        if (++applied % ItemsPerClockCheck == 0 && std::chrono::steady_clock::now() >= deadline)
            break;
    }
    m_model.publish();
    return true;
}

void ScanController::applyRowChange(const ScanChange& change) {
    switch (change.kind) {
    case ScanChange::AppendRow:
        m_model.appendRow();
        break;
    case ScanChange::SetCaption:
        m_model.setLastCaption(change.text);
        break;
    case ScanChange::SetImage:
        m_model.setLastImage(change.number);
        break;
    case ScanChange::AddSubItem:
        m_model.addLastSubItem(change.text);
        break;
    case ScanChange::SetRecord:
        m_model.setLastRecord(change.computer, change.share);
        break;
    default:
        break;
    }
}

bool ScanController::applyChange(const std::shared_ptr<Scan>& scan, const ScanChange& change) {
    switch (change.kind) {
    case ScanChange::SetProgressMax:
        if (m_hooks.setProgressMax)
            m_hooks.setProgressMax(change.number);
        break;
    case ScanChange::SetProgressPosition:
        if (m_hooks.setProgressPosition)
            m_hooks.setProgressPosition(change.number);
        break;
    case ScanChange::ShowError:
        m_model.publish();
        applyError(scan, change.text);
        return m_scan == scan;
    case ScanChange::FindRemembered:
    case ScanChange::AskCredentials:
        m_model.publish();
        applyCredentialRequest(scan, change);
        return m_scan == scan;
    case ScanChange::Remember:
        if (m_credentialHooks.remember)
            m_credentialHooks.remember(change.text, change.logOn->credentials);
        break;
    case ScanChange::Finished:
        m_model.publish();
        scan->finished = true;
        m_logOnRefusals = scan->handOver.logOnRefusals();
        m_incompleteSources = scan->handOver.incompleteSources();
        complete(change.number);
        return m_scan == scan;
    default: // row changes travel in row items
        break;
    }
    return true;
}

void ScanController::applyError(const std::shared_ptr<Scan>& scan, const QString& text) {
    scan->errorBoxOpen = true;
    if (m_hooks.showError)
        m_hooks.showError(text);
    scan->errorBoxOpen = false;
    scan->handOver.answerError();
}

void ScanController::applyCredentialRequest(const std::shared_ptr<Scan>& scan,
                                            const ScanChange& change) {
    std::optional<CredentialAnswer> answer;
    scan->credentialRequestOpen = true;
    if (scan->stopping) {
        // Nobody is asked while a scan is being stopped.
    } else if (change.kind == ScanChange::AskCredentials && m_credentialHooks.ask) {
        answer = m_credentialHooks.ask({change.text, change.logOn->group, change.logOn->user});
    } else if (change.kind == ScanChange::FindRemembered && m_credentialHooks.remembered) {
        if (auto remembered = m_credentialHooks.remembered(change.text))
            answer = CredentialAnswer{std::move(*remembered), false};
    }
    // A stop that ran meanwhile has answered already.
    if (scan->credentialRequestOpen) {
        scan->credentialRequestOpen = false;
        scan->handOver.answerCredentials(std::move(answer));
    }
}

void ScanController::complete(int resultCode) {
    m_scanning = false;
    if (m_hooks.completed)
        m_hooks.completed(resultCode);
}

} // namespace norvane
