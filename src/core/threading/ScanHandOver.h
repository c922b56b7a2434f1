#pragma once

// The hand-over of a walk's list changes from the worker thread to the UI
// thread. The worker appends every change to a queue in the order it makes
// it; the UI thread takes them out and applies them. A row's changes join
// the row's item while it waits in the queue (see ScanItem), so that a row
// whose look-ups answer at once costs one queued item, not one per change.
// The first item in an empty queue calls the wake-up function, so that the
// UI thread is asked once per batch, not once per row; a UI thread that
// comes back by itself while rows stream is not asked at all, except for
// what the worker waits for or the walk's end. An error box blocks
// the worker until the UI thread answers it, and so does a request for
// credentials; the walk's end is the queue's last change. The computers
// that refused the log-on are kept apart from the queue, for the UI thread
// to read once the walk has ended.

#include "ScanChange.h"
#include "ScanItem.h"
#include "scan/CredentialSource.h"
#include "scan/ScanWorker.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace norvane {

class ScanHandOver : public ScanOutput, public CredentialSource {
public:
    // Called on the worker thread when a change arrives in an empty queue.
    using WakeUp = std::function<void()>;

    explicit ScanHandOver(WakeUp wakeUp);

    // --- worker side ---
    void appendRow() override;
    void setCaption(const QString& caption) override;
    void setImage(int image) override;
    void addSubItem(const QString& text) override;
    void setProgressMax(int maximum) override;
    void setProgressPosition(int position) override;
    // Returns once the UI thread has called answerError().
    void showError(const QString& text) override;
    void setComputerRecord(std::shared_ptr<const ComputerRecord> record) override;
    void setShareRecord(std::shared_ptr<const ShareRecord> record) override;
    // Each returns once the UI thread has called answerCredentials().
    std::optional<Credentials> remembered(const QString& group) override;
    std::optional<CredentialAnswer> ask(const CredentialRequest& request) override;
    void remember(const QString& group, const Credentials& credentials) override;
    void logOnRefused(const QString& computer) override;
    void sourceIncomplete(const QString& reason) override;
    // The walk's last change.
    void finish(int resultCode);

    // --- UI side ---
    // Moves every waiting item to the end of `into`. A row item taken may
    // be continued by a RowContinued item later.
    void takeAll(ScanItems& into);
    // Like takeAll; when it took anything, the taker comes back for more by
    // itself, so that until its next take only an error box, a request for
    // credentials or the walk's end calls the wake-up. False when nothing
    // was waiting.
    bool takeAllAndReturn(ScanItems& into);
    // Like takeAll, but first waits until at least one item is waiting, no
    // longer than `timeout`; false when nothing came.
    bool waitAndTakeAll(ScanItems& into, std::chrono::milliseconds timeout);
    // The waiting changes one by one, in the order the walk made them,
    // appended to `into`; the second waits until at least one is waiting.
    void takeAll(ScanChanges& into);
    void waitAndTakeAll(ScanChanges& into);
    // Lets a worker that waits in showError go on.
    void answerError();
    // Lets a worker that waits for credentials go on with `answer`.
    void answerCredentials(std::optional<CredentialAnswer> answer);
    // The computers that refused the log-on so far, in walk order; complete
    // once the Finished change has been taken.
    QStringList logOnRefusals() const;
    // Why sources left computers out (see ScanOutput); complete likewise.
    QStringList incompleteSources() const;

private:
    void push(ScanChange change);
    // Calls `change` on the item of the row appended last that can take a
    // change of `kind`, queueing a new one when the last item cannot.
    template <typename Change> void changeRow(ScanChange::Kind kind, Change change);
    // Queues `item`; the caller holds the lock. An urgent item wakes the
    // UI thread even when it said it comes back.
    ScanItem& pushLocked(ScanItem item, bool urgent = false);
    void takeLocked(ScanItems& into);
    std::optional<CredentialAnswer> request(ScanChange change);

    WakeUp m_wakeUp;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    ScanItems m_queue;
    bool m_wakeUpPending = false;
    bool m_takerReturns = false; // see takeAllAndReturn
    bool m_errorAnswered = false;
    bool m_credentialsAnswered = false;
    std::optional<CredentialAnswer> m_credentialAnswer;
    QStringList m_logOnRefusals;
    QStringList m_incompleteSources;
};

} // namespace norvane
