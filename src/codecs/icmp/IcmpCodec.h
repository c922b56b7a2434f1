#pragma once

// The ICMP echo messages the platform sends and reads: the echo request, and
// the classification of whatever a socket hands back as the reply to one
// request, an ICMP error about it, or something to ignore (and why). Pure
// functions over bytes: every header length is checked against the real size
// of the packet, and an error counts only when the header it quotes is our
// request's.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace norvane::icmp {

constexpr std::uint8_t TypeEchoReply = 0;
constexpr std::uint8_t TypeDestUnreachable = 3;
constexpr std::uint8_t TypeSourceQuench = 4;
constexpr std::uint8_t TypeEchoRequest = 8;
constexpr std::uint8_t TypeTimeExceeded = 11;
constexpr std::uint8_t TypeParameterProblem = 12;
constexpr std::size_t HeaderBytes = 8; // type, code, checksum, identifier, sequence
constexpr std::size_t IpHeaderMinBytes = 20;

// The request an answer must match. The destination is in network byte order.
struct Request {
    std::uint32_t destination = 0;
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
};

// An echo request carrying `data`, checksum filled in.
std::vector<std::uint8_t> echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::span<const std::uint8_t> data);

// What a socket hands over. A raw socket gives whole IP datagrams, ICMP
// errors included, and leaves the identifier alone. A datagram ICMP socket
// gives the ICMP message alone, sets the identifier itself and reports
// errors through its error queue, never as messages.
enum class Framing { IcmpMessage, IpDatagram };

enum class Verdict { EchoReply, Error, Ignored };

enum class IgnoreReason {
    None,
    TooShort,              // shorter than an IP header or an ICMP header
    BadIpHeaderLength,     // IHL below 5 or past the end of the packet
    NotEchoReply,          // another type, our own request looped back among them
    WrongSource,           // an echo reply from another host
    WrongIdentifier,       // an echo reply to another program's request
    WrongSequence,         // an echo reply to an earlier request
    QuoteTooShort,         // an error too short to quote an IP header and 8 bytes
    BadQuotedHeaderLength, // the quoted IP header's IHL is out of range
    QuotesAnotherPacket,   // an error about a packet other than our request
};

struct Answer {
    Verdict verdict = Verdict::Ignored;
    IgnoreReason reason = IgnoreReason::None;
    std::uint8_t type = 0; // of the ICMP message, once there is one to read
    std::uint8_t code = 0;
    std::optional<std::uint8_t> ttl;    // from the IP header, where the packet has one
    std::span<const std::uint8_t> data; // the echoed data of an echo reply
};

// Classifies one received packet from `source` (network byte order) as the
// answer to `request`.
Answer classify(std::span<const std::uint8_t> packet, Framing framing, std::uint32_t source,
                const Request& request);

// A few words on why a packet was ignored, for diagnostics.
std::string_view describe(IgnoreReason reason);

} // namespace norvane::icmp
