#pragma once

// The threads of a walk's look-ups: up to a fixed number, started when jobs
// wait and no thread is free, kept until the pool ends. Jobs start in the
// order they were posted. Jobs still waiting when the pool ends never run;
// the pool's end waits for the running ones, so whoever posts a job that
// may block long must first make it return (see LookAhead).

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace norvane {

class LookupPool {
public:
    explicit LookupPool(std::size_t threadLimit);
    LookupPool(const LookupPool&) = delete;
    LookupPool& operator=(const LookupPool&) = delete;
    ~LookupPool();

    void post(std::function<void()> job);
    std::size_t threadCount() const;
    std::size_t threadLimit() const { return m_threadLimit; }

private:
    void serve();

    const std::size_t m_threadLimit;
    mutable std::mutex m_mutex;
    std::condition_variable m_jobWaiting;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    std::size_t m_waitingThreads = 0;
    bool m_closing = false;
};

} // namespace norvane
