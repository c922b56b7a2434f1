#include "SourceRunner.h"

namespace norvane {

SourceRunner::SourceRunner(Round round) : m_round(std::move(round)) {}

SourceRunner::~SourceRunner() {
    cancel();
    results();
}

void SourceRunner::start(const std::vector<Adapter>& adapters) {
    cancel();
    const std::lock_guard lock(m_roundMutex);
    if (m_thread.joinable())
        m_thread.join();
    m_results.clear();
    auto roundCancel = std::make_shared<RoundCancel>();
    {
        const std::lock_guard cancelLock(m_cancelMutex);
        m_cancel = roundCancel;
    }
    m_thread = std::thread([this, adapters, roundCancel] {
        auto found = m_round(adapters, *roundCancel);
        // results() joins this thread before it reads, so no lock is needed
        // to hand the list over.
        m_results = std::move(found);
    });
}

std::vector<DiscoveredHost> SourceRunner::results() {
    const std::lock_guard lock(m_roundMutex);
    if (m_thread.joinable())
        m_thread.join();
    return m_results;
}

void SourceRunner::cancel() {
    const std::lock_guard lock(m_cancelMutex);
    if (m_cancel)
        m_cancel->cancel();
}

} // namespace norvane
