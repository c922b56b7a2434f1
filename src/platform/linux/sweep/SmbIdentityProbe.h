#pragma once

// One non-blocking TCP connection that asks an SMB server who it is: the
// connect, the NEGOTIATE, the SESSION_SETUP carrying an NTLMSSP NEGOTIATE,
// the server's CHALLENGE, then the close. It never waits: its owner polls
// its descriptor for events() and calls handle(), and ends it when its
// time is up. Each handle() reads at most one buffer, so a server that
// floods cannot hold its owner.

#include "smb2/IdentityExchange.h"
#include "smb2/SessionFrame.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace norvane {

class SmbIdentityProbe {
public:
    enum class State {
        Connecting, // the connect is under way
        Exchanging, // connected; requests out or answers awaited
        Ended,      // the socket is closed
    };

    // Starts the connect to `address` (network byte order):`port`. Ended at
    // once when no socket could be made (error() says why) or the connect
    // failed outright.
    SmbIdentityProbe(std::uint32_t address, std::uint16_t port, const smb2::Guid& clientGuid,
                     const smb2::Salt& salt);
    SmbIdentityProbe(const SmbIdentityProbe&) = delete;
    SmbIdentityProbe& operator=(const SmbIdentityProbe&) = delete;
    ~SmbIdentityProbe();

    int fd() const { return m_fd; }
    State state() const { return m_state; }
    int error() const { return m_error; }
    // The server took the connection.
    bool accepted() const { return m_accepted; }
    const std::optional<smb2::NtlmChallenge>& challenge() const { return m_exchange.challenge(); }

    // The poll events the probe waits for (EPOLLIN, EPOLLOUT).
    std::uint32_t events() const;
    // Acts on the events the descriptor reported.
    void handle(std::uint32_t events);
    // Closes the socket, wherever the exchange stands.
    void end();

private:
    void connected();
    void sendPending();
    void receive();
    void queue(std::vector<std::uint8_t> request);

    int m_fd = -1;
    int m_error = 0;
    State m_state = State::Connecting;
    bool m_accepted = false;
    smb2::IdentityExchange m_exchange;
    smb2::FrameAssembler m_frame;
    std::vector<std::uint8_t> m_outgoing;
    std::size_t m_sent = 0;
};

} // namespace norvane
