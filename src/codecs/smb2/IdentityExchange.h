#pragma once

// The client's side of an anonymous identification: NEGOTIATE, then a
// SESSION_SETUP carrying only an NTLMSSP NEGOTIATE, then the server's
// CHALLENGE is read and the exchange ends. No AUTHENTICATE is ever built,
// so the server records no log-on. Pure logic over framed messages: the
// caller moves the bytes.

#include "NtlmMessages.h"
#include "Smb2Messages.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace norvane::smb2 {

// How the NTLMSSP NEGOTIATE travels in the session setup: inside an SPNEGO
// NegTokenInit, as clients send it, or bare.
enum class TokenWrapping { Spnego, Raw };

class IdentityExchange {
public:
    enum class State {
        AwaitNegotiate, // the NEGOTIATE request is out
        AwaitChallenge, // the SESSION_SETUP request is out
        Identified,     // challenge() holds the server's CHALLENGE
        Failed,         // the server answered something else
    };

    IdentityExchange(const Guid& clientGuid, const Salt& salt,
                     TokenWrapping wrapping = TokenWrapping::Spnego);

    // The framed NEGOTIATE request that opens the exchange.
    std::vector<std::uint8_t> firstRequest() const;
    // Takes the server's next message (without its frame header) and
    // returns the framed request to send next; empty once the exchange has
    // ended, identified or failed.
    std::vector<std::uint8_t> take(std::span<const std::uint8_t> message);

    State state() const { return m_state; }
    bool finished() const { return m_state == State::Identified || m_state == State::Failed; }
    std::uint16_t dialect() const { return m_dialect; }
    const std::optional<NtlmChallenge>& challenge() const { return m_challenge; }

private:
    Guid m_clientGuid;
    Salt m_salt;
    TokenWrapping m_wrapping;
    State m_state = State::AwaitNegotiate;
    std::uint16_t m_dialect = 0;
    std::optional<NtlmChallenge> m_challenge;
};

} // namespace norvane::smb2
