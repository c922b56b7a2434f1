#pragma once

// Sweeps IPv4 address ranges for SMB hosts and names each one without
// logging on. Every address gets two probes side by side: a unicast node
// status query on the name service port, and a TCP connect to the SMB
// port; where the connect is taken, an SMB2 NEGOTIATE and a SESSION_SETUP
// carrying an NTLMSSP NEGOTIATE draw the server's CHALLENGE, whose target
// information names it, and the connection is closed. No AUTHENTICATE is
// ever sent, so the server logs no failed log-on.
//
// One thread, one epoll set: new addresses start at a paced rate, open
// connections and addresses in flight are bounded, every probe ends at its
// own time-out, and an address leaves no trace once its probes have ended
// unless it answered. stop() (or the abandon descriptor) ends a run within
// a few milliseconds.

#include "linux/Abandonment.h"
#include "linux/NetbiosIdentity.h"
#include "network/AddressRange.h"
#include "records/ComputerRecord.h"
#include "smb2/NtlmMessages.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace norvane {

constexpr int SweepProbesPerSecond = 1000;
// Connections open at once; a run takes fewer when the process may open
// fewer than twice as many descriptors.
constexpr std::size_t SweepMaxOpenConnections = 512;
constexpr std::size_t SweepMaxAddressesInFlight = 4096;
// Per node status attempt, and attempts for a silent address.
constexpr std::chrono::milliseconds SweepNodeStatusTimeout{500};
constexpr int SweepNodeStatusAttempts = 2;
// Until the SMB port takes the connection, then for the whole exchange.
constexpr std::chrono::milliseconds SweepConnectTimeout{500};
constexpr std::chrono::milliseconds SweepExchangeTimeout{2000};

struct SweepOptions {
    int probesPerSecond = SweepProbesPerSecond; // new addresses started per second
    std::size_t maxOpenConnections = SweepMaxOpenConnections;
    std::chrono::milliseconds nodeStatusTimeout = SweepNodeStatusTimeout;
    int nodeStatusAttempts = SweepNodeStatusAttempts;
    std::chrono::milliseconds connectTimeout = SweepConnectTimeout;
    std::chrono::milliseconds exchangeTimeout = SweepExchangeTimeout;
    std::uint16_t nameServicePort = 137;
    std::uint16_t smbPort = 445;
    int abandonFd = -1; // readable: stop, as stop() does
};

// What one answering address told about itself. A host that answered
// neither probe is never reported.
struct SweptHost {
    std::uint32_t address = 0; // network byte order
    // From node status: the unique and group <00> names, and the unit ID
    // unless it is all zero (Samba sends zeros).
    bool nodeStatusAnswered = false;
    std::optional<NetbiosIdentity> netbios;
    std::optional<MacAddress> mac;
    // The node status answer itself, so that nobody asks the host again.
    std::optional<nbns::NodeStatus> status;
    // The SMB port took the connection; the CHALLENGE when the exchange
    // reached it: NetBIOS and DNS names and domain, and the OS version.
    bool smbAccepted = false;
    std::optional<smb2::NtlmChallenge> ntlm;
};

struct SweepSummary {
    std::uint64_t addressesStarted = 0;
    std::uint64_t hostsFound = 0;
    bool stopped = false;
    std::size_t peakOpenConnections = 0;
    std::size_t peakAddressesInFlight = 0;
};

class AddressSweep {
public:
    using Found = std::function<void(const SweptHost&)>;

    explicit AddressSweep(SweepOptions options = {});

    // Probes every address of `addresses` on the calling thread and hands
    // `found` each answering host as soon as its probes have ended; returns
    // when every probe has ended, or on stop.
    SweepSummary run(AddressSequence& addresses, const Found& found);
    // From any thread: the run under way, or the next one, returns at once.
    void stop() { m_stop.set(true); }

private:
    SweepOptions m_options;
    Abandonment m_stop;
};

} // namespace norvane
