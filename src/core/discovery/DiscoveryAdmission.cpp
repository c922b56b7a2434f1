#include "DiscoveryAdmission.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <set>

namespace norvane {

namespace {

// A DNS name at most; NetBIOS names are shorter still.
constexpr std::size_t MaxDiscoveredNameBytes = 63;

bool isAddressText(std::string text) {
    // The resolver takes a trailing dot as the same name.
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    in_addr v4{};
    in6_addr v6{};
    return inet_aton(text.c_str(), &v4) != 0 || inet_pton(AF_INET6, text.c_str(), &v6) == 1;
}

bool isLocalHostName(QString name) {
    name = name.toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost")) ||
           name == QLatin1String("localhost.localdomain") ||
           name == QLatin1String("ip6-localhost") || name == QLatin1String("ip6-loopback");
}

// Letters that show nothing: fillers, blank patterns and joiners that are
// not of the format category.
bool isInvisibleLetter(char32_t c) {
    return c == 0x115F || c == 0x1160 || c == 0x3164 || c == 0xFFA0 || c == 0x2800 || c == 0x034F ||
           (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) || c == 0x17B4 ||
           c == 0x17B5 || c == 0x180E;
}

bool isHiding(char32_t c) {
    if (c == U' ')
        return false;
    if (isInvisibleLetter(c))
        return true;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<QString> discoveredNameRefusal(std::string_view name) {
    if (name.empty())
        return QStringLiteral("no name");
    if (name.size() > MaxDiscoveredNameBytes)
        return QStringLiteral("a name of %1 bytes").arg(name.size());
    const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    if (text.toUtf8() != QByteArray(name.data(), static_cast<qsizetype>(name.size())))
        return QStringLiteral("a name that is not UTF-8");
    if (isAddressText(std::string(name)))
        return QStringLiteral("a name that is an address");
    if (isLocalHostName(text))
        return QStringLiteral("the local host's name");
    const auto codePoints = text.toUcs4();
    const auto hidden = std::find_if(codePoints.begin(), codePoints.end(), isHiding);
    if (hidden != codePoints.end())
        return QStringLiteral("a name with the invisible character U+%1")
            .arg(QString::number(*hidden, 16).toUpper().rightJustified(4, QLatin1Char('0')));
    return std::nullopt;
}

Admission admitHosts(std::span<const DiscoveredHost> found, std::span<const Subnet> subnets,
                     std::size_t maxHosts) {
    Admission admission;
    std::set<std::uint32_t> addresses;
    for (const DiscoveredHost& host : found) {
        const bool answered = host.reach == HostReach::AnsweredFrom;
        std::optional<QString> reason = discoveredNameRefusal(host.name);
        if (!reason && answered && !canBeHostAddress(host.address, subnets))
            reason = QStringLiteral("an address no host can have");
        if (!reason && answered && addresses.count(host.address) != 0)
            reason = QStringLiteral("its address already answered for another computer");
        if (!reason && admission.admitted.size() == maxHosts)
            reason = QStringLiteral("too many computers in one round");
        if (reason) {
            admission.refused.push_back({host, *reason});
            continue;
        }
        if (answered)
            addresses.insert(host.address);
        admission.admitted.push_back(host);
    }
    return admission;
}

} // namespace norvane
