#pragma once

// Computers in the address ranges the user named: each range swept on a
// thread of its own (see AddressSweep), and every address that answered
// and gave a name reported at that address. Without ranges a round sends
// nothing.

#include "AddressSweep.h"
#include "linux/Abandonment.h"
#include "linux/discovery/DiscoverySource.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

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
    ~AddressRangeSource() override;

    const char* name() const override { return "address range"; }
    void configure(const SourceOptions& options) override;
    void start(const std::vector<Adapter>& adapters) override;
    std::vector<DiscoveredHost> results() override;
    void cancel() override;
    // Every address of the ranges may be a computer.
    std::size_t maxHostsPerRound() const override;

private:
    SweepOptions m_sweep;
    std::vector<AddressRange> m_ranges; // of the rounds to come
    std::atomic<std::size_t> m_maxHosts{0};
    std::mutex m_roundMutex; // the thread and its results
    std::thread m_thread;
    std::vector<DiscoveredHost> m_results;
    std::mutex m_cancelMutex;
    std::shared_ptr<Abandonment> m_cancel;
};

} // namespace norvane
