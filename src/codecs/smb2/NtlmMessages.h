#pragma once

// The NTLMSSP messages of a log-on's first leg: the NEGOTIATE a client sends
// and the CHALLENGE a server answers with, whose target information names
// the server. Nothing here computes a response: the exchange stops at the
// challenge. The parser takes hostile input: every field is checked against
// the message's size, the pairs of the target information are counted and
// bounded, and a name of odd or excessive length is left out.

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace norvane::smb2 {

constexpr std::uint32_t NtlmFlagUnicode = 0x00000001;
constexpr std::uint32_t NtlmFlagTargetInfo = 0x00800000;
constexpr std::uint32_t NtlmFlagVersion = 0x02000000;
// The most pairs read from a target information block, and the longest
// name taken from one (UTF-16 code units; a DNS name has at most 255).
constexpr std::size_t MaxAvPairs = 64;
constexpr std::size_t MaxAvNameUnits = 255;

std::vector<std::uint8_t> ntlmNegotiateMessage();

// Whether `token` starts like an NTLMSSP message.
bool isNtlmMessage(std::span<const std::uint8_t> token);

struct NtlmVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t build = 0;
    bool operator==(const NtlmVersion&) const = default;
};

struct NtlmChallenge {
    std::uint32_t flags = 0;
    QString targetName;
    QString netbiosComputer;
    QString netbiosDomain;
    QString dnsComputer;
    QString dnsDomain;
    QString dnsTree;
    std::optional<NtlmVersion> version;
};

// A CHALLENGE message; nothing when `token` is not one or its fixed part is
// cut short. Fields whose bytes lie outside the message stay empty.
std::optional<NtlmChallenge> parseNtlmChallenge(std::span<const std::uint8_t> token);

} // namespace norvane::smb2
