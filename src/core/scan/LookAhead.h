#pragma once

// The look-ups of one container's items, run ahead of the walk. Jobs on the
// pool take the items in order, so the first item starts first; one job
// runs them while they answer at once, and as soon as the walk waits for a
// look-up that blocks, jobs up to the pool's thread limit run them side by
// side. The walk takes the results one by one in item order. Without a pool every
// look-up runs on the walk's own thread when the walk takes its result.
//
// A stop request wakes a walk waiting in take(), which then gets nothing.
// Ending the look-ahead abandons it: waiting look-ups never start, and when
// some are still running the platform is told to abandon its look-ups,
// which makes their waits end at once, until they have all returned. No
// look-up outlives the look-ahead, so a look-up may refer to anything the
// walk holds while it exists.

#include "LookupPool.h"
#include "StopRequest.h"
#include "platform/NetworkPlatform.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace norvane {

// Look-up jobs a look-ahead starts with.
constexpr std::size_t FirstLookupJobs = 1;
// How long the walk waits for a look-up before it takes it for one that
// blocks and lets the look-ups run on every thread the pool allows.
constexpr std::chrono::milliseconds LookupRampDelay{1};
// Results a walk that had to wait lets arrive before it wakes.
constexpr std::size_t TakeBatch = 32;

template <typename Result> class LookAhead {
public:
    using LookUp = std::function<Result(std::size_t)>;

    // `firstJobs`: jobs to start with; more when the walk waits (take).
    LookAhead(LookupPool* pool, std::size_t count, LookUp lookUp, StopRequest& stop,
              NetworkPlatform& platform, std::size_t firstJobs = FirstLookupJobs)
        : m_state(std::make_shared<State>()), m_pool(pool), m_stop(stop), m_platform(platform) {
        m_state->lookUp = std::move(lookUp);
        m_state->outcomes.resize(count);
        if (m_pool == nullptr)
            return;
        m_stopListener = m_stop.addListener([state = m_state] {
            {
                const std::lock_guard lock(state->mutex);
                state->stopped = true;
            }
            state->changed.notify_all();
        });
        // Jobs that each take the next item until none is left, so that items
        // still start in order and a look-up that answers at once costs no
        // hand-over of its own. Few at first, unless the look-ups are known
        // to wait on the network: more only once the walk finds itself
        // waiting for a look-up (see take), since threads contending for
        // look-ups that answer at once cost more than they save.
        postJobs(std::min({count, firstJobs, m_pool->threadLimit()}));
    }
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

    ~LookAhead() {
        if (m_pool == nullptr)
            return;
        m_stop.removeListener(m_stopListener);
        std::unique_lock lock(m_state->mutex);
        m_state->abandoned = true;
        if (m_state->running == 0)
            return;
        lock.unlock();
        m_platform.abandonLookups();
        lock.lock();
        m_state->changed.wait(lock, [this] { return m_state->running == 0; });
        lock.unlock();
        m_platform.resumeLookups();
    }

    // Item `index`'s result, waiting for it if need be; nothing when a stop
    // was requested before it came. A look-up's exception is thrown here.
    std::optional<Result> take(std::size_t index) {
        if (m_pool == nullptr)
            return m_state->lookUp(index);
        State& state = *m_state;
        std::unique_lock lock(state.mutex);
        const auto arrived = [&] { return state.done(index) || state.stopped; };
        if (!arrived()) {
            // Once it has to wait, the walk lets a batch of results arrive
            // before it wakes, so that look-ups that answer at once cost one
            // hand-over per batch, not one per item; the rest of a batch that
            // has not come within LookupRampDelay holds back nothing.
            const std::size_t last = std::min(index + TakeBatch, state.outcomes.size()) - 1;
            state.awaited = last;
            const bool batch = state.changed.wait_for(lock, LookupRampDelay, [&] {
                return state.stopped || (state.done(index) && state.done(last));
            });
            if (!batch && !arrived()) {
                // A look-up that blocks: every thread the pool allows runs them.
                const std::size_t wanted = std::min(state.outcomes.size(), m_pool->threadLimit());
                state.awaited = index;
                lock.unlock();
                postJobs(wanted > m_jobs ? wanted - m_jobs : 0);
                lock.lock();
                state.changed.wait(lock, arrived);
            }
        }
        state.awaited = NoneAwaited;
        Outcome& outcome = state.outcomes[index];
        if (outcome.failure)
            std::rethrow_exception(outcome.failure);
        return std::move(outcome.result);
    }

private:
    struct Outcome {
        std::optional<Result> result;
        std::exception_ptr failure;
    };

    static constexpr std::size_t NoneAwaited = static_cast<std::size_t>(-1);

    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        LookUp lookUp;
        std::vector<Outcome> outcomes;
        std::size_t next = 0;              // the first item no look-up has taken
        std::size_t awaited = NoneAwaited; // the item the walk waits for
        std::size_t running = 0;
        bool abandoned = false;
        bool stopped = false;

        bool done(std::size_t index) const {
            return outcomes[index].result || outcomes[index].failure;
        }
    };

    // Runs the items' look-ups one after the other, each time the first one
    // not yet taken, until none is left or the look-ahead ends.
    static void runItems(State& state) {
        std::unique_lock lock(state.mutex);
        while (!state.abandoned && !state.stopped && state.next < state.outcomes.size()) {
            const std::size_t index = state.next++;
            ++state.running;
            lock.unlock();
            Outcome outcome;
            try {
                outcome.result = state.lookUp(index);
            } catch (...) {
                outcome.failure = std::current_exception();
            }
            lock.lock();
            state.outcomes[index] = std::move(outcome);
            --state.running;
            // Only the walk waiting for this item (the last of the batch it
            // waits for), or the end waiting for the last running look-up,
            // has anything to wake for.
            if (state.awaited == index || (state.abandoned && state.running == 0))
                state.changed.notify_all();
        }
    }

    void postJobs(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            m_pool->post([state = m_state] { runItems(*state); });
        m_jobs += count;
    }

    std::shared_ptr<State> m_state;
    LookupPool* m_pool;
    std::size_t m_jobs = 0; // posted
    StopRequest& m_stop;
    StopRequest::ListenerId m_stopListener = 0;
    NetworkPlatform& m_platform;
};

} // namespace norvane
