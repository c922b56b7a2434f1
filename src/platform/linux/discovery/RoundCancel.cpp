#include "RoundCancel.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace norvane {

RoundCancel::RoundCancel() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

RoundCancel::~RoundCancel() {
    if (m_fd >= 0)
        close(m_fd);
}

void RoundCancel::cancel() {
    m_cancelled = true;
    if (m_fd >= 0) {
        const std::uint64_t one = 1;
        // A full counter is readable already; nothing else can go wrong.
        (void)write(m_fd, &one, sizeof one);
    }
    const std::lock_guard lock(m_wakeMutex);
    if (m_wake)
        m_wake();
}

void RoundCancel::setWake(std::function<void()> wake) {
    const std::lock_guard lock(m_wakeMutex);
    m_wake = std::move(wake);
    if (m_wake && m_cancelled)
        m_wake();
}

} // namespace norvane
