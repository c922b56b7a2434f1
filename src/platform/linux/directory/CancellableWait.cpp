#include "CancellableWait.h"

#include <poll.h>

#include <cerrno>

namespace norvane::directory {

bool CancellableWait::cancelled() const {
    if (m_cancelFd < 0)
        return false;
    pollfd probe{.fd = m_cancelFd, .events = POLLIN, .revents = 0};
    return poll(&probe, 1, 0) > 0 && (probe.revents & POLLIN) != 0;
}

WaitResult CancellableWait::wait(int fd, bool forWriting, Deadline deadline) const {
    using namespace std::chrono;
    for (;;) {
        pollfd fds[2] = {
            {.fd = fd, .events = short(forWriting ? POLLOUT : POLLIN), .revents = 0},
            {.fd = m_cancelFd, .events = POLLIN, .revents = 0},
        };
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0)
            return cancelled() ? WaitResult::Cancelled : WaitResult::TimedOut;
        // Rounded up so that the last wait does not spin on a zero time-out.
        const int ready = poll(fds, m_cancelFd >= 0 ? 2 : 1, int(left.count()) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return WaitResult::TimedOut;
        if (fds[1].revents & POLLIN)
            return WaitResult::Cancelled;
        if (fds[0].revents != 0)
            return WaitResult::Ready;
    }
}

} // namespace norvane::directory
