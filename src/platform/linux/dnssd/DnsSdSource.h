#pragma once

// SMB servers that announce themselves by multicast DNS service discovery
// (Macs, Samba with Avahi, NAS boxes): browsed through the desktop's Avahi
// daemon where one runs, else by a one-shot multicast query of our own;
// each host named as NetBIOS names it where it answers a node status, else
// after its DNS-SD host name.

#include "AvahiBrowse.h"
#include "MdnsQuery.h"
#include "linux/NbnsClient.h"
#include "linux/discovery/DiscoverySource.h"
#include "linux/discovery/SourceRunner.h"

namespace norvane {

// The node status that names a host runs after the browse, so its time adds
// to the round's; a host on the link answers within milliseconds.
constexpr std::chrono::milliseconds DnsSdNodeStatusTimeout{100}; // per attempt
constexpr int DnsSdNodeStatusAttempts = 2;

struct DnsSdSettings {
    bool useAvahi = true;
    AvahiSettings avahi;
    MdnsSettings multicast;
    NbnsExchange nodeStatus{.port = 137,
                            .timeout = DnsSdNodeStatusTimeout,
                            .attempts = DnsSdNodeStatusAttempts,
                            .abandonFd = -1,
                            .refusals = &NameServiceRefusals::shared()};
};

class DnsSdSource : public DiscoverySource {
public:
    explicit DnsSdSource(DnsSdSettings settings = {});

    const char* name() const override { return "DNS-SD"; }
    void start(const std::vector<Adapter>& adapters) override;
    std::vector<DiscoveredHost> results() override;
    void cancel() override;

private:
    std::vector<DiscoveredHost> round(const std::vector<Adapter>& adapters,
                                      RoundCancel& cancel) const;

    const DnsSdSettings m_settings;
    SourceRunner m_runner; // last: its round uses the members above
};

} // namespace norvane
