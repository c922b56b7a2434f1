#include "ListingCodec.h"

#include <cstdint>

namespace norvane {

namespace {

constexpr std::string_view Magic = "NVL1";
constexpr int PortBytes = 2;
constexpr char SpawnerKillMessage = 'K';

void putNumber(std::string& out, std::uint32_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    bool number(std::uint32_t& value, int bytes) {
        if (m_bytes.size() < static_cast<std::size_t>(bytes))
            return false;
        value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint32_t(static_cast<unsigned char>(m_bytes[i])) << (8 * i);
        m_bytes.remove_prefix(static_cast<std::size_t>(bytes));
        return true;
    }
    bool text(std::string& value, std::size_t length) {
        if (m_bytes.size() < length)
            return false;
        value.assign(m_bytes.substr(0, length));
        m_bytes.remove_prefix(length);
        return true;
    }
    bool atEnd() const { return m_bytes.empty(); }

private:
    std::string_view m_bytes;
};

} // namespace

std::size_t frameLength(std::string_view bytes) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < FrameLengthBytes; ++i)
        length |= std::size_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return length;
}

void putFrameLength(std::string& out, std::size_t length) {
    putNumber(out, static_cast<std::uint32_t>(length), FrameLengthBytes);
}

std::string encodeListingRequest(const ListingRequest& request) {
    const Credentials none;
    const Credentials& logOn = request.logOn ? *request.logOn : none;
    std::string port;
    putNumber(port, request.location.port, PortBytes);
    std::string out;
    for (const std::string_view field :
         {std::string_view(request.location.url), std::string_view(request.location.kerberosUrl),
          std::string_view(logOn.user), std::string_view(logOn.domain), logOn.password.view(),
          std::string_view(port)}) {
        putFrameLength(out, field.size());
        out += field;
    }
    return out;
}

std::optional<ListingRequest> decodeListingRequest(std::string_view bytes) {
    std::string_view fields[ListingRequestFields];
    for (std::string_view& field : fields) {
        if (bytes.size() < FrameLengthBytes)
            return std::nullopt;
        const std::size_t length = frameLength(bytes);
        bytes.remove_prefix(FrameLengthBytes);
        if (length > MaxListingRequestBytes || length > bytes.size())
            return std::nullopt;
        field = bytes.substr(0, length);
        bytes.remove_prefix(length);
    }
    std::uint32_t port = 0;
    if (!bytes.empty() || !Reader(fields[5]).number(port, PortBytes) ||
        fields[5].size() != PortBytes)
        return std::nullopt;
    ListingRequest request;
    request.location = ServerLocation{.url = std::string(fields[0]),
                                      .kerberosUrl = std::string(fields[1]),
                                      .port = static_cast<std::uint16_t>(port)};
    if (!fields[2].empty())
        request.logOn = Credentials{.user = std::string(fields[2]),
                                    .domain = std::string(fields[3]),
                                    .password = SecretText(fields[4])};
    return request;
}

std::string encodeSpawnerKill(std::uint32_t number) {
    std::string out(1, SpawnerKillMessage);
    putNumber(out, number, SpawnerKillMessageBytes - 1);
    return out;
}

std::optional<std::uint32_t> decodeSpawnerKill(std::string_view bytes) {
    std::uint32_t number = 0;
    if (bytes.size() != SpawnerKillMessageBytes || bytes.front() != SpawnerKillMessage ||
        !Reader(bytes.substr(1)).number(number, SpawnerKillMessageBytes - 1))
        return std::nullopt;
    return number;
}

std::string encodeListing(const SmbListing& listing) {
    std::string out(Magic);
    putNumber(out, static_cast<std::uint32_t>(listing.error), 4);
    for (const SmbEntry& entry : listing.entries) {
        putNumber(out, entry.type, 1);
        putNumber(out, static_cast<std::uint32_t>(entry.name.size()), 2);
        putNumber(out, static_cast<std::uint32_t>(entry.comment.size()), 2);
        out += entry.name;
        out += entry.comment;
    }
    return out;
}

std::optional<SmbListing> decodeListing(std::string_view bytes) {
    if (bytes.size() > MaxListingBytes || bytes.substr(0, Magic.size()) != Magic)
        return std::nullopt;
    Reader reader(bytes.substr(Magic.size()));
    SmbListing listing;
    std::uint32_t error = 0;
    if (!reader.number(error, 4) || error > 0xFFFF)
        return std::nullopt;
    listing.error = static_cast<int>(error);
    while (!reader.atEnd()) {
        std::uint32_t type = 0;
        std::uint32_t nameLength = 0;
        std::uint32_t commentLength = 0;
        SmbEntry entry;
        if (listing.entries.size() == MaxListedEntries || !reader.number(type, 1) ||
            !reader.number(nameLength, 2) || !reader.number(commentLength, 2) || nameLength == 0 ||
            nameLength > MaxBrowseNameBytes || commentLength > MaxBrowseCommentBytes ||
            !reader.text(entry.name, nameLength) || !reader.text(entry.comment, commentLength))
            return std::nullopt;
        // Text the library hands over ends at its first zero byte.
        if (entry.name.find('\0') != std::string::npos ||
            entry.comment.find('\0') != std::string::npos)
            return std::nullopt;
        entry.type = type;
        listing.entries.push_back(std::move(entry));
    }
    return listing;
}

} // namespace norvane
