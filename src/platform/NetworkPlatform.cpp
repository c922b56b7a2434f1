#include "NetworkPlatform.h"

#include <arpa/inet.h>
#include <cstring>

namespace norvane {

namespace {
thread_local DWORD lastError = 0;

std::optional<std::string> stringAt(const unsigned char* base, std::size_t size, DWORD offset) {
    if (offset == 0 || offset >= size)
        return std::nullopt;
    const void* end = std::memchr(base + offset, 0, size - offset);
    if (end == nullptr)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(base + offset),
                       static_cast<const unsigned char*>(end) - (base + offset));
}
} // namespace

std::optional<NetResource> readNetResource(const void* buffer, std::size_t bufferSize,
                                           std::size_t index) {
    const auto* base = static_cast<const unsigned char*>(buffer);
    if (buffer == nullptr || index >= bufferSize / sizeof(NetResourceRecord))
        return std::nullopt;
    NetResourceRecord record;
    std::memcpy(&record, base + index * sizeof(NetResourceRecord), sizeof record);
    NetResource resource;
    resource.scope = record.scope;
    resource.type = record.type;
    resource.displayType = record.displayType;
    resource.usage = record.usage;
    resource.localName = stringAt(base, bufferSize, record.localNameOffset);
    resource.remoteName = stringAt(base, bufferSize, record.remoteNameOffset);
    resource.comment = stringAt(base, bufferSize, record.commentOffset);
    resource.provider = stringAt(base, bufferSize, record.providerOffset);
    return resource;
}

std::string NetworkPlatform::inetNtoa(std::uint32_t address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
           std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
}

std::uint32_t NetworkPlatform::inetAddr(const char* text) {
    in_addr address{};
    if (text == nullptr || inet_aton(text, &address) == 0)
        return 0xFFFFFFFFu;
    return address.s_addr;
}

DWORD NetworkPlatform::getLastError() const {
    return lastError;
}

void NetworkPlatform::setLastError(DWORD code) {
    lastError = code;
}

} // namespace norvane
