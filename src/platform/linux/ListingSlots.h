#pragma once

// How many listings run side by side, each in a process of its own. Up to
// a floor they start at once; above it, up to a ceiling, only while a
// processor core is idle. A listing that waits on a slow or silent server
// costs no processor time, so on a network with long round trips the
// listings grow to the ceiling; where the processor is the bound (the
// listing processes' own start, or servers on this machine), more
// processes only take turns with each other, and the floor finishes
// sooner.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

namespace norvane {

// How often a listing that waits above the floor looks again for an idle
// core: short against a listing, which takes a few LAN round trips and a
// server's answer. Listings take slots in the order they asked (the walk's
// order, near enough), and only the first in line looks.
constexpr std::chrono::milliseconds IdleCoreRecheckInterval{10};

class ListingSlots {
public:
    // `idleCore` says whether a core is idle now; it is asked with the
    // slots' lock held, by the first listing in line.
    ListingSlots(std::size_t floor, std::size_t ceiling, std::function<bool()> idleCore,
                 std::chrono::milliseconds recheck = IdleCoreRecheckInterval);

    // Waits for a slot; false, without one, once `abandoned` says so (it is
    // asked whenever the wait wakes: call wakeAll() when it changes).
    bool acquire(const std::function<bool()>& abandoned);
    void release();
    void wakeAll();

private:
    struct Waiter {
        std::condition_variable turn;
    };
    bool mayTake();
    // Wakes the first in line; with m_mutex held.
    void wakeFirst();

    const std::size_t m_floor;
    const std::size_t m_ceiling;
    const std::function<bool()> m_idleCore;
    const std::chrono::milliseconds m_recheck;
    std::mutex m_mutex;
    std::size_t m_taken = 0;     // under m_mutex
    std::deque<Waiter*> m_queue; // under m_mutex: the listings waiting, first come first
};

// The number of runnable tasks in the text of /proc/loadavg (its fourth
// field, before the slash); nothing when the text is not of that form.
std::optional<long> runnableTasks(std::string_view loadavg);

// Whether this machine has a core that no runnable task holds: the task
// that asks is one of the runnable ones. True when the load cannot be read,
// so that listings are never held back by a missing file.
bool idleCoreNow();

} // namespace norvane
