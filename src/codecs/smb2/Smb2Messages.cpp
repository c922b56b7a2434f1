#include "Smb2Messages.h"

#include "ByteReader.h"

#include <algorithm>

namespace norvane::smb2 {

namespace {

constexpr std::array<std::uint8_t, 4> ProtocolId{0xFE, 'S', 'M', 'B'};
constexpr std::uint16_t HeaderStructureSize = 64;
constexpr std::uint32_t FlagServerToRedirector = 0x00000001;
constexpr std::uint32_t FlagAsyncCommand = 0x00000002;
constexpr std::uint16_t CreditsAsked = 1;
constexpr std::uint16_t SigningEnabled = 0x0001;

constexpr std::uint16_t NegotiateRequestSize = 36;
constexpr std::uint16_t NegotiateResponseSize = 65;
constexpr std::size_t NegotiateResponseFixedBytes = 64;
constexpr std::uint16_t SessionSetupRequestSize = 25;
constexpr std::size_t SessionSetupRequestFixedBytes = 24;
constexpr std::uint16_t SessionSetupResponseSize = 9;
constexpr std::size_t SessionSetupResponseFixedBytes = 8;

constexpr std::uint16_t PreauthIntegrityContext = 0x0001;
constexpr std::uint16_t HashSha512 = 0x0001;
constexpr std::size_t NegotiateContextAlignment = 8;

void writeHeader(ByteWriter& out, std::uint16_t command, std::uint64_t messageId) {
    out.bytes(ProtocolId);
    out.u16(HeaderStructureSize);
    out.u16(0); // credit charge
    out.u32(0); // status
    out.u16(command);
    out.u16(CreditsAsked);
    out.u32(0); // flags
    out.u32(0); // next command
    out.u64(messageId);
    out.u32(0);    // reserved
    out.u32(0);    // tree id
    out.u64(0);    // session id
    out.zeros(16); // signature
}

struct Header {
    std::uint32_t status = 0;
    std::uint64_t sessionId = 0;
};

// The header of a single, synchronous answer from a server to `command`
// with `messageId`.
std::optional<Header> readHeader(const ByteReader& in, std::uint16_t command,
                                 std::uint64_t messageId) {
    if (!in.has(0, HeaderBytes) ||
        !std::equal(ProtocolId.begin(), ProtocolId.end(), in.bytes(0, ProtocolId.size()).begin()))
        return std::nullopt;
    const std::uint32_t flags = in.u32(16);
    if (in.u16(4) != HeaderStructureSize || in.u16(12) != command ||
        (flags & FlagServerToRedirector) == 0 || (flags & FlagAsyncCommand) != 0 ||
        in.u32(20) != 0 || in.u64(24) != messageId)
        return std::nullopt;
    return Header{.status = in.u32(8), .sessionId = in.u64(40)};
}

// The buffer an offset (from the header's start) and length name, when it
// lies inside the message after the fixed part of the body.
std::optional<std::span<const std::uint8_t>>
securityBuffer(const ByteReader& in, std::size_t offset, std::size_t length, std::size_t fixedEnd) {
    if (length == 0)
        return std::span<const std::uint8_t>();
    if (offset < fixedEnd || !in.has(offset, length))
        return std::nullopt;
    return in.bytes(offset, length);
}

} // namespace

std::vector<std::uint8_t> negotiateRequest(const Guid& clientGuid, const Salt& salt) {
    ByteWriter out;
    writeHeader(out, CommandNegotiate, NegotiateMessageId);
    out.u16(NegotiateRequestSize);
    out.u16(static_cast<std::uint16_t>(OfferedDialects.size()));
    out.u16(SigningEnabled);
    out.u16(0); // reserved
    out.u32(0); // capabilities
    out.bytes(clientGuid);
    const std::size_t contextFields = out.size();
    out.u32(0); // negotiate context offset, filled below
    out.u16(1); // negotiate context count
    out.u16(0); // reserved
    for (const std::uint16_t dialect : OfferedDialects)
        out.u16(dialect);
    out.zeros((NegotiateContextAlignment - out.size() % NegotiateContextAlignment) %
              NegotiateContextAlignment);
    const auto contextOffset = static_cast<std::uint32_t>(out.size());
    out.u16(PreauthIntegrityContext);
    out.u16(static_cast<std::uint16_t>(6 + salt.size())); // data length
    out.u32(0);                                           // reserved
    out.u16(1);                                           // hash algorithm count
    out.u16(static_cast<std::uint16_t>(salt.size()));
    out.u16(HashSha512);
    out.bytes(salt);
    auto message = out.take();
    for (std::size_t i = 0; i < 4; ++i)
        message[contextFields + i] = static_cast<std::uint8_t>(contextOffset >> (8 * i));
    return message;
}

std::optional<NegotiateResponse> parseNegotiateResponse(std::span<const std::uint8_t> message) {
    const ByteReader in(message);
    const auto header = readHeader(in, CommandNegotiate, NegotiateMessageId);
    if (!header || header->status != StatusSuccess ||
        !in.has(HeaderBytes, NegotiateResponseFixedBytes) ||
        in.u16(HeaderBytes) != NegotiateResponseSize)
        return std::nullopt;
    const std::uint16_t dialect = in.u16(HeaderBytes + 4);
    if (std::find(OfferedDialects.begin(), OfferedDialects.end(), dialect) == OfferedDialects.end())
        return std::nullopt;
    const auto buffer = securityBuffer(in, in.u16(HeaderBytes + 56), in.u16(HeaderBytes + 58),
                                       HeaderBytes + NegotiateResponseFixedBytes);
    if (!buffer)
        return std::nullopt;
    NegotiateResponse response{.dialect = dialect,
                               .securityMode = in.u16(HeaderBytes + 2),
                               .serverGuid = {},
                               .capabilities = in.u32(HeaderBytes + 24),
                               .securityBuffer = *buffer};
    const auto guid = in.bytes(HeaderBytes + 8, response.serverGuid.size());
    std::copy(guid.begin(), guid.end(), response.serverGuid.begin());
    return response;
}

std::vector<std::uint8_t> sessionSetupRequest(std::span<const std::uint8_t> securityBlob) {
    ByteWriter out;
    writeHeader(out, CommandSessionSetup, SessionSetupMessageId);
    out.u16(SessionSetupRequestSize);
    out.u8(0); // flags
    out.u8(static_cast<std::uint8_t>(SigningEnabled));
    out.u32(0); // capabilities
    out.u32(0); // channel
    out.u16(static_cast<std::uint16_t>(HeaderBytes + SessionSetupRequestFixedBytes));
    out.u16(static_cast<std::uint16_t>(std::min<std::size_t>(securityBlob.size(), 0xFFFF)));
    out.u64(0); // previous session id
    out.bytes(securityBlob.first(std::min<std::size_t>(securityBlob.size(), 0xFFFF)));
    return out.take();
}

std::optional<SessionSetupResponse>
parseSessionSetupResponse(std::span<const std::uint8_t> message) {
    const ByteReader in(message);
    const auto header = readHeader(in, CommandSessionSetup, SessionSetupMessageId);
    if (!header || header->status != StatusMoreProcessingRequired ||
        !in.has(HeaderBytes, SessionSetupResponseFixedBytes) ||
        in.u16(HeaderBytes) != SessionSetupResponseSize)
        return std::nullopt;
    const auto buffer = securityBuffer(in, in.u16(HeaderBytes + 4), in.u16(HeaderBytes + 6),
                                       HeaderBytes + SessionSetupResponseFixedBytes);
    if (!buffer || buffer->empty())
        return std::nullopt;
    return SessionSetupResponse{
        .status = header->status, .sessionId = header->sessionId, .securityBuffer = *buffer};
}

} // namespace norvane::smb2
