#pragma once

// A walk's stop request. Any thread may set it; the walk reads it at its stop
// points. A walk that waits for look-ups registers a listener, so that the
// request wakes it at once instead of at the end of the look-up.

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

namespace norvane {

using StopFlag = std::function<bool()>;

class StopRequest {
public:
    StopRequest() = default;
    // Also counts as requested whenever `poll` returns true. A polled flag is
    // read at the stop points only; it wakes no waiting walk.
    explicit StopRequest(StopFlag poll);
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    void request();
    bool isRequested() const;

    // While a listener is added, every request() calls it on the requesting
    // thread, and adding it after a request calls them all again, so a
    // listener must bear being called more than once. A walk waiting for
    // look-ups within look-ups adds one for each. Removing one returns only
    // when no call of it is running.
    using ListenerId = unsigned;
    ListenerId addListener(std::function<void()> listener);
    void removeListener(ListenerId id);

private:
    StopFlag m_poll;
    std::atomic<bool> m_requested{false};
    std::mutex m_listenerMutex;
    std::map<ListenerId, std::function<void()>> m_listeners;
    ListenerId m_nextListener = 0;
};

} // namespace norvane
