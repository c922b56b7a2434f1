#pragma once

// The checks of the network stack made while the main window is created:
// provider name, sockets, NetBIOS adapter enumeration and, on the NT family,
// the adapter reset. Every check runs even after an earlier one failed, so
// that each failure shows its own message, in order.

#include "platform/NetworkPlatform.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <utility>

namespace norvane {

namespace startupmessages {
inline constexpr const char* NoProvider = "Microsoft Network not found.";
inline constexpr const char* NoSockets = "Could not initialize Winsock.";
inline constexpr const char* NoAdapter = "Problem with network adapter.";
inline constexpr const char* ResetFailed = "Reset Lana error.";
} // namespace startupmessages

constexpr std::uint16_t SocketsVersion = 0x0101;

struct StartupResult {
    QByteArray providerName; // empty when the query failed
    std::uint8_t lanaNum = 0;
    bool doomed = false; // a check failed: the window is not to be shown
};

class StartupChecks {
public:
    using ShowError = std::function<void(const QString& text)>;

    StartupChecks(NetworkPlatform& platform, ShowError showError)
        : m_platform(platform), m_showError(std::move(showError)) {}

    StartupResult run();

private:
    void fail(StartupResult& result, const char* message);

    NetworkPlatform& m_platform;
    ShowError m_showError;
};

} // namespace norvane
