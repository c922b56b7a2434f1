#pragma once

// A switch that look-ups blocked in poll() watch: while it is on, its
// descriptor is readable, so a poll that includes it ends at once.

#include <atomic>
#include <mutex>

namespace norvane {

class Abandonment {
public:
    Abandonment();
    Abandonment(const Abandonment&) = delete;
    Abandonment& operator=(const Abandonment&) = delete;
    ~Abandonment();

    void set(bool on);
    bool isSet() const { return m_on; }
    // Readable while the switch is on; -1 when none could be made, which
    // poll() ignores: waits then run to their own end.
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    std::mutex m_mutex;
    std::atomic<bool> m_on{false};
};

} // namespace norvane
