#pragma once

// A one-shot multicast DNS browse of our own, for machines where no Avahi
// daemon runs: queries go from an ephemeral port to the mDNS group out of
// each adapter, and responders answer by unicast to that port, repeating
// the query's id. Only records that answer what was asked count: pointers
// to instances of the browsed service, service records of those instances,
// addresses of those services' hosts; and only from a host on an adapter's
// network.

#include "ResolvedService.h"
#include "linux/Adapters.h"
#include "linux/discovery/RoundCancel.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace norvane {

constexpr std::uint16_t MdnsPort = 5353;
constexpr std::uint32_t MdnsGroup = 0xE00000FB; // 224.0.0.251, host byte order
// Responders delay shared answers by up to 120 ms; the window leaves room
// for that and for a busy host.
constexpr std::chrono::milliseconds MdnsBrowseWindow{300};
// How long each of the two follow-up rounds waits for records that the
// browse answers did not carry (services first, then addresses).
constexpr std::chrono::milliseconds MdnsResolveWindow{150};
// A bound on the instances one round follows, whatever the network says.
constexpr std::size_t MaxServiceInstances = 64;

struct MdnsSettings {
    std::uint32_t group = MdnsGroup; // host byte order
    std::uint16_t port = MdnsPort;
    std::chrono::milliseconds browseWindow = MdnsBrowseWindow;
    std::chrono::milliseconds resolveWindow = MdnsResolveWindow;
    std::string service = "_smb._tcp";
    std::string domain = "local";
};

// Browses the service on every adapter and resolves what answers; ends
// within the browse window and two resolve windows, or at once on cancel.
std::vector<ResolvedService> browseByMulticast(const std::vector<Adapter>& adapters,
                                               const MdnsSettings& settings,
                                               const RoundCancel& cancel);

} // namespace norvane
