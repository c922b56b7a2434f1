#include "StopRequest.h"

#include <utility>

namespace norvane {

StopRequest::StopRequest(StopFlag poll) : m_poll(std::move(poll)) {}

void StopRequest::request() {
    m_requested = true;
    const std::lock_guard lock(m_listenerMutex);
    if (m_listener)
        m_listener();
}

bool StopRequest::isRequested() const {
    return m_requested || (m_poll && m_poll());
}

void StopRequest::setListener(std::function<void()> listener) {
    {
        const std::lock_guard lock(m_listenerMutex);
        m_listener = std::move(listener);
    }
    // A request that came before the listener still has to reach it.
    if (m_requested)
        request();
}

void StopRequest::clearListener() {
    const std::lock_guard lock(m_listenerMutex);
    m_listener = nullptr;
}

} // namespace norvane
