#pragma once

// The thread and the cancel of a discovery source's rounds, so that a
// source is only its query and its parser: a round runs on a thread of its
// own from start() until the source's own bounded time ends or cancel()
// fires; results() waits for it. A source holds its runner as its last
// member, so that the round's thread ends before anything it uses.

#include "discovery/DiscoveredHost.h"
#include "linux/Adapters.h"
#include "linux/discovery/RoundCancel.h"

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace norvane {

class SourceRunner {
public:
    // One round over the adapters; returns early once `cancel` fires.
    using Round = std::function<std::vector<DiscoveredHost>(const std::vector<Adapter>& adapters,
                                                            RoundCancel& cancel)>;

    explicit SourceRunner(Round round);
    SourceRunner(const SourceRunner&) = delete;
    SourceRunner& operator=(const SourceRunner&) = delete;
    ~SourceRunner();

    // Ends the round before, if any, and starts one; returns at once.
    void start(const std::vector<Adapter>& adapters);
    // Waits for the round started last and returns what it found; safe from
    // any thread, more than once.
    std::vector<DiscoveredHost> results();
    void cancel();

private:
    Round m_round;
    std::mutex m_roundMutex; // the thread and its results
    std::thread m_thread;
    std::vector<DiscoveredHost> m_results;
    std::mutex m_cancelMutex;
    std::shared_ptr<RoundCancel> m_cancel;
};

} // namespace norvane
