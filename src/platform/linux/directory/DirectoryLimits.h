#pragma once

// Time-outs and bounds of the directory source. A domain controller that
// stops answering costs at most one of the time-outs, and every wait also
// ends at once when the caller's cancel descriptor becomes readable.

#include <chrono>
#include <cstddef>

namespace norvane::directory {

using namespace std::chrono_literals;

// One DNS question (the controllers' SRV records, a controller's address).
inline constexpr std::chrono::milliseconds DnsTimeout = 2000ms;
// The TCP connection to a controller's LDAP port.
inline constexpr std::chrono::milliseconds ConnectTimeout = 3000ms;
// The whole SASL bind, every round trip of it.
inline constexpr std::chrono::milliseconds BindTimeout = 5000ms;
// One page of search results, and each of the small base searches.
inline constexpr std::chrono::milliseconds PageTimeout = 10000ms;

inline constexpr int LdapPort = 389;
// Entries per page; a Windows controller returns at most 1000.
inline constexpr int PageSize = 1000;
// The controllers tried in turn when one fails or does not answer.
inline constexpr int MaxControllers = 3;
// A directory larger than this is cut short, with a log line, rather than
// holding an unbounded list.
inline constexpr std::size_t MaxComputers = 200000;
inline constexpr int MaxPages = int(MaxComputers / PageSize) + 1;

// Bytes kept of one attribute value; longer values are cut.
inline constexpr std::size_t MaxValueBytes = 1024;
// Values kept of one attribute (a DNS name's records); the rest are left.
inline constexpr int MaxValuesPerAttribute = 16;
// Names read of the domain's DNS zone.
inline constexpr std::size_t MaxZoneNodes = MaxComputers;
// Characters of a computer name beyond which it is left out.
inline constexpr int MaxNameLength = 64;
inline constexpr int NetBiosNameLength = 15;
// Bytes of a DNS answer read.
inline constexpr std::size_t MaxDnsAnswer = 4096;
inline constexpr int MaxSrvTargets = 16;

// Characters of the reason a failed read gives the user (it may quote a
// controller's own message).
inline constexpr int MaxShownReasonChars = 300;

// A computer whose last log-on is older than this is marked stale.
inline constexpr std::chrono::hours StaleAge = std::chrono::hours(24 * 90);

} // namespace norvane::directory
