#include "StopRequest.h"

#include <utility>

namespace norvane {

StopRequest::StopRequest(StopFlag poll) : m_poll(std::move(poll)) {}

void StopRequest::request() {
    m_requested = true;
    const std::lock_guard lock(m_listenerMutex);
    for (const auto& [id, listener] : m_listeners)
        listener();
}

bool StopRequest::isRequested() const {
    return m_requested || (m_poll && m_poll());
}

StopRequest::ListenerId StopRequest::addListener(std::function<void()> listener) {
    ListenerId id = 0;
    {
        const std::lock_guard lock(m_listenerMutex);
        id = m_nextListener++;
        m_listeners.emplace(id, std::move(listener));
    }
    // A request that came before the listener still has to reach it.
    if (m_requested)
        request();
    return id;
}

void StopRequest::removeListener(ListenerId id) {
    const std::lock_guard lock(m_listenerMutex);
    m_listeners.erase(id);
}

} // namespace norvane
