#include "ScanArchiver.h"

#include "store/StoreError.h"

#include <QtGlobal>

#include <chrono>

namespace norvane {

ScanArchiver::~ScanArchiver() {
    wait();
}

void ScanArchiver::record(StoreSettings settings, ScanContents scan) {
    std::erase_if(m_recordings, [](const std::future<void>& recording) {
        return recording.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    m_recordings.push_back(std::async(
        std::launch::async, [settings = std::move(settings), scan = std::move(scan)]() mutable {
            try {
                recordFinishedScan(settings, std::move(scan));
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
