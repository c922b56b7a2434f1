#include "NetworkPlatform.h"

#include <array>
#include <cstring>

namespace norvane {

namespace {
thread_local DWORD lastError = 0;
} // namespace

std::string NetworkPlatform::inetNtoa(std::uint32_t address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
           std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
}

std::uint32_t NetworkPlatform::inetAddr(const char* text) {
    // The classic forms: a.b.c.d, a.b.c (c fills 16 bits), a.b (b fills 24
    // bits) and a (32 bits), each part decimal, octal (leading 0) or hex
    // (leading 0x); trailing white space ends the text.
    constexpr std::uint32_t None = 0xFFFFFFFFu;
    if (text == nullptr)
        return None;
    std::array<std::uint64_t, 4> parts{};
    std::size_t count = 0;
    const char* p = text;
    for (;;) {
        if (count == parts.size())
            return None;
        unsigned base = 10;
        if (*p == '0') {
            base = 8;
            if (p[1] == 'x' || p[1] == 'X') {
                base = 16;
                p += 2;
            }
        }
        std::uint64_t value = 0;
        bool digits = base == 8;
        for (;; ++p) {
            unsigned digit = 0;
            if (*p >= '0' && *p <= '9')
                digit = static_cast<unsigned>(*p - '0');
            else if (base == 16 && *p >= 'a' && *p <= 'f')
                digit = static_cast<unsigned>(*p - 'a' + 10);
            else if (base == 16 && *p >= 'A' && *p <= 'F')
                digit = static_cast<unsigned>(*p - 'A' + 10);
            else
                break;
            if (digit >= base)
                return None;
            value = value * base + digit;
            if (value > 0xFFFFFFFFu)
                return None;
            digits = true;
        }
        if (!digits)
            return None;
        parts[count++] = value;
        if (*p != '.')
            break;
        ++p;
    }
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p != '\0')
        return None;
    std::uint64_t host = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (parts[i] > 0xFF)
            return None;
        host |= parts[i] << (24 - 8 * i);
    }
    const std::uint64_t lastLimit = 0xFFFFFFFFu >> (8 * (count - 1));
    if (parts[count - 1] > lastLimit)
        return None;
    host |= parts[count - 1];
    const std::array<unsigned char, 4> bytes{
        static_cast<unsigned char>(host >> 24), static_cast<unsigned char>(host >> 16),
        static_cast<unsigned char>(host >> 8), static_cast<unsigned char>(host)};
    std::uint32_t address = 0;
    std::memcpy(&address, bytes.data(), sizeof address);
    return address;
}

void NetworkPlatform::setLogOn(const std::optional<Credentials>&) {
    // A platform without log-ons lists anonymously.
}

DWORD NetworkPlatform::getLastError() const {
    return lastError;
}

void NetworkPlatform::setLastError(DWORD code) {
    lastError = code;
}

} // namespace norvane
