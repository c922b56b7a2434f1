#include "LookupPool.h"

#include <utility>

namespace norvane {

LookupPool::LookupPool(std::size_t threadLimit) : m_threadLimit(threadLimit) {}

LookupPool::~LookupPool() {
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
        m_jobs.clear();
    }
    m_jobWaiting.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void LookupPool::post(std::function<void()> job) {
    const std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    // More jobs waiting than free threads to take them: one more thread.
    if (m_jobs.size() > m_waitingThreads && m_threads.size() < m_threadLimit)
        m_threads.emplace_back([this] { serve(); });
    else
        m_jobWaiting.notify_one();
}

std::size_t LookupPool::threadCount() const {
    const std::lock_guard lock(m_mutex);
    return m_threads.size();
}

void LookupPool::serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_waitingThreads;
        m_jobWaiting.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
        --m_waitingThreads;
        if (m_closing)
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        job = nullptr; // its captures go before the lock is taken again
        lock.lock();
    }
}

} // namespace norvane
