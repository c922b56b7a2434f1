#pragma once

// Browsing through the desktop's Avahi daemon over D-Bus, which keeps a
// cache of the link's services and answers from it at once.

#include "ResolvedService.h"
#include "linux/Adapters.h"
#include "linux/discovery/RoundCancel.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace norvane {

// The daemon answers from its cache at once. With a cold cache it defers
// its query and responders delay their answers (up to about 250 ms in all
// on a quiet link); the window leaves room for a busy one. The daemon's own
// "all for now" comes only after a second, so the window usually ends the
// browse.
constexpr std::chrono::milliseconds AvahiBrowseWindow{500};
// How long resolutions still running when browsing ends may take.
constexpr std::chrono::milliseconds AvahiResolveWindow{200};

struct AvahiSettings {
    std::chrono::milliseconds browseWindow = AvahiBrowseWindow;
    std::chrono::milliseconds resolveWindow = AvahiResolveWindow;
    std::string service = "_smb._tcp";
};

// The services of the given type that the daemon finds and resolves to an
// IPv4 address on an adapter's network; nothing when no daemon answers, so
// that the caller can ask the network itself.
std::optional<std::vector<ResolvedService>> browseWithAvahi(const std::vector<Adapter>& adapters,
                                                            const AvahiSettings& settings,
                                                            RoundCancel& cancel);

} // namespace norvane
