#pragma once

// Translation of Linux failures into the Windows error numbers that the
// platform interface reports. A failure never maps to success.

#include "platform/NetworkPlatform.h"

#include <cstdint>

namespace norvane {

// Where a directory listing failed: the list of workgroups, a workgroup's
// list of servers, or a server's list of shares.
enum class BrowseLevel { Provider, Workgroup, Server };

// The Windows error of a failed listing, from its errno.
DWORD windowsErrorFromErrno(int error, BrowseLevel level);

// The echo status of a failed send or receive, from its errno.
DWORD echoStatusFromErrno(int error);

// The echo status of an ICMP error message (type and code) that answered a
// request.
DWORD echoStatusFromIcmp(std::uint8_t type, std::uint8_t code);

} // namespace norvane
