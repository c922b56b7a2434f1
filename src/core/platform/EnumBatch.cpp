#include "EnumBatch.h"

#include <algorithm>
#include <iterator>

namespace norvane {

namespace {
// The fixed part of a record in a Windows enumeration buffer: four codes
// and four string offsets.
constexpr std::size_t FixedRecordBytes = 32;

std::size_t stringCost(const std::optional<std::string>& text) {
    return text ? text->size() + 1 : 0;
}
} // namespace

std::size_t batchCost(const NetResource& resource) {
    return FixedRecordBytes + stringCost(resource.localName) + stringCost(resource.remoteName) +
           stringCost(resource.comment) + stringCost(resource.provider);
}

DWORD takeBatch(std::vector<NetResource>& records, std::size_t& cursor, DWORD* count,
                std::vector<NetResource>* batch, DWORD* bufferSize) {
    if (count == nullptr || batch == nullptr || bufferSize == nullptr)
        return win::InvalidParameter;
    batch->clear();
    if (cursor >= records.size()) {
        *count = 0;
        return win::NoMoreItems;
    }
    const std::size_t limit =
        *count == EnumAllEntries ? records.size() : std::min(records.size(), cursor + *count);
    std::size_t room = *bufferSize;
    std::size_t next = cursor;
    for (; next < limit; ++next) {
        const std::size_t cost = batchCost(records[next]);
        if (cost > room)
            break;
        room -= cost;
    }
    if (next == cursor) {
        *bufferSize = static_cast<DWORD>(batchCost(records[cursor]));
        *count = 0;
        return win::MoreData;
    }
    batch->assign(std::make_move_iterator(records.begin() + static_cast<std::ptrdiff_t>(cursor)),
                  std::make_move_iterator(records.begin() + static_cast<std::ptrdiff_t>(next)));
    *count = static_cast<DWORD>(next - cursor);
    cursor = next;
    return win::NoError;
}

} // namespace norvane
