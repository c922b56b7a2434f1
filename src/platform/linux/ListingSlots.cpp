#include "ListingSlots.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>

namespace norvane {

ListingSlots::ListingSlots(std::size_t floor, std::size_t ceiling, std::function<bool()> idleCore,
                           std::chrono::milliseconds recheck)
    : m_floor(floor), m_ceiling(ceiling), m_idleCore(std::move(idleCore)), m_recheck(recheck) {}

bool ListingSlots::mayTake() {
    return m_taken < m_floor || (m_taken < m_ceiling && m_idleCore());
}

bool ListingSlots::acquire(const std::function<bool()>& abandoned) {
    std::unique_lock lock(m_mutex);
    bool looking = false;
    ++m_waiting;
    for (;;) {
        const bool gaveUp = abandoned();
        if (gaveUp || mayTake()) {
            --m_waiting;
            if (!gaveUp)
                ++m_taken;
            if (looking)
                m_looking = false;
            // With no one looking, the next waiter looks in its turn (or
            // takes a slot too).
            if (!m_looking && m_waiting > 0)
                m_changed.notify_one();
            return !gaveUp;
        }
        if (!m_looking)
            looking = m_looking = true;
        if (looking)
            m_changed.wait_for(lock, m_recheck);
        else
            m_changed.wait(lock);
    }
}

void ListingSlots::release() {
    {
        const std::lock_guard lock(m_mutex);
        --m_taken;
    }
    m_changed.notify_one();
}

void ListingSlots::wakeAll() {
    {
        // Taken so that a waiter between its check and its wait sees it.
        const std::lock_guard lock(m_mutex);
    }
    m_changed.notify_all();
}

std::optional<long> runnableTasks(std::string_view loadavg) {
    // "0.52 0.58 0.59 3/412 12345": three averages, runnable/all, last pid.
    std::size_t at = 0;
    for (int field = 0; field < 3; ++field) {
        at = loadavg.find(' ', at);
        if (at == std::string_view::npos)
            return std::nullopt;
        ++at;
    }
    const std::string_view rest = loadavg.substr(at);
    long runnable = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), runnable);
    if (error != std::errc() || end == rest.data() || end == rest.data() + rest.size() ||
        *end != '/' || runnable < 0)
        return std::nullopt;
    return runnable;
}

bool idleCoreNow() {
    static const long cores = std::max(1L, static_cast<long>(std::thread::hardware_concurrency()));
    std::ifstream file("/proc/loadavg");
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const std::optional<long> runnable = runnableTasks(text);
    return !runnable || *runnable <= cores;
}

} // namespace norvane
