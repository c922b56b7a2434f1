#pragma once

// Computers that announce themselves by WS-Discovery: a Probe for devices
// multicast out of every adapter, the matches collected for a fixed time,
// a Resolve for a match without a transport address, and each device's
// metadata fetched over HTTP from the address its reply came from. Devices
// whose metadata names no computer are left out.

#include "linux/discovery/DiscoverySource.h"
#include "linux/discovery/SourceRunner.h"

#include <chrono>

namespace norvane {

constexpr std::uint16_t WsdPort = 3702;
constexpr const char* WsdMulticastGroup = "239.255.255.250";
// Devices answer a Probe after a random delay of up to 500 ms.
constexpr std::chrono::milliseconds WsdMatchCollectTime{700};
// A Probe or Resolve goes out twice, as datagrams may be lost.
constexpr std::chrono::milliseconds WsdRepeatDelay{100};
// How long a Resolve's answer and a metadata fetch may take, each in all.
constexpr std::chrono::milliseconds WsdResolveTimeout{700};
constexpr std::chrono::milliseconds WsdFetchTimeout{1500};
// Devices taken from one round; more are ignored.
constexpr std::size_t WsdMaxDevices = 128;
// Endpoints taken from one address: a computer has one, a multifunction
// box a few; a device announcing thousands gets no more than this.
constexpr std::size_t WsdMaxEndpointsPerAddress = 4;

struct WsdSettings {
    std::uint16_t port = WsdPort;
    std::string destination = WsdMulticastGroup;
    std::chrono::milliseconds collectTime = WsdMatchCollectTime;
    std::chrono::milliseconds resolveTimeout = WsdResolveTimeout;
    std::chrono::milliseconds fetchTimeout = WsdFetchTimeout;
};

class WsdSource : public DiscoverySource {
public:
    explicit WsdSource(WsdSettings settings = {});

    const char* name() const override { return "WS-Discovery"; }
    void start(const std::vector<Adapter>& adapters) override;
    std::vector<DiscoveredHost> results() override;
    void cancel() override;

private:
    const WsdSettings m_settings;
    SourceRunner m_runner; // last: its round uses the settings
};

} // namespace norvane
