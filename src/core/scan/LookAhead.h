#pragma once

// The look-ups of one container's items, run ahead of the walk. Every item's
// look-up is posted to the pool at once, in item order, so the first item
// starts first and the pool's thread limit bounds how many run together; the
// walk takes the results one by one in item order. Without a pool every
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

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace norvane {

template <typename Result> class LookAhead {
public:
    using LookUp = std::function<Result(std::size_t)>;

    LookAhead(LookupPool* pool, std::size_t count, LookUp lookUp, StopRequest& stop,
              NetworkPlatform& platform)
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
        for (std::size_t i = 0; i < count; ++i)
            m_pool->post([state = m_state, i] { run(*state, i); });
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
        std::unique_lock lock(m_state->mutex);
        Outcome& outcome = m_state->outcomes[index];
        m_state->changed.wait(
            lock, [&] { return outcome.result || outcome.failure || m_state->stopped; });
        if (outcome.failure)
            std::rethrow_exception(outcome.failure);
        return std::move(outcome.result);
    }

private:
    struct Outcome {
        std::optional<Result> result;
        std::exception_ptr failure;
    };

    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        LookUp lookUp;
        std::vector<Outcome> outcomes;
        std::size_t running = 0;
        bool abandoned = false;
        bool stopped = false;
    };

    static void run(State& state, std::size_t index) {
        {
            const std::lock_guard lock(state.mutex);
            if (state.abandoned || state.stopped)
                return;
            ++state.running;
        }
        Outcome outcome;
        try {
            outcome.result = state.lookUp(index);
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        {
            const std::lock_guard lock(state.mutex);
            state.outcomes[index] = std::move(outcome);
            --state.running;
        }
        state.changed.notify_all();
    }

    std::shared_ptr<State> m_state;
    LookupPool* m_pool;
    StopRequest& m_stop;
    StopRequest::ListenerId m_stopListener = 0;
    NetworkPlatform& m_platform;
};

} // namespace norvane
