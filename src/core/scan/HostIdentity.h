#pragma once

// The two identities of a computer besides its name: the IP address its
// name resolves to and the MAC address its NetBIOS adapter status reports;
// and the NetBIOS adapter preparation done once at start-up.

#include "platform/NetworkPlatform.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace norvane {

constexpr std::size_t NetBiosNameLength = 15;

// Enumerates the NetBIOS adapters; stores the first adapter number in
// lanaNum whatever the outcome. True when the call succeeded and found one.
bool EnumLana(NetworkPlatform& platform, std::uint8_t& lanaNum);

// Resets an adapter. True when the reset succeeded.
bool ResetLana(NetworkPlatform& platform, std::uint8_t lana);

// The host name's first IPv4 address as dotted text, or nothing.
std::optional<QString> resolveHostName(NetworkPlatform& platform, const QByteArray& hostName);

// The 16-byte NetBIOS call name: the host name cut to 15 bytes, padded with
// spaces to 15, then one zero byte.
std::array<char, NcbNameSize> makeCallName(const QByteArray& hostName);

// Six adapter bytes as "00-0A-5E-1F-C2-9B".
QString macText(const std::uint8_t* address);
// The six bytes of such a text; nothing for the placeholder or other text.
std::optional<MacAddress> macFromText(const QString& text);

// The MAC address of the computer answering to the zero-terminated call
// name, or the placeholder when the adapter status query fails.
QString GetMacAddress(NetworkPlatform& platform, std::uint8_t lana, const char* callName);
// The same as bytes; nothing when the query fails.
std::optional<MacAddress> adapterMac(NetworkPlatform& platform, std::uint8_t lana,
                                     const char* callName);

} // namespace norvane
