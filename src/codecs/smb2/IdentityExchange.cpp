#include "IdentityExchange.h"

#include "SessionFrame.h"
#include "Spnego.h"

namespace norvane::smb2 {

IdentityExchange::IdentityExchange(const Guid& clientGuid, const Salt& salt, TokenWrapping wrapping)
    : m_clientGuid(clientGuid), m_salt(salt), m_wrapping(wrapping) {}

std::vector<std::uint8_t> IdentityExchange::firstRequest() const {
    return framed(negotiateRequest(m_clientGuid, m_salt));
}

std::vector<std::uint8_t> IdentityExchange::take(std::span<const std::uint8_t> message) {
    switch (m_state) {
    case State::AwaitNegotiate: {
        const auto response = parseNegotiateResponse(message);
        if (!response) {
            m_state = State::Failed;
            return {};
        }
        m_dialect = response->dialect;
        m_state = State::AwaitChallenge;
        const auto token = ntlmNegotiateMessage();
        return framed(
            sessionSetupRequest(m_wrapping == TokenWrapping::Spnego ? negTokenInit(token) : token));
    }
    case State::AwaitChallenge: {
        const auto response = parseSessionSetupResponse(message);
        const auto token = response ? ntlmTokenOf(response->securityBuffer) : std::nullopt;
        m_challenge = token ? parseNtlmChallenge(*token) : std::nullopt;
        m_state = m_challenge ? State::Identified : State::Failed;
        return {};
    }
    case State::Identified:
    case State::Failed:
        break;
    }
    return {};
}

} // namespace norvane::smb2
