#pragma once

// The hand-over of a walk's list changes from the worker thread to the UI
// thread. The worker appends every change to a queue in the order it makes
// it; the UI thread takes them out and applies them. The first change after
// the UI thread has emptied the queue calls the wake-up function, so that
// the UI thread is asked once per batch, not once per change. An error box
// blocks the worker until the UI thread answers it, and so does a request
// for credentials; the walk's end is the queue's last change. The computers
// that refused the log-on are kept apart from the queue, for the UI thread
// to read once the walk has ended.

#include "scan/CredentialSource.h"
#include "scan/ScanWorker.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace norvane {

// What a log-on change carries besides its text.
struct LogOnDetails {
    QString group;           // AskCredentials: the group to suggest
    QString user;            // AskCredentials: the user to suggest
    Credentials credentials; // Remember: what to keep
};

// Kept small: a large scan queues hundreds of thousands of changes, and
// the log-on's rare fields would make every one of them larger.
struct ScanChange {
    enum Kind {
        AppendRow,
        SetCaption,
        SetImage,
        AddSubItem,
        SetProgressMax,
        SetProgressPosition,
        ShowError,
        FindRemembered, // text: the group
        AskCredentials, // text: the computer; logOn: the group and user to suggest
        Remember,       // text: the group; logOn: the credentials to keep
        SetRecord,      // computer or share: the record of the row appended last
        Finished,       // number: the walk's result code
    };
    ScanChange(Kind changeKind = AppendRow, int changeNumber = 0, QString changeText = {})
        : kind(changeKind), number(changeNumber), text(std::move(changeText)) {}

    Kind kind;
    int number;
    QString text;
    std::shared_ptr<const ComputerRecord> computer;
    std::shared_ptr<const ShareRecord> share;
    std::shared_ptr<const LogOnDetails> logOn;
};

using ScanChanges = std::deque<ScanChange>;

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
    // Moves every waiting change to the end of `into`.
    void takeAll(ScanChanges& into);
    // Like takeAll, but first waits until at least one change is waiting.
    void waitAndTakeAll(ScanChanges& into);
    // The same, waiting no longer than `timeout`; false when nothing came.
    bool waitAndTakeAll(ScanChanges& into, std::chrono::milliseconds timeout);
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
    std::optional<CredentialAnswer> request(ScanChange change);

    WakeUp m_wakeUp;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    ScanChanges m_queue;
    bool m_wakeUpPending = false;
    bool m_errorAnswered = false;
    bool m_credentialsAnswered = false;
    std::optional<CredentialAnswer> m_credentialAnswer;
    QStringList m_logOnRefusals;
    QStringList m_incompleteSources;
};

} // namespace norvane
