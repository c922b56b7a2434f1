#include "NetworkSession.h"

namespace norvane {

NetworkSession::~NetworkSession() {
    if (m_started)
        m_platform.wsaCleanup();
}

bool NetworkSession::start(const StartupChecks::ShowError& showError) {
    m_checks = StartupChecks(m_platform, showError).run();
    m_started = true;
    return !m_checks.doomed;
}

ScanInputs NetworkSession::scanInputs(TResourceType type) const {
    return ScanInputs{m_checks.providerName, type, m_checks.lanaNum};
}

} // namespace norvane
