#pragma once

// How an open enumeration hands out its records in pieces, shared by every
// platform implementation. A call takes as many records as a caller's
// buffer of a given size would hold, each costing 32 bytes plus its
// zero-terminated strings, so that a large container takes as many calls,
// split at the same records, as the Windows call it stands for. The
// records themselves travel as values: nothing is packed or unpacked.

#include "NetworkPlatform.h"

#include <cstddef>
#include <vector>

namespace norvane {

// Bytes one record takes of a caller's buffer, strings included.
std::size_t batchCost(const NetResource& resource);

// The answer of one enumeration call over `records`, handed out from
// `cursor` on: moves the records that fit `*bufferSize` bytes (at most
// `*count` of them, EnumAllEntries for no limit) into `batch`, replacing
// what it held, and moves the cursor past them: each record is handed out
// once, so it is moved, not copied. Returns 0 with the count set,
// NoMoreItems when the list is exhausted, MoreData when the next record
// alone exceeds the buffer (the size is then set to what it needs).
DWORD takeBatch(std::vector<NetResource>& records, std::size_t& cursor, DWORD* count,
                std::vector<NetResource>* batch, DWORD* bufferSize);

} // namespace norvane
