#pragma once

// One SMB service that DNS service discovery found and resolved.

#include <cstdint>
#include <string>

namespace norvane {

struct ResolvedService {
    std::string instance;      // the service's instance name, for diagnostics
    std::string host;          // the first label of the host name ("nas" of nas.local)
    std::string domain;        // the domain it was found in ("local")
    std::uint32_t address = 0; // network byte order
    std::uint16_t port = 0;
};

} // namespace norvane
