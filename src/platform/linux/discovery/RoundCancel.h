#pragma once

// The way to end a discovery round early from another thread: a flag, a
// descriptor that becomes readable so that a poll() wakes at once, and a
// hook for an event loop that waits in a library of its own.

#include <atomic>
#include <functional>
#include <mutex>

namespace norvane {

class RoundCancel {
public:
    RoundCancel();
    RoundCancel(const RoundCancel&) = delete;
    RoundCancel& operator=(const RoundCancel&) = delete;
    ~RoundCancel();

    void cancel();
    bool cancelled() const { return m_cancelled.load(); }
    // Readable once cancel() was called; -1 when no descriptor could be made,
    // in which case waits end no later than their own deadline.
    int fd() const { return m_fd; }
    // Called by cancel(), and at once when already cancelled; an empty
    // function removes the hook.
    void setWake(std::function<void()> wake);

private:
    std::atomic<bool> m_cancelled{false};
    int m_fd = -1;
    std::mutex m_wakeMutex;
    std::function<void()> m_wake;
};

} // namespace norvane
