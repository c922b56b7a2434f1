#include "ErrorMap.h"

#include "icmp/IcmpCodec.h"

#include <cerrno>

namespace norvane {

namespace {
// Codes of destination unreachable.
constexpr std::uint8_t UnreachNet = 0;
constexpr std::uint8_t UnreachHost = 1;
constexpr std::uint8_t UnreachProtocol = 2;
constexpr std::uint8_t UnreachPort = 3;
constexpr std::uint8_t UnreachFragNeeded = 4;
constexpr std::uint8_t UnreachSourceRoute = 5;
constexpr std::uint8_t UnreachNetUnknown = 6;
constexpr std::uint8_t UnreachNetIsolated = 8;
constexpr std::uint8_t UnreachNetProhibited = 9;
constexpr std::uint8_t UnreachNetTos = 11;
} // namespace

DWORD windowsErrorFromErrno(int error, BrowseLevel level) {
    const bool server = level == BrowseLevel::Server;
    switch (error) {
    case EACCES:
        return win::AccessDenied;
    case EPERM:
        // The library's word for a session it could not set up: the server
        // refused the log-on itself.
        return server ? win::LogonFailure : win::AccessDenied;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        // No master browser answered for the network or the workgroup; a
        // server that cannot be found is a bad network path.
        return server ? win::BadNetPath : win::NoBrowserServersFound;
    case ETIMEDOUT:
        return server ? win::BadNetPath : win::Timeout;
    case ECONNREFUSED:
        return server ? win::BadNetPath : win::ConnectionRefused;
    case EHOSTUNREACH:
        return win::HostUnreachable;
    case ENETUNREACH:
        return win::NetUnreachable;
    case ENOMEM:
        return win::NotEnoughMemory;
    case EINVAL:
        return win::InvalidParameter;
    case EBUSY:
        return win::NetworkBusy;
    case ENOTDIR:
        return win::NotContainer;
    default:
        return win::UnexpectedNetError;
    }
}

DWORD echoStatusFromErrno(int error) {
    switch (error) {
    case EMSGSIZE:
        return IP_PACKET_TOO_BIG;
    case ENETUNREACH:
    case ENETDOWN:
        return IP_DEST_NET_UNREACHABLE;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return IP_DEST_HOST_UNREACHABLE;
    case ECONNREFUSED:
        return IP_DEST_PORT_UNREACHABLE;
    case ETIMEDOUT:
        return IP_REQ_TIMED_OUT;
    case ENOBUFS:
    case ENOMEM:
        return IP_NO_RESOURCES;
    case EPROTO:
        return IP_DEST_PROT_UNREACHABLE;
    default:
        return IP_GENERAL_FAILURE;
    }
}

DWORD echoStatusFromIcmp(std::uint8_t type, std::uint8_t code) {
    switch (type) {
    case icmp::TypeDestUnreachable:
        switch (code) {
        case UnreachNet:
        case UnreachNetUnknown:
        case UnreachNetIsolated:
        case UnreachNetProhibited:
        case UnreachNetTos:
            return IP_DEST_NET_UNREACHABLE;
        case UnreachProtocol:
            return IP_DEST_PROT_UNREACHABLE;
        case UnreachPort:
            return IP_DEST_PORT_UNREACHABLE;
        case UnreachFragNeeded:
            return IP_PACKET_TOO_BIG;
        case UnreachSourceRoute:
            return IP_BAD_ROUTE;
        case UnreachHost:
        default:
            return IP_DEST_HOST_UNREACHABLE;
        }
    case icmp::TypeSourceQuench:
        return IP_SOURCE_QUENCH;
    case icmp::TypeTimeExceeded:
        return code == 0 ? IP_TTL_EXPIRED_TRANSIT : IP_TTL_EXPIRED_REASSEM;
    case icmp::TypeParameterProblem:
        return IP_PARAM_PROBLEM;
    default:
        return IP_GENERAL_FAILURE;
    }
}

} // namespace norvane
