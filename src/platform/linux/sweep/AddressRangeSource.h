#pragma once

// Computers in the address ranges the user named: the ranges swept on the
// round's thread (see AddressSweep), and every address that answered
// and gave a name reported at that address. Without ranges a round sends
// nothing.

#include "AddressSweep.h"
#include "linux/discovery/DiscoverySource.h"
#include "linux/discovery/SourceRunner.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace norvane {

// The computer a swept host stands for: named by its node status where that
// gave a name and group, else by the NetBIOS names of its NTLM challenge,
// with the DNS name and OS version of the challenge; nothing when neither
// probe gave a name.
std::optional<DiscoveredHost> discoveredFromSweep(const SweptHost& swept);

class AddressRangeSource : public DiscoverySource {
public:
    // `sweep` gives the time-outs and ports; configure() sets the rate.
    explicit AddressRangeSource(SweepOptions sweep = {});

    const char* name() const override { return "address range"; }
    void configure(const SourceOptions& options) override;
    void start(const std::vector<Adapter>& adapters) override;
    std::vector<DiscoveredHost> results() override;
    void cancel() override;
    // The sweep's node status of a host it reported.
    std::optional<NodeStatusReply> askedNodeStatus(std::uint32_t address) override;
    // Every address of the ranges may be a computer.
    std::size_t maxHostsPerRound() const override;

private:
    std::vector<DiscoveredHost> round(RoundCancel& cancel);

    std::mutex m_optionsMutex; // the options of the rounds to come
    SweepOptions m_sweep;
    std::vector<AddressRange> m_ranges;
    std::atomic<std::size_t> m_maxHosts{0};
    std::mutex m_answersMutex; // the latest round's node status answers
    // Of the reported hosts only, by address (network byte order).
    std::unordered_map<std::uint32_t, std::optional<nbns::NodeStatus>> m_nodeStatus;
    SourceRunner m_runner; // last: its round uses the members above
};

} // namespace norvane
