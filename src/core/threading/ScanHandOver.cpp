#include "ScanHandOver.h"

#include <iterator>
#include <utility>

namespace norvane {

ScanHandOver::ScanHandOver(WakeUp wakeUp) : m_wakeUp(std::move(wakeUp)) {}

void ScanHandOver::push(ScanChange change) {
    // What the worker waits for, and the walk's end, are not left for the
    // UI thread's next return.
    const bool urgent =
        change.kind == ScanChange::ShowError || change.kind == ScanChange::FindRemembered ||
        change.kind == ScanChange::AskCredentials || change.kind == ScanChange::Finished;
    std::lock_guard lock(m_mutex);
    pushLocked(ScanItem(std::move(change)), urgent);
}

template <typename Change> void ScanHandOver::changeRow(ScanChange::Kind kind, Change change) {
    std::lock_guard lock(m_mutex);
    // The row's item joins the queue with its first change; later changes
    // join it there until the UI thread has taken it.
    if (!m_queue.empty() && m_queue.back().canTake(kind))
        change(m_queue.back());
    else
        change(pushLocked(ScanItem(ScanItem::RowContinued)));
}

ScanItem& ScanHandOver::pushLocked(ScanItem item, bool urgent) {
    // Everything happens under the lock, so that once the UI thread has
    // taken the last change, the worker no longer touches this object.
    m_queue.push_back(std::move(item));
    m_changed.notify_all();
    if (!m_wakeUpPending && (urgent || !m_takerReturns)) {
        m_wakeUpPending = true;
        if (m_wakeUp)
            m_wakeUp();
    }
    return m_queue.back();
}

void ScanHandOver::appendRow() {
    std::lock_guard lock(m_mutex);
    pushLocked(ScanItem(ScanItem::NewRow));
}

void ScanHandOver::setCaption(const QString& caption) {
    changeRow(ScanChange::SetCaption, [&](ScanItem& item) { item.setCaption(caption); });
}

void ScanHandOver::setImage(int image) {
    changeRow(ScanChange::SetImage, [&](ScanItem& item) { item.setImage(image); });
}

void ScanHandOver::addSubItem(const QString& text) {
    changeRow(ScanChange::AddSubItem, [&](ScanItem& item) { item.addSubItem(text); });
}

void ScanHandOver::setProgressMax(int maximum) {
    push({ScanChange::SetProgressMax, maximum, {}});
}

void ScanHandOver::setProgressPosition(int position) {
    push({ScanChange::SetProgressPosition, position, {}});
}

void ScanHandOver::setComputerRecord(std::shared_ptr<const ComputerRecord> record) {
    changeRow(ScanChange::SetRecord,
              [&](ScanItem& item) { item.setRecord(std::move(record), nullptr); });
}

void ScanHandOver::setShareRecord(std::shared_ptr<const ShareRecord> record) {
    changeRow(ScanChange::SetRecord,
              [&](ScanItem& item) { item.setRecord(nullptr, std::move(record)); });
}

void ScanHandOver::showError(const QString& text) {
    {
        std::lock_guard lock(m_mutex);
        m_errorAnswered = false;
    }
    push({ScanChange::ShowError, 0, text});
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_errorAnswered; });
}

std::optional<Credentials> ScanHandOver::remembered(const QString& group) {
    std::optional<CredentialAnswer> answer = request({ScanChange::FindRemembered, 0, group});
    if (!answer)
        return std::nullopt;
    return std::move(answer->credentials);
}

std::optional<CredentialAnswer> ScanHandOver::ask(const CredentialRequest& request) {
    ScanChange change(ScanChange::AskCredentials, 0, request.computer);
    change.logOn = std::make_shared<const LogOnDetails>(
        LogOnDetails{.group = request.group, .user = request.user, .credentials = {}});
    return this->request(std::move(change));
}

void ScanHandOver::remember(const QString& group, const Credentials& credentials) {
    ScanChange change(ScanChange::Remember, 0, group);
    change.logOn = std::make_shared<const LogOnDetails>(
        LogOnDetails{.group = {}, .user = {}, .credentials = credentials});
    push(std::move(change));
}

std::optional<CredentialAnswer> ScanHandOver::request(ScanChange change) {
    {
        std::lock_guard lock(m_mutex);
        m_credentialsAnswered = false;
        m_credentialAnswer.reset();
    }
    push(std::move(change));
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_credentialsAnswered; });
    return std::exchange(m_credentialAnswer, std::nullopt);
}

void ScanHandOver::answerCredentials(std::optional<CredentialAnswer> answer) {
    {
        std::lock_guard lock(m_mutex);
        m_credentialAnswer = std::move(answer);
        m_credentialsAnswered = true;
    }
    m_changed.notify_all();
}

void ScanHandOver::logOnRefused(const QString& computer) {
    std::lock_guard lock(m_mutex);
    m_logOnRefusals << computer;
}

QStringList ScanHandOver::logOnRefusals() const {
    std::lock_guard lock(m_mutex);
    return m_logOnRefusals;
}

void ScanHandOver::sourceIncomplete(const QString& reason) {
    std::lock_guard lock(m_mutex);
    m_incompleteSources << reason;
}

QStringList ScanHandOver::incompleteSources() const {
    std::lock_guard lock(m_mutex);
    return m_incompleteSources;
}

void ScanHandOver::finish(int resultCode) {
    push({ScanChange::Finished, resultCode, {}});
}

void ScanHandOver::takeAll(ScanItems& into) {
    std::lock_guard lock(m_mutex);
    takeLocked(into);
    m_takerReturns = false;
}

bool ScanHandOver::takeAllAndReturn(ScanItems& into) {
    std::lock_guard lock(m_mutex);
    m_takerReturns = !m_queue.empty();
    takeLocked(into);
    return m_takerReturns;
}

void ScanHandOver::takeLocked(ScanItems& into) {
    if (into.empty()) {
        // The taker's emptied list keeps its capacity for the next items.
        std::swap(into, m_queue);
    } else {
        into.insert(into.end(), std::make_move_iterator(m_queue.begin()),
                    std::make_move_iterator(m_queue.end()));
        m_queue.clear();
    }
    m_wakeUpPending = false;
}

bool ScanHandOver::waitAndTakeAll(ScanItems& into, std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, timeout, [this] { return !m_queue.empty(); }))
            return false;
    }
    takeAll(into);
    return true;
}

void ScanHandOver::takeAll(ScanChanges& into) {
    ScanItems items;
    takeAll(items);
    for (const ScanItem& item : items)
        item.appendChangesTo(into);
}

void ScanHandOver::waitAndTakeAll(ScanChanges& into) {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_queue.empty(); });
    }
    takeAll(into);
}

void ScanHandOver::answerError() {
    {
        std::lock_guard lock(m_mutex);
        m_errorAnswered = true;
    }
    m_changed.notify_all();
}

} // namespace norvane
