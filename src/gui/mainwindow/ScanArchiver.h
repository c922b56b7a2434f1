#pragma once

// Records the window's finished scans in the scan store, each on a thread
// of its own so that the window never waits for a database; the archiver's
// end waits for the recordings under way, so that no scan is lost when the
// window closes. A store that cannot be written is reported on standard
// error and leaves the window as it is.

#include "store/ScanRecorder.h"

#include <future>
#include <vector>

namespace norvane {

class ScanArchiver {
public:
    ScanArchiver() = default;
    ScanArchiver(const ScanArchiver&) = delete;
    ScanArchiver& operator=(const ScanArchiver&) = delete;
    ~ScanArchiver();

    void record(StoreSettings settings, ScanContents scan);
    // Waits for every recording under way.
    void wait();

private:
    std::vector<std::future<void>> m_recordings;
};

} // namespace norvane
