#pragma once

// What a listing process (SpawnedLister) reads and writes: a request names
// the server's location, the answer is one frame, its length first, that
// holds the errno of the listing, then each entry's type, name and comment,
// lengths first. The reader bounds every length and count, as for any input
// that came off the network.

#include "SmbBrowser.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane {

// Most entries a listing hands back, and most bytes it may write.
constexpr std::size_t MaxListedEntries = 4096;
constexpr std::size_t MaxListingBytes =
    8 + MaxListedEntries * (5 + MaxBrowseNameBytes + MaxBrowseCommentBytes);

// What a listing process is asked: where the server is, and the log-on
// (none: the user's Kerberos ticket where one fits, else anonymous). The
// password travels only in this request, over the process's socket.
struct ListingRequest {
    ServerLocation location;
    std::optional<Credentials> logOn;
};

// Longest field (URL, user, domain, password) a listing request carries,
// and how many fields it has (the port is the last, two bytes).
constexpr std::size_t MaxListingRequestBytes = 4096;
constexpr std::size_t ListingRequestFields = 6;
// The bytes of a frame's or a request field's length.
constexpr std::size_t FrameLengthBytes = 4;

// The caller wipes the bytes once sent: they hold the password.
std::string encodeListingRequest(const ListingRequest& request);
// Nothing when the bytes are not one whole request within the bounds. A
// log-on without a user name is none.
std::optional<ListingRequest> decodeListingRequest(std::string_view bytes);

// The length of the frame or field that `bytes` start with; `bytes` holds
// at least FrameLengthBytes.
std::size_t frameLength(std::string_view bytes);
void putFrameLength(std::string& out, std::size_t length);

// What a spawner (ListerSpawner) reads, one message each: a start, whose
// one byte carries the new process's socket (SCM_RIGHTS), or a kill, one
// byte and the number of the process in the order it was started.
constexpr char SpawnerStartMessage = 'S';
constexpr std::size_t SpawnerKillMessageBytes = 5;
std::string encodeSpawnerKill(std::uint32_t number);
// The number of a kill; nothing for any other message.
std::optional<std::uint32_t> decodeSpawnerKill(std::string_view bytes);

// A listing's frame holds its encoding.
std::string encodeListing(const SmbListing& listing);
// Nothing when the bytes are not one whole listing within the bounds.
std::optional<SmbListing> decodeListing(std::string_view bytes);

} // namespace norvane
