#include "ScanHandOver.h"

#include <utility>

namespace norvane {

ScanHandOver::ScanHandOver(WakeUp wakeUp) : m_wakeUp(std::move(wakeUp)) {}

void ScanHandOver::appendRow() {
    push({ScanChange::AppendRow, 0, {}});
}

void ScanHandOver::setCaption(const QString& caption) {
    push({ScanChange::SetCaption, 0, caption});
}

void ScanHandOver::setImage(int image) {
    push({ScanChange::SetImage, image, {}});
}

void ScanHandOver::addSubItem(const QString& text) {
    push({ScanChange::AddSubItem, 0, text});
}

void ScanHandOver::setProgressMax(int maximum) {
    push({ScanChange::SetProgressMax, maximum, {}});
}

void ScanHandOver::setProgressPosition(int position) {
    push({ScanChange::SetProgressPosition, position, {}});
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

void ScanHandOver::finish(int resultCode) {
    push({ScanChange::Finished, resultCode, {}});
}

void ScanHandOver::push(ScanChange change) {
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(change));
        wake = !m_wakeUpPending;
        m_wakeUpPending = true;
    }
    m_changed.notify_all();
    if (wake && m_wakeUp)
        m_wakeUp();
}

void ScanHandOver::takeAll(ScanChanges& into) {
    std::lock_guard lock(m_mutex);
    if (into.empty())
        std::swap(into, m_queue);
    while (!m_queue.empty()) {
        into.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
    m_wakeUpPending = false;
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
