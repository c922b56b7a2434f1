#include "Abandonment.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace norvane {

Abandonment::Abandonment() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Abandonment::~Abandonment() {
    if (m_fd >= 0)
        close(m_fd);
}

void Abandonment::set(bool on) {
    const std::lock_guard lock(m_mutex);
    if (on == m_on)
        return;
    m_on = on;
    if (m_fd < 0)
        return;
    std::uint64_t value = 1;
    // The counter is 0 while off and 1 while on; reading it resets it.
    const ssize_t done = on ? write(m_fd, &value, sizeof value) : read(m_fd, &value, sizeof value);
    (void)done;
}

} // namespace norvane
