#include "ListingSlots.h"

#include "ProcText.h"

#include <algorithm>
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

void ListingSlots::wakeFirst() {
    if (!m_queue.empty())
        m_queue.front()->turn.notify_one();
}

bool ListingSlots::acquire(const std::function<bool()>& abandoned) {
    std::unique_lock lock(m_mutex);
    Waiter self;
    m_queue.push_back(&self);
    for (;;) {
        const bool first = m_queue.front() == &self;
        const bool gaveUp = abandoned();
        if (gaveUp || (first && mayTake())) {
            std::erase(m_queue, &self);
            if (!gaveUp)
                ++m_taken;
            // The next in line takes a slot too, or looks in its turn.
            if (first)
                wakeFirst();
            return !gaveUp;
        }
        // At the ceiling only a listing that ends makes room.
        if (first && m_taken < m_ceiling)
            self.turn.wait_for(lock, m_recheck);
        else
            self.turn.wait(lock);
    }
}

void ListingSlots::release() {
    const std::lock_guard lock(m_mutex);
    --m_taken;
    wakeFirst();
}

void ListingSlots::wakeAll() {
    const std::lock_guard lock(m_mutex);
    for (Waiter* waiter : m_queue)
        waiter->turn.notify_one();
}

std::optional<long> runnableTasks(std::string_view loadavg) {
    // "0.52 0.58 0.59 3/412 12345": three averages, runnable/all, last pid.
    for (int field = 0; field < 3; ++field)
        nextField(loadavg);
    const std::string_view counts = nextField(loadavg);
    long runnable = 0;
    if (!parseNumber(counts.substr(0, counts.find('/')), runnable) ||
        counts.find('/') == std::string_view::npos || runnable < 0)
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
