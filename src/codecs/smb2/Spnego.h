#pragma once

// The SPNEGO wrapping of the NTLMSSP messages in a session setup's security
// buffer: the client's NegTokenInit offering NTLMSSP alone, and the mech
// token of the server's NegTokenResp. The DER reader checks every length
// against what encloses it and reads a fixed path, so no input nests it
// deeper.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace norvane::smb2 {

// A NegTokenInit whose only mechanism is NTLMSSP, carrying `ntlmToken`.
std::vector<std::uint8_t> negTokenInit(std::span<const std::uint8_t> ntlmToken);

// The NTLMSSP message a server's security buffer carries: the response
// token of a NegTokenResp, or the buffer itself when it is a bare NTLMSSP
// message. Nothing when it is neither.
std::optional<std::span<const std::uint8_t>> ntlmTokenOf(std::span<const std::uint8_t> blob);

} // namespace norvane::smb2
