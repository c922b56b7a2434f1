#include "Spnego.h"

#include "NtlmMessages.h"

#include <array>

namespace norvane::smb2 {

namespace {

constexpr std::uint8_t TagApplication0 = 0x60;
constexpr std::uint8_t TagSequence = 0x30;
constexpr std::uint8_t TagOid = 0x06;
constexpr std::uint8_t TagOctetString = 0x04;
constexpr std::uint8_t TagContext0 = 0xA0;
constexpr std::uint8_t TagContext1 = 0xA1;
constexpr std::uint8_t TagContext2 = 0xA2;
constexpr std::array<std::uint8_t, 6> SpnegoOid{0x2B, 0x06, 0x01, 0x05, 0x05, 0x02};
constexpr std::array<std::uint8_t, 10> NtlmsspOid{0x2B, 0x06, 0x01, 0x04, 0x01,
                                                  0x82, 0x37, 0x02, 0x02, 0x0A};
// Longer lengths than four bytes cannot fit a session message anyway.
constexpr std::size_t MaxLengthBytes = 4;

std::vector<std::uint8_t> element(std::uint8_t tag, std::span<const std::uint8_t> content) {
    std::vector<std::uint8_t> out{tag};
    const std::size_t length = content.size();
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
    } else {
        std::size_t bytes = 0;
        for (std::size_t rest = length; rest != 0; rest >>= 8)
            ++bytes;
        out.push_back(static_cast<std::uint8_t>(0x80 | bytes));
        for (std::size_t i = bytes; i-- > 0;)
            out.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

std::vector<std::uint8_t> joined(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    std::vector<std::uint8_t> out(a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

struct Element {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> content;
    std::span<const std::uint8_t> rest; // what follows the element
};

// The element at the start of `bytes`, when its length fits inside them.
std::optional<Element> readElement(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2)
        return std::nullopt;
    std::size_t length = bytes[1];
    std::size_t header = 2;
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        if (count == 0 || count > MaxLengthBytes || bytes.size() < 2 + count)
            return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = length << 8 | bytes[2 + i];
        header += count;
    }
    if (length > bytes.size() - header)
        return std::nullopt;
    return Element{.tag = bytes[0],
                   .content = bytes.subspan(header, length),
                   .rest = bytes.subspan(header + length)};
}

// The content of `bytes`' first element if it has `tag`.
std::optional<std::span<const std::uint8_t>> inside(std::span<const std::uint8_t> bytes,
                                                    std::uint8_t tag) {
    const auto e = readElement(bytes);
    if (!e || e->tag != tag)
        return std::nullopt;
    return e->content;
}

} // namespace

std::vector<std::uint8_t> negTokenInit(std::span<const std::uint8_t> ntlmToken) {
    const auto mechTypes = element(TagContext0, element(TagSequence, element(TagOid, NtlmsspOid)));
    const auto mechToken = element(TagContext2, element(TagOctetString, ntlmToken));
    const auto init = element(TagContext0, element(TagSequence, joined(mechTypes, mechToken)));
    return element(TagApplication0, joined(element(TagOid, SpnegoOid), init));
}

std::optional<std::span<const std::uint8_t>> ntlmTokenOf(std::span<const std::uint8_t> blob) {
    if (isNtlmMessage(blob))
        return blob;
    const auto response = inside(blob, TagContext1);
    const auto fields = response ? inside(*response, TagSequence) : std::nullopt;
    if (!fields)
        return std::nullopt;
    // The fields of a NegTokenResp are few; each step consumes at least
    // two bytes, so the walk ends with the sequence.
    for (auto field = readElement(*fields); field; field = readElement(field->rest)) {
        if (field->tag != TagContext2)
            continue;
        const auto token = inside(field->content, TagOctetString);
        if (token && isNtlmMessage(*token))
            return token;
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace norvane::smb2
