#include "NtlmMessages.h"

#include "ByteReader.h"

#include <algorithm>
#include <array>

namespace norvane::smb2 {

namespace {

constexpr std::array<std::uint8_t, 8> Signature{'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
constexpr std::uint32_t TypeNegotiate = 1;
constexpr std::uint32_t TypeChallenge = 2;

constexpr std::uint32_t FlagOem = 0x00000002;
constexpr std::uint32_t FlagRequestTarget = 0x00000004;
constexpr std::uint32_t FlagNtlm = 0x00000200;
constexpr std::uint32_t FlagAlwaysSign = 0x00008000;
constexpr std::uint32_t FlagExtendedSessionSecurity = 0x00080000;
constexpr std::uint32_t Flag128 = 0x20000000;
constexpr std::uint32_t FlagKeyExchange = 0x40000000;
constexpr std::uint32_t Flag56 = 0x80000000;
constexpr std::uint8_t NtlmRevision = 15;

constexpr std::size_t ChallengeMinimumBytes = 32; // up to the server challenge
constexpr std::size_t ChallengeTargetInfoEnd = 48;
constexpr std::size_t ChallengeVersionEnd = 56;
constexpr std::size_t AvPairHeaderBytes = 4;

enum AvId : std::uint16_t {
    AvEol = 0,
    AvNbComputerName = 1,
    AvNbDomainName = 2,
    AvDnsComputerName = 3,
    AvDnsDomainName = 4,
    AvDnsTreeName = 5,
};

// The bytes a (length, maximum length, offset) field names, when they lie
// inside the message.
std::optional<std::span<const std::uint8_t>> fieldBytes(const ByteReader& in, std::size_t field) {
    const std::size_t length = in.u16(field);
    const std::size_t offset = in.u32(field + 4);
    if (!in.has(offset, length))
        return std::nullopt;
    return in.bytes(offset, length);
}

QString utf16Text(std::span<const std::uint8_t> bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() / 2));
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8)));
    return text;
}

// A name of the target information: UTF-16, even in length and bounded.
QString avName(std::span<const std::uint8_t> value) {
    if (value.size() % 2 != 0 || value.size() / 2 > MaxAvNameUnits)
        return {};
    return utf16Text(value);
}

void readTargetInfo(std::span<const std::uint8_t> info, NtlmChallenge& challenge) {
    const ByteReader in(info);
    std::size_t offset = 0;
    for (std::size_t pairs = 0; pairs < MaxAvPairs && in.has(offset, AvPairHeaderBytes); ++pairs) {
        const std::uint16_t id = in.u16(offset);
        const std::size_t length = in.u16(offset + 2);
        offset += AvPairHeaderBytes;
        if (id == AvEol || !in.has(offset, length))
            return;
        QString* name = nullptr;
        switch (id) {
        case AvNbComputerName:
            name = &challenge.netbiosComputer;
            break;
        case AvNbDomainName:
            name = &challenge.netbiosDomain;
            break;
        case AvDnsComputerName:
            name = &challenge.dnsComputer;
            break;
        case AvDnsDomainName:
            name = &challenge.dnsDomain;
            break;
        case AvDnsTreeName:
            name = &challenge.dnsTree;
            break;
        default:
            break;
        }
        // A repeated pair does not overwrite the first.
        if (name && name->isEmpty())
            *name = avName(in.bytes(offset, length));
        offset += length;
    }
}

} // namespace

std::vector<std::uint8_t> ntlmNegotiateMessage() {
    // Signature, type, flags, two empty fields and the version.
    constexpr std::size_t NegotiateMessageBytes = 40;
    ByteWriter out;
    out.reserve(NegotiateMessageBytes);
    out.bytes(Signature);
    out.u32(TypeNegotiate);
    out.u32(NtlmFlagUnicode | FlagOem | FlagRequestTarget | FlagNtlm | FlagAlwaysSign |
            FlagExtendedSessionSecurity | NtlmFlagVersion | Flag128 | FlagKeyExchange | Flag56);
    out.zeros(8); // no domain name
    out.zeros(8); // no workstation name
    // Version: no operating system given, the protocol revision only.
    out.zeros(7);
    out.u8(NtlmRevision);
    return out.take();
}

bool isNtlmMessage(std::span<const std::uint8_t> token) {
    return token.size() >= Signature.size() &&
           std::equal(Signature.begin(), Signature.end(), token.begin());
}

std::optional<NtlmChallenge> parseNtlmChallenge(std::span<const std::uint8_t> token) {
    const ByteReader in(token);
    if (!isNtlmMessage(token) || !in.has(0, ChallengeMinimumBytes) || in.u32(8) != TypeChallenge)
        return std::nullopt;
    NtlmChallenge challenge;
    challenge.flags = in.u32(20);
    if (const auto target = fieldBytes(in, 12)) {
        if (challenge.flags & NtlmFlagUnicode)
            challenge.targetName = avName(*target);
        else if (target->size() <= MaxAvNameUnits)
            challenge.targetName =
                QString::fromLatin1(reinterpret_cast<const char*>(target->data()),
                                    static_cast<qsizetype>(target->size()));
    }
    if ((challenge.flags & NtlmFlagTargetInfo) && in.has(0, ChallengeTargetInfoEnd)) {
        if (const auto info = fieldBytes(in, 40))
            readTargetInfo(*info, challenge);
    }
    if ((challenge.flags & NtlmFlagVersion) && in.has(0, ChallengeVersionEnd))
        challenge.version =
            NtlmVersion{.major = in.u8(48), .minor = in.u8(49), .build = in.u16(50)};
    return challenge;
}

} // namespace norvane::smb2
