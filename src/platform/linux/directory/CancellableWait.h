#pragma once

// Waits for a descriptor to become readable or writable until a deadline,
// ending at once when the cancel descriptor becomes readable.

#include <chrono>

namespace norvane::directory {

using Deadline = std::chrono::steady_clock::time_point;

enum class WaitResult { Ready, TimedOut, Cancelled };

class CancellableWait {
public:
    // cancelFd: readable once the caller wants the work ended; -1 for none.
    explicit CancellableWait(int cancelFd) : m_cancelFd(cancelFd) {}

    WaitResult readable(int fd, Deadline deadline) const { return wait(fd, false, deadline); }
    WaitResult writable(int fd, Deadline deadline) const { return wait(fd, true, deadline); }
    bool cancelled() const;
    int cancelFd() const { return m_cancelFd; }

private:
    WaitResult wait(int fd, bool forWriting, Deadline deadline) const;

    int m_cancelFd;
};

inline Deadline deadlineIn(std::chrono::milliseconds timeout) {
    return std::chrono::steady_clock::now() + timeout;
}

} // namespace norvane::directory
