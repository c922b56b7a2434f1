#include "ScanArchiver.h"

#include "store/StoreError.h"

#include <QtGlobal>

#include <chrono>

namespace norvane {

ScanArchiver::~ScanArchiver() {
    wait();
}

void ScanArchiver::record(StoreSettings settings, ScanHeader header,
                          std::shared_ptr<const ResultRows> rows) {
    std::erase_if(m_recordings, [](const std::future<void>& recording) {
        return recording.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    m_recordings.push_back(
        std::async(std::launch::async, [settings = std::move(settings), header = std::move(header),
                                        rows = std::move(rows)]() mutable {
            // The rows are let go on this thread, not with the future on
            // the UI thread.
            const std::shared_ptr<const ResultRows> recorded = std::move(rows);
            try {
                recordFinishedScan(settings, scanContentsOf(header, *recorded));
            } catch (const StoreError& error) {
                qWarning("norvane: the scan was not recorded: %s", qPrintable(error.message()));
            }
        }));
}

void ScanArchiver::wait() {
    for (std::future<void>& recording : m_recordings)
        recording.wait();
    m_recordings.clear();
}

} // namespace norvane
