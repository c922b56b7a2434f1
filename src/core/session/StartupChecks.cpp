#include "StartupChecks.h"

#include "scan/HostIdentity.h"

#include <array>
#include <cstring>

namespace norvane {

StartupResult StartupChecks::run() {
    StartupResult result;

    std::array<char, ProviderNameSize> name{};
    DWORD size = ProviderNameSize;
    if (m_platform.getProviderName(WNNC_NET_LANMAN, name.data(), &size) == win::NoError)
        result.providerName =
            QByteArray(name.data(), static_cast<qsizetype>(::strnlen(name.data(), name.size())));
    else
        fail(result, startupmessages::NoProvider);

    if (m_platform.wsaStartup(SocketsVersion) != 0)
        fail(result, startupmessages::NoSockets);

    if (!EnumLana(m_platform, result.lanaNum))
        fail(result, startupmessages::NoAdapter);

    if (m_platform.platformId() == PlatformIdNT && !ResetLana(m_platform, result.lanaNum))
        fail(result, startupmessages::ResetFailed);

    return result;
}

void StartupChecks::fail(StartupResult& result, const char* message) {
    result.doomed = true;
    if (m_showError)
        m_showError(QString::fromLatin1(message));
}

} // namespace norvane
