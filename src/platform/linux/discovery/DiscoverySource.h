#pragma once

// A way other than the NetBIOS browse list by which computers make
// themselves known (WS-Discovery, DNS-SD). A source runs one round per scan
// alongside the browse-list fetch and reports the SMB hosts it found.

#include "discovery/DiscoveredHost.h"
#include "discovery/DiscoveryAdmission.h"
#include "linux/Adapters.h"
#include "linux/NbnsClient.h"
#include "platform/SourceOptions.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norvane {

class DiscoverySource {
public:
    DiscoverySource() = default;
    DiscoverySource(const DiscoverySource&) = delete;
    DiscoverySource& operator=(const DiscoverySource&) = delete;
    virtual ~DiscoverySource() = default;

    // A short name for diagnostics ("WS-Discovery", "DNS-SD").
    virtual const char* name() const = 0;
    // Takes the user's options for the rounds that follow (a directory's
    // domain, address ranges); most sources have none.
    virtual void configure(const SourceOptions& options) { (void)options; }
    // Starts a round over the given adapters and returns at once; the round
    // ends by itself within the source's own bounded time.
    virtual void start(const std::vector<Adapter>& adapters) = 0;
    // Waits for the round started last to end and returns what it found.
    // Safe to call from any thread, more than once.
    virtual std::vector<DiscoveredHost> results() = 0;
    // Ends a running round early; results() then returns at once.
    virtual void cancel() = 0;
    // Why the round that ended last left out computers the user asked for
    // (a directory that could not be read), to be shown beside the list;
    // nothing when it read what it could. Call after results().
    virtual std::optional<std::string> shortfall() { return std::nullopt; }
    // The node status the round that ended last already asked `address`
    // for (network byte order), with its answer or none; nothing when the
    // source did not ask it. Call after results().
    virtual std::optional<NodeStatusReply> askedNodeStatus(std::uint32_t address) {
        static_cast<void>(address);
        return std::nullopt;
    }
    // The most computers one round of this source may add.
    virtual std::size_t maxHostsPerRound() const { return MaxHostsPerSourceRound; }
};

using DiscoverySources = std::vector<std::unique_ptr<DiscoverySource>>;

} // namespace norvane
