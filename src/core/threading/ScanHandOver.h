#pragma once

// The hand-over of a walk's list changes from the worker thread to the UI
// thread. The worker appends every change to a queue in the order it makes
// it; the UI thread takes them out and applies them. The first change after
// the UI thread has emptied the queue calls the wake-up function, so that
// the UI thread is asked once per batch, not once per change. An error box
// blocks the worker until the UI thread answers it, and the walk's end is
// the queue's last change.

#include "scan/ScanWorker.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace norvane {

struct ScanChange {
    enum Kind {
        AppendRow,
        SetCaption,
        SetImage,
        AddSubItem,
        SetProgressMax,
        SetProgressPosition,
        ShowError,
        Finished, // number: the walk's result code
    };
    Kind kind = AppendRow;
    int number = 0;
    QString text;
};

using ScanChanges = std::deque<ScanChange>;

class ScanHandOver : public ScanOutput {
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
    // The walk's last change.
    void finish(int resultCode);

    // --- UI side ---
    // Moves every waiting change to the end of `into`.
    void takeAll(ScanChanges& into);
    // Like takeAll, but first waits until at least one change is waiting.
    void waitAndTakeAll(ScanChanges& into);
    // Lets a worker that waits in showError go on.
    void answerError();

private:
    void push(ScanChange change);

    WakeUp m_wakeUp;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    ScanChanges m_queue;
    bool m_wakeUpPending = false;
    bool m_errorAnswered = false;
};

} // namespace norvane
