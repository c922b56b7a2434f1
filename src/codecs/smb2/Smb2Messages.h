#pragma once

// The two SMB2 requests a client sends before any credential (NEGOTIATE and
// the first SESSION_SETUP) and the server's answers to them. Pure functions
// over the message bytes (no frame header): every offset and length of a
// received message is checked against its real size, and an answer is
// taken only for the command and message id that was asked.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace norvane::smb2 {

constexpr std::size_t HeaderBytes = 64;
constexpr std::uint16_t CommandNegotiate = 0x0000;
constexpr std::uint16_t CommandSessionSetup = 0x0001;
constexpr std::uint32_t StatusSuccess = 0x00000000;
constexpr std::uint32_t StatusMoreProcessingRequired = 0xC0000016;
constexpr std::uint64_t NegotiateMessageId = 0;
constexpr std::uint64_t SessionSetupMessageId = 1;

// The dialects offered, oldest first; 3.1.1 goes with its pre-authentication
// integrity context.
constexpr std::array<std::uint16_t, 5> OfferedDialects{0x0202, 0x0210, 0x0300, 0x0302, 0x0311};

using Guid = std::array<std::uint8_t, 16>;
using Salt = std::array<std::uint8_t, 32>;

std::vector<std::uint8_t> negotiateRequest(const Guid& clientGuid, const Salt& salt);

struct NegotiateResponse {
    std::uint16_t dialect = 0;
    std::uint16_t securityMode = 0;
    Guid serverGuid{};
    std::uint32_t capabilities = 0;
    std::span<const std::uint8_t> securityBuffer; // inside the parsed message
};

// A successful negotiate response to message id 0 choosing an offered
// dialect; nothing otherwise.
std::optional<NegotiateResponse> parseNegotiateResponse(std::span<const std::uint8_t> message);

// The first session setup, carrying `securityBlob`.
std::vector<std::uint8_t> sessionSetupRequest(std::span<const std::uint8_t> securityBlob);

struct SessionSetupResponse {
    std::uint32_t status = 0;
    std::uint64_t sessionId = 0;
    std::span<const std::uint8_t> securityBuffer; // inside the parsed message
};

// A session setup response to message id 1 that asks for more processing
// (the server's challenge); nothing otherwise.
std::optional<SessionSetupResponse>
parseSessionSetupResponse(std::span<const std::uint8_t> message);

} // namespace norvane::smb2
