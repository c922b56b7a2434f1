#include "HostIdentity.h"

#include "ResultRow.h"

#include <algorithm>
#include <cstring>

namespace norvane {

bool EnumLana(NetworkPlatform& platform, std::uint8_t& lanaNum) {
    Ncb ncb;
    std::array<std::uint8_t, LanaEnumSize> lanaEnum{};
    ncb.command = NCBENUM;
    ncb.buffer = lanaEnum.data();
    ncb.length = static_cast<std::uint16_t>(lanaEnum.size());
    const std::uint8_t code = platform.netbios(ncb);
    lanaNum = lanaEnum[1];
    return code == NRC_GOODRET && lanaEnum[0] > 0;
}

bool ResetLana(NetworkPlatform& platform, std::uint8_t lana) {
    Ncb ncb;
    ncb.command = NCBRESET;
    ncb.lanaNum = lana;
    return platform.netbios(ncb) == NRC_GOODRET;
}

std::optional<QString> resolveHostName(NetworkPlatform& platform, const QByteArray& hostName) {
    const std::optional<std::uint32_t> address = platform.getHostByName(hostName.constData());
    if (!address)
        return std::nullopt;
    return QString::fromStdString(NetworkPlatform::inetNtoa(*address));
}

std::array<char, NcbNameSize> makeCallName(const QByteArray& hostName) {
    std::array<char, NcbNameSize> callName;
    callName.fill(' ');
    const auto length =
        std::min<std::size_t>(static_cast<std::size_t>(hostName.size()), NetBiosNameLength);
    std::memcpy(callName.data(), hostName.constData(), length);
    callName[NetBiosNameLength] = '\0';
    return callName;
}

QString macText(const std::uint8_t* address) {
    static const char digits[] = "0123456789ABCDEF";
    constexpr std::size_t Length = 17;
    std::array<char, Length> text{};
    for (std::size_t i = 0; i < 6; ++i) {
        text[i * 3] = digits[address[i] >> 4];
        text[i * 3 + 1] = digits[address[i] & 0x0F];
        if (i < 5)
            text[i * 3 + 2] = '-';
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(Length));
}

std::optional<MacAddress> adapterMac(NetworkPlatform& platform, std::uint8_t lana,
                                     const char* callName) {
    // On the stack: every computer of a walk asks once.
    std::array<std::uint8_t, AdapterStatusBufferSize> buffer;
    buffer.fill(0);
    Ncb ncb;
    ncb.command = NCBASTAT;
    ncb.lanaNum = lana;
    ncb.buffer = buffer.data();
    ncb.length = static_cast<std::uint16_t>(buffer.size());
    // Up to and including the terminating zero, never past the field.
    const std::size_t length = strnlen(callName, NcbNameSize - 1);
    std::memcpy(ncb.callname, callName, length);
    ncb.callname[length] = 0;
    if (platform.netbios(ncb) != NRC_GOODRET)
        return std::nullopt;
    MacAddress mac;
    std::copy_n(buffer.begin(), mac.size(), mac.begin());
    return mac;
}

QString GetMacAddress(NetworkPlatform& platform, std::uint8_t lana, const char* callName) {
    const std::optional<MacAddress> mac = adapterMac(platform, lana, callName);
    return mac ? macText(mac->data()) : QString::fromLatin1(NoMacAddress);
}

std::optional<MacAddress> macFromText(const QString& text) {
    constexpr int Base = 16;
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() != static_cast<qsizetype>(std::tuple_size_v<MacAddress>))
        return std::nullopt;
    MacAddress mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        bool ok = false;
        const uint byte = parts[static_cast<qsizetype>(i)].toUInt(&ok, Base);
        if (!ok || parts[static_cast<qsizetype>(i)].size() != 2 || byte > 0xFF)
            return std::nullopt;
        mac[i] = static_cast<std::uint8_t>(byte);
    }
    return mac;
}

} // namespace norvane
