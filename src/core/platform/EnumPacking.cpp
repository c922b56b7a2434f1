#include "EnumPacking.h"

#include <cstring>

namespace norvane {

namespace {
std::size_t stringCost(const std::optional<std::string>& text) {
    return text ? text->size() + 1 : 0;
}
} // namespace

std::size_t packedSize(const NetResource& resource) {
    return sizeof(NetResourceRecord) + stringCost(resource.localName) +
           stringCost(resource.remoteName) + stringCost(resource.comment) +
           stringCost(resource.provider);
}

std::size_t packNetResources(std::span<const NetResource> pending, std::size_t first, void* buffer,
                             std::size_t bufferSize) {
    auto* base = static_cast<unsigned char*>(buffer);
    std::memset(base, 0, bufferSize);
    std::size_t recordsEnd = 0;
    std::size_t stringsStart = bufferSize;
    std::size_t written = 0;
    for (std::size_t i = first; i < pending.size(); ++i) {
        const NetResource& resource = pending[i];
        const std::size_t need = packedSize(resource);
        if (need > stringsStart - recordsEnd)
            break;
        auto place = [&](const std::optional<std::string>& text) -> DWORD {
            if (!text)
                return 0;
            stringsStart -= text->size() + 1;
            std::memcpy(base + stringsStart, text->data(), text->size());
            base[stringsStart + text->size()] = 0;
            return static_cast<DWORD>(stringsStart);
        };
        NetResourceRecord record{};
        record.scope = resource.scope;
        record.type = resource.type;
        record.displayType = resource.displayType;
        record.usage = resource.usage;
        record.localNameOffset = place(resource.localName);
        record.remoteNameOffset = place(resource.remoteName);
        record.commentOffset = place(resource.comment);
        record.providerOffset = place(resource.provider);
        std::memcpy(base + recordsEnd, &record, sizeof record);
        recordsEnd += sizeof record;
        ++written;
    }
    return written;
}

DWORD enumerateInto(const std::vector<NetResource>& records, std::size_t& cursor, DWORD* count,
                    void* buffer, DWORD* bufferSize) {
    if (count == nullptr || buffer == nullptr || bufferSize == nullptr)
        return win::InvalidParameter;
    if (cursor >= records.size()) {
        *count = 0;
        return win::NoMoreItems;
    }
    std::size_t limit = *count == EnumAllEntries ? records.size() : cursor + *count;
    if (limit > records.size())
        limit = records.size();
    const std::span<const NetResource> pending(records.data(), limit);
    const std::size_t written = packNetResources(pending, cursor, buffer, *bufferSize);
    if (written == 0) {
        *bufferSize = static_cast<DWORD>(packedSize(records[cursor]));
        *count = 0;
        return win::MoreData;
    }
    cursor += written;
    *count = static_cast<DWORD>(written);
    return win::NoError;
}

} // namespace norvane
