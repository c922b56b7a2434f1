#pragma once

// The NetBIOS name service packets the platform sends and reads: name
// encoding, name query request and response, node status request and
// response. Pure functions over bytes: every length, count and name pointer
// of a received packet is checked against the packet's real size, and an
// answer is accepted only with the transaction id that was asked.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace norvane::nbns {

constexpr std::size_t NetbiosNameBytes = 16; // 15 characters and a suffix byte
constexpr std::size_t EncodedNameBytes = 32;
constexpr std::size_t HeaderBytes = 12;
constexpr std::uint16_t TypeNB = 0x0020;
constexpr std::uint16_t TypeNBSTAT = 0x0021;
constexpr std::uint16_t ClassIN = 0x0001;
constexpr std::uint8_t SuffixWorkstation = 0x00;
constexpr std::uint8_t SuffixServer = 0x20;
constexpr std::size_t UnitIdBytes = 6;
constexpr std::size_t NodeNameEntryBytes = 18;

using NetbiosName = std::array<std::uint8_t, NetbiosNameBytes>;
using UnitId = std::array<std::uint8_t, UnitIdBytes>;

// The 16 name bytes of a host name: upper-cased, padded with spaces to 15,
// then the suffix. Nothing for an empty name or one longer than 15.
std::optional<NetbiosName> netbiosName(std::string_view name, std::uint8_t suffix);

// The wildcard name "*" padded with zero bytes, asked by node status.
NetbiosName wildcardName();

// First-level encoding: each byte as two letters 'A' + nibble.
std::array<std::uint8_t, EncodedNameBytes> encodeName(const NetbiosName& name);

// A name query (type NB); `broadcast` sets the broadcast flag.
std::vector<std::uint8_t> nameQueryRequest(std::uint16_t transactionId, const NetbiosName& name,
                                           bool broadcast);

// A node status request for the wildcard name.
std::vector<std::uint8_t> nodeStatusRequest(std::uint16_t transactionId);

// The IPv4 addresses (network byte order) of a positive name query response
// with the given id that answers `asked`; nothing when the packet is
// malformed, negative, for another id or for another name.
std::optional<std::vector<std::uint32_t>>
parseNameQueryResponse(std::span<const std::uint8_t> packet, std::uint16_t transactionId,
                       const NetbiosName& asked);

struct NodeName {
    NetbiosName name;
    std::uint16_t flags = 0;
};

struct NodeStatus {
    std::vector<NodeName> names;
    UnitId unitId{};
};

// The names and unit ID of a node status response with the given id;
// nothing when the packet is malformed or for another id.
std::optional<NodeStatus> parseNodeStatusResponse(std::span<const std::uint8_t> packet,
                                                  std::uint16_t transactionId);

} // namespace norvane::nbns
