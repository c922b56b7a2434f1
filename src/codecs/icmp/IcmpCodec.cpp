#include "IcmpCodec.h"

#include <cstring>

namespace norvane::icmp {

namespace {

constexpr std::size_t ChecksumOffset = 2;
constexpr std::size_t IdentifierOffset = 4;
constexpr std::size_t SequenceOffset = 6;
constexpr std::size_t IpTtlOffset = 8;
constexpr std::size_t IpDestinationOffset = 16;
constexpr std::uint8_t IhlMask = 0x0F;
constexpr std::size_t IhlUnitBytes = 4;

std::uint16_t checksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (bytes.size() % 2 != 0)
        sum += static_cast<std::uint32_t>(bytes.back() << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::uint16_t u16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

void putU16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

bool isError(std::uint8_t type) {
    return type == TypeDestUnreachable || type == TypeSourceQuench || type == TypeTimeExceeded ||
           type == TypeParameterProblem;
}

// The length the IP header at the start of `packet` claims, or nothing when
// it is below the minimum or runs past `room`.
std::optional<std::size_t> ipHeaderLength(std::span<const std::uint8_t> packet, std::size_t room) {
    const std::size_t length = static_cast<std::size_t>(packet[0] & IhlMask) * IhlUnitBytes;
    if (length < IpHeaderMinBytes || length > room)
        return std::nullopt;
    return length;
}

Answer ignored(Answer answer, IgnoreReason reason) {
    answer.verdict = Verdict::Ignored;
    answer.reason = reason;
    return answer;
}

// An ICMP error quotes the IP header and the first 8 bytes of the packet it
// is about; it answers us only when that packet was our request.
Answer classifyError(std::span<const std::uint8_t> message, const Request& request, Answer answer) {
    const auto quoted = message.subspan(HeaderBytes);
    if (quoted.size() < IpHeaderMinBytes + HeaderBytes)
        return ignored(answer, IgnoreReason::QuoteTooShort);
    const auto innerHeader = ipHeaderLength(quoted, quoted.size());
    if (!innerHeader)
        return ignored(answer, IgnoreReason::BadQuotedHeaderLength);
    if (*innerHeader + HeaderBytes > quoted.size())
        return ignored(answer, IgnoreReason::QuoteTooShort);
    std::uint32_t innerDestination = 0;
    std::memcpy(&innerDestination, quoted.data() + IpDestinationOffset, sizeof innerDestination);
    const auto inner = quoted.subspan(*innerHeader, HeaderBytes);
    if (innerDestination != request.destination || inner[0] != TypeEchoRequest ||
        u16(inner, IdentifierOffset) != request.identifier ||
        u16(inner, SequenceOffset) != request.sequence)
        return ignored(answer, IgnoreReason::QuotesAnotherPacket);
    answer.verdict = Verdict::Error;
    return answer;
}

} // namespace

std::vector<std::uint8_t> echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> packet(HeaderBytes + data.size(), 0);
    packet[0] = TypeEchoRequest;
    putU16(packet, IdentifierOffset, identifier);
    putU16(packet, SequenceOffset, sequence);
    if (!data.empty())
        std::memcpy(packet.data() + HeaderBytes, data.data(), data.size());
    putU16(packet, ChecksumOffset, checksum(packet));
    return packet;
}

Answer classify(std::span<const std::uint8_t> packet, Framing framing, std::uint32_t source,
                const Request& request) {
    Answer answer;
    auto message = packet;
    if (framing == Framing::IpDatagram) {
        if (packet.size() < IpHeaderMinBytes)
            return ignored(answer, IgnoreReason::TooShort);
        const auto header = ipHeaderLength(packet, packet.size());
        if (!header)
            return ignored(answer, IgnoreReason::BadIpHeaderLength);
        answer.ttl = packet[IpTtlOffset];
        message = packet.subspan(*header);
    }
    if (message.size() < HeaderBytes)
        return ignored(answer, IgnoreReason::TooShort);
    answer.type = message[0];
    answer.code = message[1];
    if (framing == Framing::IpDatagram && isError(answer.type))
        return classifyError(message, request, answer);
    if (answer.type != TypeEchoReply)
        return ignored(answer, IgnoreReason::NotEchoReply);
    if (source != request.destination)
        return ignored(answer, IgnoreReason::WrongSource);
    if (framing == Framing::IpDatagram && u16(message, IdentifierOffset) != request.identifier)
        return ignored(answer, IgnoreReason::WrongIdentifier);
    if (u16(message, SequenceOffset) != request.sequence)
        return ignored(answer, IgnoreReason::WrongSequence);
    answer.verdict = Verdict::EchoReply;
    answer.data = message.subspan(HeaderBytes);
    return answer;
}

std::string_view describe(IgnoreReason reason) {
    switch (reason) {
    case IgnoreReason::None:
        return "not ignored";
    case IgnoreReason::TooShort:
        return "too short";
    case IgnoreReason::BadIpHeaderLength:
        return "IP header length out of range";
    case IgnoreReason::NotEchoReply:
        return "not an echo reply";
    case IgnoreReason::WrongSource:
        return "from another host";
    case IgnoreReason::WrongIdentifier:
        return "another identifier";
    case IgnoreReason::WrongSequence:
        return "another sequence number";
    case IgnoreReason::QuoteTooShort:
        return "error too short to quote a request";
    case IgnoreReason::BadQuotedHeaderLength:
        return "quoted IP header length out of range";
    case IgnoreReason::QuotesAnotherPacket:
        return "error about another packet";
    }
    return "unknown";
}

} // namespace norvane::icmp
