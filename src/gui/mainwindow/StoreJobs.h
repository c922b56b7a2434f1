#pragma once

// Runs the window's reading of the scan store (opening it, listing and
// loading scans, comparing a scan with the previous one) on a thread of
// its own, and hands each answer to its receiver on the UI thread; an
// answer for a receiver that is gone is dropped. A store belongs to the
// thread that opened it, so each job opens its own. The end waits for the
// jobs under way, as the archiver's does.

#include "store/StoreError.h"

#include <QMetaObject>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace norvane {

template <typename Result> struct StoreAnswer {
    std::optional<Result> result;
    QString error; // when there is no result
};

class StoreJobs {
public:
    StoreJobs() = default;
    StoreJobs(const StoreJobs&) = delete;
    StoreJobs& operator=(const StoreJobs&) = delete;
    ~StoreJobs() { wait(); }

    // `work` runs on a thread of its own and may throw StoreError; `done`
    // runs on `receiver`'s thread with its answer.
    template <typename Result>
    void run(QObject* receiver, std::function<Result()> work,
             std::function<void(const StoreAnswer<Result>&)> done) {
        std::erase_if(m_jobs, [](const std::future<void>& job) {
            return job.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
        m_jobs.push_back(std::async(std::launch::async, [receiver, work = std::move(work),
                                                         done = std::move(done)]() mutable {
            auto answer = std::make_shared<StoreAnswer<Result>>();
            try {
                // What the work holds (a scan's rows) is let go on this
                // thread, not with the future on the UI thread.
                const std::function<Result()> job = std::move(work);
                answer->result = job();
            } catch (const StoreError& error) {
                answer->error = error.message();
            }
            // The receiver outlives the job (its owner waits for it), and
            // a posted call dies with the receiver.
            QMetaObject::invokeMethod(
                receiver, [done, answer] { done(*answer); }, Qt::QueuedConnection);
        }));
    }

    void wait() {
        for (std::future<void>& job : m_jobs)
            job.wait();
        m_jobs.clear();
    }

private:
    std::vector<std::future<void>> m_jobs;
};

} // namespace norvane
