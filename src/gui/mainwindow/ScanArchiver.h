#pragma once

// Records the window's finished scans in the scan store, each on a thread
// of its own so that the window never waits for a database nor copies a
// large list's records itself; the archiver's
// end waits for the recordings under way, so that no scan is lost when the
// window closes. A store that cannot be written is reported on standard
// error and leaves the window as it is.

#include "store/ScanRecorder.h"

#include <future>
#include <memory>
#include <vector>

namespace norvane {

class ScanArchiver {
public:
    ScanArchiver() = default;
    ScanArchiver(const ScanArchiver&) = delete;
    ScanArchiver& operator=(const ScanArchiver&) = delete;
    ~ScanArchiver();

    // The rows are read on the recording's thread; nobody may change them.
    void record(StoreSettings settings, ScanHeader header, std::shared_ptr<const ResultRows> rows);
    // Waits for every recording under way.
    void wait();

private:
    std::vector<std::future<void>> m_recordings;
};

} // namespace norvane
