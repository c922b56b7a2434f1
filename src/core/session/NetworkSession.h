#pragma once

// The program's use of the network stack: the start-up checks that find the
// provider name and the adapter, what every scan needs from them, and the
// clean-up of the sockets when the program ends.

#include "platform/NetworkPlatform.h"
#include "scan/ResultRow.h"
#include "scan/ScanWorker.h"
#include "session/StartupChecks.h"

namespace norvane {

class NetworkSession {
public:
    explicit NetworkSession(NetworkPlatform& platform) : m_platform(platform) {}
    NetworkSession(const NetworkSession&) = delete;
    NetworkSession& operator=(const NetworkSession&) = delete;
    // Cleans up the sockets once the checks have started them.
    ~NetworkSession();

    // Runs every start-up check, showing each failure; false when one
    // failed and the program is to end.
    bool start(const StartupChecks::ShowError& showError);

    NetworkPlatform& platform() const { return m_platform; }
    // What a scan of the given type starts from.
    ScanInputs scanInputs(TResourceType type) const;

private:
    NetworkPlatform& m_platform;
    StartupResult m_checks;
    bool m_started = false;
};

} // namespace norvane
