#pragma once

// Packing of resource records into a caller's enumeration buffer, shared by
// every platform implementation: records from the front, their strings from
// the back, each record costing 32 bytes plus its zero-terminated strings.

#include "NetworkPlatform.h"

#include <cstddef>
#include <span>
#include <vector>

namespace norvane {

// Bytes one record takes in a buffer, strings included.
std::size_t packedSize(const NetResource& resource);

// Packs records from `pending`, starting at `first`, into `buffer`, as many
// as fit. The buffer is zero-filled first. Returns the number of records
// written.
std::size_t packNetResources(std::span<const NetResource> pending, std::size_t first, void* buffer,
                             std::size_t bufferSize);

// The usual answer of an enumeration call over a list of records that is
// handed out in pieces: fills the caller's buffer from `cursor` on and moves
// the cursor. Returns 0 with the count set, NoMoreItems when the list is
// exhausted, MoreData when the next record does not fit into an empty buffer
// (the size is then set to what it needs).
DWORD enumerateInto(const std::vector<NetResource>& records, std::size_t& cursor, DWORD* count,
                    void* buffer, DWORD* bufferSize);

} // namespace norvane
